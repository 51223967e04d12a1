#!/usr/bin/env bash
# Registry files against a real peer, Wine's own registry editor, in both directions:
#   Wine's regedit /E  ->  kestrel reg import (Linux store)  ->  kestrel reg export
#   kestrel reg export ->  wine regedit (import)             ->  wine regedit /E
# over a tree with every value type, empty and odd names and Windows-1252 text, compared value
# by value with scripts/reg-compare.py. Needs WINEPREFIX (a prefix it may change).
#   scripts/reg-peer-test.sh KESTREL_TOOL WORK_FOLDER
# Prints one "PASS name" or "FAIL name" line per check and ends with "peer: N passed, N failed".
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$(realpath "$1")
work=$(realpath -m "$2")
key='HKEY_CURRENT_USER\Software\KestrelPeer'
rm -rf "$work"
mkdir -p "$work"
cd "$work"
passed=0
failed=0

check() {
    local name=$1
    shift
    if "$@" >"$name.log" 2>&1; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        sed 's/^/    /' "$name.log" | head -20
        failed=$((failed + 1))
    fi
}

# A Windows path for Wine's programs.
winpath() { echo "Z:$(pwd)/$1" | tr / '\\'; }

python3 - <<'PYTHON'
seed = r'''Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\Software\KestrelPeer]
@="default text"
"plain"="text with spaces"
"empty text"=""
"quote\"name"="va\"lue"
"back\\slash"="C:\\Program Files\\x\\"
"eq=name"="a=b"
"Café €"="Grüße – ½ € Šœ"
"expand"=hex(2):25,00,55,00,53,00,45,00,52,00,50,00,52,00,4f,00,46,00,49,00,4c,00,\
  45,00,25,00,5c,00,e9,00,00,00
"binary"=hex:00,01,7f,80,ff
"empty binary"=hex:
"dword"=dword:ffffffff
"zero"=dword:00000000
"multi"=hex(7):6f,00,6e,00,65,00,00,00,74,00,77,00,6f,00,20,00,fc,00,00,00,00,00
"qword"=hex(b):01,02,03,04,05,06,07,08
"none"=hex(0):01,02
"empty none"=hex(0):

[HKEY_CURRENT_USER\Software\KestrelPeer\Sub Key]
"n"=dword:00000005

[HKEY_CURRENT_USER\Software\KestrelPeer\Sub Key\Déjà vu]
"long"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,\
  18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,2f,30,31

[HKEY_CURRENT_USER\Software\KestrelPeer\Empty]

[HKEY_CURRENT_USER\Software\KestrelPeer\odd "=key"]
""="empty name is the default"
'''
open("seed.reg", "wb").write(b"\xff\xfe" + seed.replace("\n", "\r\n").encode("utf-16-le"))
PYTHON

wine_clear() { wine reg delete "$key" /f >/dev/null 2>&1 || true; }
wine_import() { wine regedit /S "$(winpath "$1")"; }
wine_export() { rm -f "$1" && wine regedit /E "$(winpath "$1")" "$key" && test -s "$1"; }
kestrel() { KESTREL_HOME="$work/home-$1" "$tool" reg "${@:2}"; }
compare() { "$here/scripts/reg-compare.py" "$@"; }

# Wine's registry holds the seed as written.
seeded() { wine_import seed.reg && wine_export wine.reg && compare seed.reg wine.reg; }
# Wine's export -> kestrel import -> kestrel export.
regedit_to_kestrel() {
    kestrel a import wine.reg && kestrel a export "$key" kestrel.reg &&
        compare wine.reg kestrel.reg && { ! cmp -s wine.reg kestrel.reg || echo "byte for byte"; }
}
# Kestrel's export of a tree it built itself -> Wine's regedit -> Wine's export.
kestrel_to_regedit() {
    kestrel b import seed.reg && kestrel b export "$key" ours.reg && compare seed.reg ours.reg &&
        wine_import ours.reg && wine_export back.reg && compare ours.reg back.reg
}
# A file the reader refuses changes nothing and names its line.
malformed_changes_nothing() {
    printf 'REGEDIT4\r\n\r\n[-%s]\r\n[%s]\r\n"x"=dword:nothex\r\n' "$key" "$key" >bad.reg
    ! kestrel a import bad.reg 2>bad.err && cat bad.err && grep -q 'bad.reg:5:' bad.err &&
        kestrel a export "$key" after.reg && cmp kestrel.reg after.reg
}

wine_clear
check wine-seeded seeded
check regedit-to-kestrel regedit_to_kestrel
wine_clear
check kestrel-to-regedit kestrel_to_regedit
check malformed-changes-nothing malformed_changes_nothing
wine_clear

echo "peer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
