# Cross compiling for the controller: 32-bit little-endian ARM Linux, hard
# float, with Debian's arm-linux-gnueabihf cross compiler and the :armhf
# development packages installed beside the native ones (tools/deps-armhf.sh).
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

# Debian's multiarch layout keeps the armhf headers and libraries under /usr
# too, so the root stays /usr; only the library directory tells them apart.
set(CMAKE_LIBRARY_ARCHITECTURE ${QLT_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH /usr/${QLT_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# The native pkg-config, reading only the armhf .pc files.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${QLT_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# Test programs run under user-mode emulation against the multiarch armhf
# runtime (libc6:armhf and the libraries under /usr/lib/arm-linux-gnueabihf),
# loader included. Not the cross root /usr/arm-linux-gnueabihf: its loader
# comes from another glibc build than the libc.so.6 the loader then finds
# through ld.so.cache, and the two together crash in pthread_create.
find_program(QLT_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QLT_QEMU_ARM} -L /)
