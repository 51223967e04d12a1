#!/usr/bin/env bash
# Keeps the layers honest where the compiler cannot: system headers are always on the include
# path, so only this check stops a core or interface file from including one. Core code
# (everything outside platform backends and gui) includes no GUI toolkit and no OS header;
# platform interfaces (src/platform/*.h|cpp) no OS header; gui no OS header.
set -euo pipefail
cd "$(dirname "$0")/../src"

os_headers='windows\.h|winreg\.h|shlobj\.h|shellapi\.h|objbase\.h|oleauto\.h|process\.h|unistd\.h|pwd\.h|spawn\.h|fcntl\.h|strings\.h|sys/[a-z_]+\.h|sqlite3\.h'
status=0
report() {
    if [ -n "$2" ]; then
        echo "$1:"
        echo "$2"
        status=1
    fi
}

core=$(ls -d */ | grep -v -E '^(platform|gui|main)/$' | tr -d /)
report "core files that include the GUI toolkit or an OS header" \
    "$(grep -n -E "#include <(wx/|($os_headers)>)" -r $core || true)"
report "platform interfaces that include an OS header" \
    "$(grep -n -E "#include <($os_headers)>" platform/*.h platform/*.cpp || true)"
report "windows that include an OS header" \
    "$(grep -n -E "#include <($os_headers)>" -r gui || true)"
exit "$status"
