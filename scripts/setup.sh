#!/bin/sh
# Installs the Debian packages Rutline needs to build, test and run (clang
# and its libFuzzer runtime build the fuzz targets; llvm symbolizes their
# reports).
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config ccache
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libode-dev duktape-dev libopenal-dev libpng-dev zlib1g-dev libdeflate-dev
  libgl1-mesa-dev libgl1-mesa-dri libegl-mesa0 libx11-dev xvfb xauth
  libfreetype-dev fonts-dejavu-core
  clang libclang-rt-dev llvm"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
