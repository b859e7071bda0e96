# Cross build for s390x-linux-gnu (big-endian) with Debian's cross compiler against a root file
# system of the target that holds libexpat1-dev, libgtest-dev and libstdc++-12-dev, made with
#   debootstrap --arch=s390x --variant=minbase \
#       --include=libexpat1-dev,libgtest-dev,libstdc++-12-dev bookworm ROOT
# (multiarch cannot install them beside the build machine's packages when the two stand at
# different versions). ROOT is QORUTILS_SYSROOT, /srv/s390x-sysroot by default; ctest runs the
# programs under qemu-s390x with the target's loader and libraries from there.
if(NOT DEFINED QORUTILS_SYSROOT)
    set(QORUTILS_SYSROOT /srv/s390x-sysroot)
endif()
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_C_COMPILER s390x-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE s390x-linux-gnu)
set(CMAKE_SYSROOT ${QORUTILS_SYSROOT})
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L ${QORUTILS_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${QORUTILS_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR}
    ${QORUTILS_SYSROOT}/usr/lib/s390x-linux-gnu/pkgconfig:${QORUTILS_SYSROOT}/usr/share/pkgconfig)
# The root's libexpat.so points to /lib/... outside it: name the library itself.
set(EXPAT_LIBRARY ${QORUTILS_SYSROOT}/usr/lib/s390x-linux-gnu/libexpat.so.1 CACHE FILEPATH "")
