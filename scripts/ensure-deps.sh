#!/usr/bin/env bash
# Installs the Debian packages the project needs, when any is missing.
# Quick when everything is present: only dpkg is asked.
# Usage: scripts/ensure-deps.sh [extra-package...]
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libjsoncpp-dev libboost-dev libboost-date-time-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libcli11-dev dpkg-dev
  # the history tests read the store's views with the sqlite3 program
  sqlite3
  libcpp-httplib-dev libmosquitto-dev libsystemd-dev libjs-chart.js
  mosquitto mosquitto-clients prometheus systemd
  # the dashboard's browser test: headless chromium through Selenium, and a
  # font with the Chinese alarm texts' glyphs for its screenshot
  chromium chromium-driver python3-selenium fonts-wqy-microhei
)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}" >&2
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
# A mirror in mid-sync serves index files of the wrong size and apt-get
# update fails for the whole run; it is transient, so try again a few times
# and then go on with the lists that did download: the install below is what
# must succeed.
for attempt in 1 2 3 4; do
  if $SUDO apt-get update -qq; then break; fi
  if [ "$attempt" -eq 4 ]; then
    echo "apt-get update kept failing; installing from the lists it has" >&2
    break
  fi
  echo "apt-get update failed (attempt $attempt); retrying in $((attempt * 20)) s" >&2
  sleep $((attempt * 20))
done
for attempt in 1 2 3; do
  if $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; then
    exit 0
  fi
  [ "$attempt" -eq 3 ] && exit 1
  echo "apt-get install failed (attempt $attempt); refreshing the lists and retrying" >&2
  sleep 30
  $SUDO apt-get update -qq || true
done
