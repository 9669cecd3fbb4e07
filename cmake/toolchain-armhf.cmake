# Cross build for 32-bit ARM field units (hard-float ABI), with Debian's
# arm-linux-gnueabihf cross compiler. The target's libraries (JsonCpp,
# GoogleTest, Boost headers, SQLite, CLI11) come from a sysroot of unpacked
# armhf packages, SMD_ARM_SYSROOT; scripts/test-arm.sh makes it.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake \
#         -DSMD_ARM_SYSROOT=$PWD/build-arm/sysroot -DSMD_BENCH=OFF -DSMD_PROGRAMS=OFF
#
# The binaries run on an x86 host under qemu-arm with
# QEMU_LD_PREFIX=/usr/arm-linux-gnueabihf (CMAKE_CROSSCOMPILING_EMULATOR below
# lets gtest_discover_tests list the tests through it).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SMD_ARM_TRIPLE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER ${SMD_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SMD_ARM_TRIPLE}-g++)

if(NOT SMD_ARM_SYSROOT)
  message(FATAL_ERROR "SMD_ARM_SYSROOT is not set: give the folder of the unpacked armhf packages (scripts/test-arm.sh makes one)")
endif()
# The compiler checks' own projects read this file again.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES SMD_ARM_SYSROOT)

# Headers, libraries and CMake packages of the target come from the sysroot
# and the cross toolchain only; the host's x86 ones must never be picked up.
set(CMAKE_LIBRARY_ARCHITECTURE ${SMD_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${SMD_ARM_SYSROOT} /usr/${SMD_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must read the sysroot's .pc files only, and prefix their paths.
set(ENV{PKG_CONFIG_LIBDIR}
    ${SMD_ARM_SYSROOT}/usr/lib/${SMD_ARM_TRIPLE}/pkgconfig:${SMD_ARM_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${SMD_ARM_SYSROOT})

# The sysroot's shared libraries name their own dependencies by soname.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${SMD_ARM_SYSROOT}/usr/lib/${SMD_ARM_TRIPLE}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath-link,${SMD_ARM_SYSROOT}/usr/lib/${SMD_ARM_TRIPLE}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${SMD_ARM_SYSROOT}/usr/lib/${SMD_ARM_TRIPLE}")

# GCC's note that the ABI of some argument types changed in GCC 7.1 concerns
# mixing objects built by older compilers; everything here is built by one.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")

find_program(SMD_QEMU_ARM qemu-arm)
if(SMD_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SMD_QEMU_ARM};-L;/usr/${SMD_ARM_TRIPLE};-E;
      LD_LIBRARY_PATH=/usr/${SMD_ARM_TRIPLE}/lib:${SMD_ARM_SYSROOT}/usr/lib/${SMD_ARM_TRIPLE})
endif()
