#!/usr/bin/env bash
# Cross-builds the unit tests for 32-bit ARM field units (armhf, Debian's
# arm-linux-gnueabihf cross compiler and the armhf multiarch packages) in
# build-arm/ and runs them under qemu-arm. Unaligned access, the signedness
# of char and 32-bit sizes show there.
#
# Usage: scripts/test-arm.sh [gtest arguments]
#   env: ARM_BUILD_DIR (default build-arm)
#
# Installs what is missing (needs root or sudo): the armhf architecture in
# dpkg, the cross compiler, qemu-user and the armhf -dev packages.
set -euo pipefail
cd "$(dirname "$0")/.."

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
if ! dpkg --print-foreign-architectures | grep -qx armhf; then
  echo "Adding the armhf architecture to dpkg" >&2
  $SUDO dpkg --add-architecture armhf
fi
# ensure-deps.sh updates the package lists whenever something is missing,
# which includes the armhf lists right after the architecture was added.
scripts/ensure-deps.sh g++-arm-linux-gnueabihf qemu-user \
  libjsoncpp-dev:armhf libgtest-dev:armhf libgmock-dev:armhf libboost-dev:armhf \
  libsqlite3-dev:armhf

build=${ARM_BUILD_DIR:-build-arm}
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSMD_BENCH=OFF -DSMD_FUZZ=OFF -DSMD_SANITIZE=OFF -DSMD_PROGRAMS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target unit_tests

readelf -h "$build/bin/unit_tests" | grep -q 'Machine:.*ARM' || {
  echo "FAIL: $build/bin/unit_tests is not an ARM executable" >&2
  exit 1
}
# The tests' working directory is the tests' build folder, as under ctest.
cd "$build/tests"
# The dynamic loader comes from the cross toolchain's sysroot; the target's
# libraries must come from there too, before the multiarch ones: the armhf
# libc6 that the multiarch packages pull in may be a newer release than the
# cross toolchain's, and that loader with the other libc crashes as soon as
# a thread starts.
export QEMU_LD_PREFIX=/usr/arm-linux-gnueabihf
export QEMU_SET_ENV=LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib:/usr/lib/arm-linux-gnueabihf
TZ=UTC qemu-arm ../bin/unit_tests --gtest_brief=1 "$@"
