# Cross-builds for 64-bit Windows with Debian's MinGW-w64 (posix thread model, which Qt's threads
# need). Qt is not named here: the windows preset passes its prefix, $VELTRANE_WINDOWS_QT, as
# CMAKE_FIND_ROOT_PATH on every configure, so that neither a moved Qt nor the build machine's own is
# ever picked up.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_prefix x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${mingw_prefix}-gcc-posix)
set(CMAKE_CXX_COMPILER ${mingw_prefix}-g++-posix)
set(CMAKE_RC_COMPILER ${mingw_prefix}-windres)

# Libraries, headers and packages from the target's side only; programs from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${mingw_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
