#!/usr/bin/env bash
# Keeps the layers honest. The allowed graph is src/layers.txt, which CMake links from; this
# checks every #include "folder/..." of every layer against it, so an edge that the build
# would let through (a header reached through another layer's links) is refused too. It also
# checks what the compiler cannot stop, since system headers are always on the include path:
# no file outside the platform backends, the scheduler engines and the IMAPI2 disc engine
# includes an OS header, and none outside gui the GUI toolkit.
set -euo pipefail
cd "$(dirname "$0")/../src"

os_headers='windows\.h|winreg\.h|shlobj\.h|shellapi\.h|objbase\.h|oleauto\.h|process\.h|unistd\.h|pwd\.h|spawn\.h|fcntl\.h|strings\.h|sys/[a-z_]+\.h|sqlite3\.h|bcrypt\.h|nettle/[a-z_]+\.h|openssl/[a-z_]+\.h'
status=0
report() {
    if [ -n "$2" ]; then
        echo "$1:"
        echo "$2"
        status=1
    fi
}

# folder -> "layer may-use..." from the table; a folder's own layer is always allowed.
declare -A allowed layer_of
while read -r layer folder uses; do
    [ -n "$layer" ] && [ "${layer:0:1}" != "#" ] || continue
    layer_of[$folder]=$layer
    allowed[$folder]="$layer ${uses//-/}"
done <layers.txt
folder_layer() {  # the layer an include path's first components belong to
    case $1 in
        platform/posix/* | platform/win32/*) echo backend ;;
        disc/burn/* | disc/imapi2/*) echo discbackend ;;
        scheduler/posix/* | scheduler/win32/*) echo schedulerbackend ;;
        *) echo "${layer_of[${1%%/*}]:-?}" ;;
    esac
}

edges=""
for folder in "${!allowed[@]}"; do
    [ -d "$folder" ] || continue
    files=$(find "$folder" -maxdepth 1 -name '*.h' -o -maxdepth 1 -name '*.cpp')
    [ -n "$files" ] || continue
    while IFS=: read -r file line include; do
        target=$(folder_layer "$include")
        case " ${allowed[$folder]} " in
            *" $target "*) ;;
            *) edges+="$file:$line: ${layer_of[$folder]} may not use $target (\"$include\")"$'\n' ;;
        esac
    done < <(grep -H -n -o -E '#include "[a-z0-9_/]+/[A-Za-z0-9_.]+"' $files |
        sed -E 's/#include "(.*)"/\1/')
done
report "includes that the layer table does not allow" "${edges%$'\n'}"
report "relative includes (they bypass the layers)" \
    "$(grep -rn -E '#include "\.\./' . || true)"

# The core reaches files only through FileSystem, so it can be run against any file system
# (the tests' in-memory one included) and a file operation cannot bypass its rules. The
# scheduler's engines are OS code, like the backends: they write the system's own files.
# backup/RedirectedReads is a FileSystem itself, which hands NativePath to the one it wraps.
core="registry archive outlook backup restore scheduler disc app ui"
report "core files that reach files without FileSystem" \
    "$(cd . && for folder in $core; do [ -d "$folder" ] && grep -n -E 'std::filesystem|NativePath\(|<fstream>|fopen\(' -r --exclude-dir=posix --exclude-dir=win32 --exclude='RedirectedReads.*' "$folder"; done || true)"

not_gui=$(ls -d */ | grep -v -E '^gui/$' | tr -d /)
report "files outside gui that include the GUI toolkit" \
    "$(grep -rn -E '#include <wx/' $not_gui || true)"
# The tool's main() asks whether standard error is a terminal (isatty), which nothing below it
# may ask; that one include is allowed there and nowhere else.
report "files outside the platform backends and engines that include an OS header" \
    "$(grep -rn -E "#include <($os_headers)>" --exclude-dir=posix --exclude-dir=win32 --exclude-dir=imapi2 . |
        grep -v -E '^\./main/KestrelTool\.cpp:[0-9]+:#include <unistd\.h>$' || true)"
exit "$status"
