# Cross-builds for another of Debian's architectures with Debian's cross compiler, against that
# architecture's multiarch Qt; moc and uic are the build machine's own. Pass the Debian architecture
# name with -DVELTRANE_DEBIAN_ARCH=arm64, i386 or s390x (scripts/cross-check does).
set(CMAKE_SYSTEM_NAME Linux)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELTRANE_DEBIAN_ARCH)

if(VELTRANE_DEBIAN_ARCH STREQUAL "arm64")
    set(CMAKE_SYSTEM_PROCESSOR aarch64)
    set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
elseif(VELTRANE_DEBIAN_ARCH STREQUAL "i386")
    set(CMAKE_SYSTEM_PROCESSOR i686)
    set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
elseif(VELTRANE_DEBIAN_ARCH STREQUAL "s390x")
    set(CMAKE_SYSTEM_PROCESSOR s390x)
    set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
else()
    message(FATAL_ERROR "Set VELTRANE_DEBIAN_ARCH to arm64, i386 or s390x")
endif()

set(CMAKE_CXX_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu-g++)
# Qt's host tools and their CMake packages come from the build machine's Qt.
set(QT_HOST_PATH /usr)
