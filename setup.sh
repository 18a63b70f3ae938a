#!/bin/sh
# Installs what the build needs (only what is missing), then configures and builds into build/.
# Usage: ./setup.sh [extra cmake arguments...]
set -eu
cd "$(dirname "$0")"

need=""
for pkg in g++ make cmake libxerces-c-dev libxml2-dev libgtest-dev git; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    need="$need $pkg"
  fi
done
if [ -n "$need" ]; then
  echo "Installing:$need"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $need
fi

cmake -S . -B build "$@" >/dev/null
cmake --build build -j"$(nproc)"
