#!/usr/bin/env bash
# Configures and builds one target system into build/<system>.
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
cmake -S "$here" -B "$here/build/$system" "${options[@]}" >/dev/null
cmake --build "$here/build/$system" -j"$jobs" "$@"
