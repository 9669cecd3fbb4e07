# Cross build for 32-bit ARM field units (hard-float ABI), with Debian's
# arm-linux-gnueabihf cross compiler and the armhf multiarch -dev packages
# (libjsoncpp-dev:armhf, libgtest-dev:armhf, libgmock-dev:armhf; Boost is
# used as headers only). scripts/test-arm.sh installs them.
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake -DSMD_BENCH=OFF
#
# The binaries run on an x86 host under qemu-arm with
# QEMU_LD_PREFIX=/usr/arm-linux-gnueabihf (CMAKE_CROSSCOMPILING_EMULATOR below
# lets gtest_discover_tests list the tests through it).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SMD_ARM_TRIPLE arm-linux-gnueabihf)

set(CMAKE_C_COMPILER ${SMD_ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${SMD_ARM_TRIPLE}-g++)

# Headers and libraries of the target come from the multiarch directories;
# the host's x86 ones must never be picked up.
set(CMAKE_LIBRARY_ARCHITECTURE ${SMD_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH /usr/${SMD_ARM_TRIPLE} /usr/lib/${SMD_ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# pkg-config must read the armhf .pc files only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/${SMD_ARM_TRIPLE}/pkgconfig:/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

# GCC's note that the ABI of some argument types changed in GCC 7.1 concerns
# mixing objects built by older compilers; everything here is built by one.
set(CMAKE_CXX_FLAGS_INIT "-Wno-psabi")

# Loader and libraries from the cross toolchain's sysroot first (see
# scripts/test-arm.sh for why the multiarch libc must not be mixed in).
find_program(SMD_QEMU_ARM qemu-arm)
if(SMD_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SMD_QEMU_ARM};-L;/usr/${SMD_ARM_TRIPLE};-E;
      LD_LIBRARY_PATH=/usr/${SMD_ARM_TRIPLE}/lib:/usr/lib/${SMD_ARM_TRIPLE})
endif()
