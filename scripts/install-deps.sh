#!/usr/bin/env bash
# Installs the Debian 12 packages Kestrel builds and tests with. Quick when they are there.
#   scripts/install-deps.sh [--gui-only]
set -euo pipefail

packages=(cmake ninja-build g++ pkg-config systemd dash coreutils libwxgtk3.2-dev libsqlite3-dev libzip-dev
    libdeflate-dev nettle-dev googletest libgtest-dev libgmock-dev libbenchmark-dev libburn-dev
    libisofs-dev librust-blake3-dev)
if [ "${1:-}" != "--gui-only" ]; then
    packages+=(g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 libz-mingw-w64-dev wine wine64
        xvfb xauth imagemagick x11-utils xdotool dpkg-dev clang libclang-rt-14-dev python3
        p7zip-full zip unzip libarchive-tools time xorriso cron faketime bsdutils nsis wixl msitools
        libxml2-utils)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
