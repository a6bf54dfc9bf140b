#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the sample run need (as root or via sudo);
# with --windows also those of the Windows build.
set -euo pipefail
packages=(cmake g++ make pkg-config qt6-base-dev libsqlite3-dev sqlite3 libgtest-dev libgmock-dev
          mdbtools-dev libmdb3
          clang libclang-rt-14-dev xvfb xauth fonts-dejavu-core fonts-liberation
          x11-apps x11-utils imagemagick xdotool)
# --windows: also what the Windows build and its tests under Wine need.
if [ "${1:-}" = --windows ]; then
  packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64)
  command -v npm > /dev/null || packages+=(npm)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get install -y -q "${missing[@]}" || { $SUDO apt-get update -q && $SUDO apt-get install -y -q "${missing[@]}"; }
