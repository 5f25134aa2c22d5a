# Cross-builds for another of Debian's architectures with Debian's cross compiler, against that
# architecture's multiarch Qt; moc and uic are the build machine's own. Pass the Debian architecture
# name with -DVELTRANE_DEBIAN_ARCH=arm64, i386 or s390x (scripts/cross-check does).
set(CMAKE_SYSTEM_NAME Linux)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELTRANE_DEBIAN_ARCH)
# The processor as GNU names it, in the cross compiler's name; Debian's multiarch folders follow it
# but for i386.
set(veltrane_gnu_arm64 aarch64)
set(veltrane_gnu_i386 i686)
set(veltrane_gnu_s390x s390x)
set(CMAKE_SYSTEM_PROCESSOR ${veltrane_gnu_${VELTRANE_DEBIAN_ARCH}})
if(NOT CMAKE_SYSTEM_PROCESSOR)
    message(FATAL_ERROR "Set VELTRANE_DEBIAN_ARCH to arm64, i386 or s390x")
endif()
string(REPLACE i686 i386 CMAKE_LIBRARY_ARCHITECTURE ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu)
set(CMAKE_CXX_COMPILER ${CMAKE_SYSTEM_PROCESSOR}-linux-gnu-g++)
# Qt's host tools and their CMake packages come from the build machine's Qt.
set(QT_HOST_PATH /usr)
