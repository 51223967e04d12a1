#!/usr/bin/env bash
# Configures and builds one target system into build/<system> (or $KESTREL_BUILD_ROOT/<system>,
# so that two people working in one checkout need not share a build folder).
#   scripts/build.sh linux|windows [arguments for cmake --build, e.g. --target kestrelbak]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
system=$1
shift
jobs=$(nproc)
options=(-G Ninja -DKESTREL_WERROR=ON)
if [ "$system" = windows ]; then
    "$here/scripts/build-windows-deps.sh"
    options+=(-DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake"
        -DKESTREL_DEPS_PREFIX="${KESTREL_DEPS_CACHE:-${HOME:-/root}/.cache/kestrel/mingw-deps}"
        -DKESTREL_BUILD_BENCH=OFF)
fi
root=${KESTREL_BUILD_ROOT:-$here/build}
build=$root/$system
# The Linux build's CTest also runs the Windows build's programs under Wine.
[ "$system" = windows ] || options+=(-DKESTREL_WINDOWS_BUILD_DIR="$root/windows")
cmake -S "$here" -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$jobs" "$@"
