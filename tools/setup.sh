#!/bin/bash
# Installs what building, running and testing Tovi need on Debian, once.
# Safe to run again: it installs only what is missing.
set -e
PACKAGES="cmake ninja-build g++ libgtest-dev libbenchmark-dev libstb-dev libxxhash-dev python3 \
  mingw-w64 g++-mingw-w64-x86-64 wine wine64 xvfb x11-utils xdotool imagemagick fonts-ipafont-gothic fontconfig \
  clang libclang-rt-14-dev chromium cups printer-driver-cups-pdf poppler-utils"
missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    echo "[setup] installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi
