#!/usr/bin/env bash
# Builds the Windows packages from the Windows build (cross-compiled here, no Windows needed):
#   build/windows/kestrel-setup-<version>.exe    the setup program (NSIS's makensis)
#   build/windows/kestrel-<version>.msi          the Windows Installer package (wixl)
#   build/windows/kestrel-portable-<version>.zip the two programs, to run from any folder
# Each holds the static kestrelbak.exe (the program) and kestrel.exe (the command-line tool),
# built first if they are not up to date. Prints each package's path and size.
#   scripts/package-windows.sh          ($KESTREL_BUILD_ROOT/windows, else build/windows)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KESTREL_BUILD_ROOT:-$here/build}/windows
"$here/scripts/build.sh" windows --target kestrel_packages
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
for package in "$build/kestrel-setup-$version.exe" "$build/kestrel-$version.msi" \
    "$build/kestrel-portable-$version.zip"; do
    [ -f "$package" ] || {
        echo "package-windows: $package was not built" >&2
        exit 1
    }
    echo "$package $(stat -c %s "$package") bytes"
done
