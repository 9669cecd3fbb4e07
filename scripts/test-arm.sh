#!/usr/bin/env bash
# Cross-builds the unit tests for 32-bit ARM field units (armhf, Debian's
# arm-linux-gnueabihf cross compiler) in build-arm/ and runs them under
# qemu-arm. Unaligned access, the signedness of char and 32-bit sizes show
# there.
#
# Usage: scripts/test-arm.sh [gtest arguments]
#   env: ARM_BUILD_DIR (default build-arm)
#
# Installs the cross compiler and qemu-user when missing (needs root or
# sudo). The target's libraries are not installed as armhf multiarch
# packages: those must be the very release of each amd64 package of the same
# name, so a mirror whose armhf lists lag behind its amd64 ones (seen: the
# security archive's armhf index cut short for days) makes them impossible to
# install. Instead the armhf -dev packages are downloaded with apt's own
# state kept in the build folder and unpacked into a sysroot there; the
# machine's package database is left alone.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/ensure-deps.sh g++-arm-linux-gnueabihf qemu-user

build=${ARM_BUILD_DIR:-build-arm}
mkdir -p "$build"
build=$(cd "$build" && pwd)
sysroot=$build/sysroot
apt_dir=$build/apt

# What the build needs of the target, by Debian name; the runtime libraries
# and versioned Boost headers they depend on are added below.
wanted=(libjsoncpp-dev libgtest-dev libgmock-dev libboost-dev libsqlite3-dev libcli11-dev)

if [ ! -f "$sysroot/.complete" ]; then
  rm -rf "$sysroot" "$apt_dir"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs" "$sysroot"
  : >"$apt_dir/status"
  apt_opts=(-o APT::Architecture=armhf -o APT::Architectures=armhf
    -o Dir::State="$apt_dir" -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::State::status="$apt_dir/status" -o Dir::Cache="$apt_dir/cache"
    -o Debug::NoLocking=1 -o APT::Sandbox::User=root)
  # An index that fails (a mirror in mid-sync) is only a lost update
  # channel: what the test needs is in the release's main index. The
  # download below fails, naming the package, if it is not.
  if ! apt-get "${apt_opts[@]}" update -qq; then
    echo "test-arm: some armhf package lists did not download; going on with those that did" >&2
  fi
  packages=("${wanted[@]}")
  for p in "${wanted[@]}"; do
    stem=${p%-dev}
    stem=${stem%%[0-9]*}
    # Direct dependencies of the same library: libjsoncpp25, libsqlite3-0,
    # libboost1.74-dev. The C and C++ runtimes come with the cross compiler.
    while read -r dep; do packages+=("$dep"); done < <(
      apt-cache "${apt_opts[@]}" depends --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances "$p" |
        awk -v stem="$stem" '$1 == "Depends:" && index($2, stem) == 1 && $2 !~ /^</ { print $2 }')
  done
  (cd "$apt_dir/debs" && apt-get "${apt_opts[@]}" download -qq "${packages[@]}")
  for deb in "$apt_dir"/debs/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
  touch "$sysroot/.complete"
fi

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-armhf.cmake -DSMD_ARM_SYSROOT="$sysroot" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSMD_BENCH=OFF -DSMD_FUZZ=OFF -DSMD_SANITIZE=OFF -DSMD_PROGRAMS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target unit_tests

readelf -h "$build/bin/unit_tests" | grep -q 'Machine:.*ARM' || {
  echo "FAIL: $build/bin/unit_tests is not an ARM executable" >&2
  exit 1
}
# The tests' working directory is the tests' build folder, as under ctest.
cd "$build/tests"
# The loader and the C and C++ runtimes come from the cross toolchain, the
# other libraries from the sysroot.
export QEMU_LD_PREFIX=/usr/arm-linux-gnueabihf
export QEMU_SET_ENV=LD_LIBRARY_PATH=/usr/arm-linux-gnueabihf/lib:$sysroot/usr/lib/arm-linux-gnueabihf
TZ=UTC qemu-arm ../bin/unit_tests --gtest_brief=1 "$@"
