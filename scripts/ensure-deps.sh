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
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
