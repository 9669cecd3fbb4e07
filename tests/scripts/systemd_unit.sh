#!/usr/bin/env bash
# The service: smdhost-listen@.service passes `systemd-analyze verify`
# without a word and keeps its hardening (`systemd-analyze security`), and
# its start script turns an instance configuration into smdhost's options,
# an empty setting adding none. The unit is checked as an instance whose
# ExecStart is the start script of the source tree, next to a stand-in
# smdhost that prints its arguments; then the options it makes are given to
# the real smdhost.
set -euo pipefail
src=$(cd "${2:?source dir}" && pwd)
fail=0
err() { echo "FAIL: $*" >&2; fail=1; }

command -v systemd-analyze >/dev/null ||
  { echo "FAIL: systemd-analyze not found: install the Debian package systemd" >&2; exit 1; }

work=$(mktemp -d /tmp/systemd-unit-XXXXXX)
trap 'rm -rf "$work"' EXIT
cp "$src/packaging/systemd/smdhost-listen-service" "$work/"
printf '#!/bin/sh\nfor a in "$@"; do printf "%%s\\n" "$a"; done\n' >"$work/smdhost"
chmod +x "$work/smdhost" "$work/smdhost-listen-service"
unit="$work/smdhost-listen@ttyS0.service"
sed "s#@SMD_SERVICE_EXEC@#$work/smdhost-listen-service#" \
  "$src/packaging/systemd/smdhost-listen@.service.in" >"$unit"
if grep -q '@[A-Z_]\+@' "$unit"; then err "a placeholder is left in the unit"; fi

out=$(systemd-analyze verify --man=no "$unit" 2>&1) || err "systemd-analyze verify failed: $out"
[ -z "$out" ] || err "systemd-analyze verify says: $out"

# The hardening holds: exposure 2.0 at most (0 best, 10 worst).
sec=$(systemd-analyze security --offline=true --threshold=20 "$unit" 2>&1) ||
  err "exposure above 2.0: $(tail -1 <<<"$sec")"
grep 'Overall exposure' <<<"$sec" || true

# Every setting given: each becomes its option; the lists split at blanks,
# unexpanded.
got=$(cd "$work" && env -i PATH=/usr/bin:/bin SERIAL=/dev/ttyS0 BAUD=19200 ADDRESS=1 \
  CONFIG=/etc/tarnel-pxr52/site.json INI_DIR=/etc/tarnel-pxr52/ini \
  DEVICES="1=/etc/a.json 2=/etc/b.json" HISTORY=/var/lib/tarnel-pxr52/ttyS0/history.db \
  HTTP=127.0.0.1:9752 MQTT=mqtt://127.0.0.1/site EXTRA_ARGS="--reset-every 30 *" \
  ./smdhost-listen-service)
want="listen
--serial
/dev/ttyS0
--format
json
--baud
19200
--address
1
--config
/etc/tarnel-pxr52/site.json
--ini-dir
/etc/tarnel-pxr52/ini
--device
1=/etc/a.json
--device
2=/etc/b.json
--history
/var/lib/tarnel-pxr52/ttyS0/history.db
--http
127.0.0.1:9752
--mqtt
mqtt://127.0.0.1/site
--reset-every
30
*"
[ "$got" = "$want" ] || err "start script with every setting gave:
$got"

# Empty and unset settings add nothing.
got=$(cd "$work" && env -i PATH=/usr/bin:/bin SERIAL=/dev/ttyS0 BAUD= HTTP= MQTT= ./smdhost-listen-service)
[ "$got" = "$(printf 'listen\n--serial\n/dev/ttyS0\n--format\njson')" ] ||
  err "start script with empty settings gave: $got"

# No device: refused with a reason, before smdhost runs.
if msg=$(cd "$work" && env -i PATH=/usr/bin:/bin SERIAL= ./smdhost-listen-service 2>&1); then
  err "start script ran without SERIAL: $msg"
fi
grep -q "SERIAL is empty" <<<"$msg" || err "start script without SERIAL said: $msg"

# What the start script makes is what smdhost takes: every setting given,
# through the real smdhost, fails only on the missing serial device (status
# 1), never as bad usage (status 2).
build=$(cd "${1:?build dir}" && pwd)
mkdir "$work/real"
cp "$src/packaging/systemd/smdhost-listen-service" "$work/real/"
ln -s "$build/bin/smdhost" "$work/real/smdhost"
mkdir "$work/ini"
echo '{"host":{"dataId":1}}' >"$work/a.json"
echo '{"host":{"dataId":2}}' >"$work/b.json"
# (ADDRESS and CONFIG go with a single device, DEVICES with several.)
http=HTTP=127.0.0.1:9752
if ! "$build/bin/smdhost" listen --help | grep -q -- '--http'; then
  echo "note: this smdhost has no --http yet: HTTP left out of the check" >&2
  http=HTTP=
fi
status=0
msg=$(cd "$work" && env -i PATH=/usr/bin:/bin SERIAL="$work/no-tty" BAUD=19200 \
  INI_DIR="$work/ini" DEVICES="1=$work/a.json 2=$work/b.json" \
  HISTORY="$work/h.db" "$http" MQTT=mqtt://127.0.0.1/site EXTRA_ARGS="--reset-every 30" \
  "$work/real/smdhost-listen-service" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] && grep -q "no-tty" <<<"$msg" ||
  err "smdhost refused the start script's options (status $status): $msg"
status=0
msg=$(cd "$work" && env -i PATH=/usr/bin:/bin SERIAL="$work/no-tty" ADDRESS=1 CONFIG="$work/a.json" \
  "$work/real/smdhost-listen-service" 2>&1 >/dev/null) || status=$?
[ "$status" -eq 1 ] && grep -q "no-tty" <<<"$msg" ||
  err "smdhost refused the start script's options (status $status): $msg"

[ $fail -eq 0 ] && echo "systemd_unit: ok"
exit $fail
