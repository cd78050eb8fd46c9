# Cross compiling for the controller: 32-bit little-endian ARM Linux, hard
# float, with Debian's arm-linux-gnueabihf cross compiler against the armhf
# root that tools/armhf-sysroot.sh unpacks (its headers, libraries and
# pkg-config files), so nothing armhf is installed on the build machine.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(QLT_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${QLT_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QLT_CROSS_TRIPLET}-g++)
# GCC notes every std::sort over a vector that the ARM argument passing of such
# iterators changed in GCC 7.1; it matters only when linking code built by GCC
# 6 or older, and nothing here is.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")
# 64-bit time_t and file offsets: set for every 32-bit target in CMakeLists.txt.

# The root: QLT_ARMHF_SYSROOT from the environment (the Debian package build
# sets it, since it builds from a copy of the tree), else the tree's own. The
# environment reaches CMake's try_compile runs too, which read this file again.
if(DEFINED ENV{QLT_ARMHF_SYSROOT})
  set(CMAKE_SYSROOT $ENV{QLT_ARMHF_SYSROOT})
else()
  get_filename_component(CMAKE_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/armhf-sysroot ABSOLUTE)
endif()
if(NOT EXISTS ${CMAKE_SYSROOT}/usr/lib/${QLT_CROSS_TRIPLET}/libc.so)
  message(FATAL_ERROR "no armhf root at ${CMAKE_SYSROOT}: tools/armhf-sysroot.sh makes it")
endif()
set(CMAKE_LIBRARY_ARCHITECTURE ${QLT_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The native pkg-config, reading only the root's armhf .pc files and putting
# the root in front of the paths they give.
set(PKG_CONFIG_EXECUTABLE pkg-config CACHE FILEPATH "pkg-config for the armhf root" FORCE)
set(ENV{PKG_CONFIG_LIBDIR}
    ${CMAKE_SYSROOT}/usr/lib/${QLT_CROSS_TRIPLET}/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${CMAKE_SYSROOT})

# Test programs run under user-mode emulation with the root as the guest's
# file system: its loader, libc and libraries, all from one Debian release.
find_program(QLT_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QLT_QEMU_ARM} -L ${CMAKE_SYSROOT})
