#!/usr/bin/env bash
# The Debian package: cpack builds it from the build tree, dpkg -x unpacks it
# into a scratch root (the system is not touched), and the unpacked programs
# run from there: through the /usr/bin links they find the host layer library
# (RPATH $ORIGIN/../lib) and the plug-in (../lib next to the real executable).
set -euo pipefail
build=$(cd "${1:?build dir}" && pwd)
fail=0
err() { echo "FAIL: $*" >&2; fail=1; }

if ! command -v cpack >/dev/null || ! command -v dpkg-deb >/dev/null; then
  echo "SKIP: cpack or dpkg-deb missing"
  exit 0
fi
[ -f "$build/CPackConfig.cmake" ] || { echo "FAIL: no CPackConfig.cmake in $build" >&2; exit 1; }

work=$(mktemp -d /tmp/package-install-XXXXXX)
trap 'rm -rf "$work"' EXIT

# The package's own staging folders go to the scratch folder, so parallel
# tests and later runs never share them.
(cd "$build" && cpack -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log" >&2; echo "FAIL: cpack" >&2; exit 1; }
deb=$(ls "$work"/out/*.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { echo "FAIL: cpack made no .deb" >&2; exit 1; }

info=$(dpkg-deb -f "$deb" Package Depends)
grep -q '^Package: tarnel-pxr52$' <<<"$info" || err "package name: $info"
for dep in libjsoncpp libsqlite3 libjs-chart.js; do
  grep -q "$dep" <<<"$info" || err "Depends lacks $dep: $info"
done

root="$work/root"
dpkg -x "$deb" "$root"
for f in usr/lib/tarnel-pxr52/bin/smdhost usr/lib/tarnel-pxr52/bin/pwrsim \
         usr/lib/tarnel-pxr52/lib/tarnel_brelm_pxr52_419.so usr/lib/tarnel-pxr52/lib/libsmdhost_fw.so \
         usr/share/man/man1/smdhost.1 usr/share/man/man1/pwrsim.1 \
         usr/share/man/man7/pxr52-signals.7 usr/share/man/man5/pxr52-config.5 \
         usr/share/man/man5/pxr52-scenario.5 usr/share/man/man5/pxr52-ini.5 \
         usr/share/doc/tarnel-pxr52/samples/demo/demo.scn \
         usr/lib/systemd/system/smdhost-listen@.service usr/lib/tarnel-pxr52/bin/smdhost-listen-service \
         usr/share/doc/tarnel-pxr52/examples/ttyUSB0.conf \
         usr/share/tarnel-pxr52/dashboard/index.html usr/share/tarnel-pxr52/dashboard/dashboard.js \
         usr/share/tarnel-pxr52/dashboard/dashboard.css; do
  [ -e "$root/$f" ] || err "$f missing from the package"
done
for p in smdhost pwrsim; do
  [ -L "$root/usr/bin/$p" ] || err "usr/bin/$p is not a symbolic link"
  [ "$(readlink -f "$root/usr/bin/$p")" = "$root/usr/lib/tarnel-pxr52/bin/$p" ] ||
    err "usr/bin/$p does not lead to usr/lib/tarnel-pxr52/bin/$p"
done

# The unit starts the script the package installs, by its installed path.
grep -qx 'ExecStart=/usr/lib/tarnel-pxr52/bin/smdhost-listen-service' \
  "$root/usr/lib/systemd/system/smdhost-listen@.service" || err "the unit's ExecStart is not the installed script"
[ -x "$root/usr/lib/tarnel-pxr52/bin/smdhost-listen-service" ] || err "smdhost-listen-service is not executable"
control=$(dpkg-deb -I "$deb")
grep -q ' postinst ' <<<"$control" || err "the package has no postinst (systemd reload)"

# No path of the build tree may remain in what is installed.
if readelf -d "$root/usr/lib/tarnel-pxr52/bin/smdhost" | grep -E 'R(UN)?PATH' | grep -q "$build"; then
  err "smdhost keeps a build-tree RPATH"
fi

version=$("$root/usr/bin/smdhost" --version) || err "smdhost --version failed"
[ "$version" = "smdhost 0.1.0" ] || err "smdhost --version printed '$version'"
"$root/usr/bin/pwrsim" --help >/dev/null || err "pwrsim --help failed"

# The plug-in is found next to the real executable, not next to the link:
# the bundled demo publishes records.
samples="$root/usr/share/doc/tarnel-pxr52/samples/demo"
events=$(cd "$samples" && "$root/usr/bin/smdhost" replay demo.scn --config config.json --format json) ||
  err "replay of the bundled demo failed"
grep -q '"ev":"publish"' <<<"$events" || err "the bundled demo published nothing"

[ $fail -eq 0 ] && echo "package_install: ok ($(basename "$deb"))"
exit $fail
