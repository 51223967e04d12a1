#!/usr/bin/env bash
# Checks that the Windows programs start on a bare Windows 7 or later: every DLL they import
# must be one that Windows itself ships. Wine cannot show this: it ships DLLs Windows lacks
# (zlib1.dll among them) and its own user32.dll loads zlib1.dll into every windowed process, so
# a program that needs zlib1.dll runs under Wine and stops at start on Windows with "zlib1.dll
# was not found". The import tables are what the Windows loader resolves before the first line
# of our code runs; the few DLLs loaded later by name (wxWidgets asks for dwmapi.dll, for one)
# are loaded with a fallback when they are missing.
#   scripts/windows-imports-test.sh PROGRAM.exe...
set -uo pipefail
objdump=${KESTREL_OBJDUMP:-x86_64-w64-mingw32-objdump}
if ! command -v "$objdump" >/dev/null; then
    echo "FAIL $objdump is missing (scripts/install-deps.sh installs binutils-mingw-w64-x86-64)"
    exit 1
fi

# Every one of these is in System32 of every Windows from 7 on, without any add-on.
allowed=(
    kernel32.dll advapi32.dll user32.dll gdi32.dll # the Win32 core
    shell32.dll shlwapi.dll ole32.dll oleaut32.dll # the shell and COM (Task Scheduler, IMAPI2)
    comctl32.dll comdlg32.dll uxtheme.dll          # common controls and dialogs (wxWidgets)
    winspool.drv version.dll oleacc.dll            # printing, version info, accessibility (wx)
    bcrypt.dll                                     # CNG: AES and HMAC for protected archives
    crypt32.dll                                    # CryptProtectData: the jobs' passwords
    netapi32.dll                                   # the AT job interface
    rstrtmgr.dll                                   # the Restart Manager (Vista and later)
    msvcrt.dll                                     # the C runtime mingw-w64 links against
)

is_allowed() {
    local dll
    for dll in "${allowed[@]}"; do
        [ "$dll" = "$1" ] && return 0
    done
    return 1
}

status=0
for program in "$@"; do
    if [ ! -f "$program" ]; then
        echo "FAIL $program: not built"
        status=1
        continue
    fi
    # "DLL Name:" heads both the import and the delay-load import tables.
    mapfile -t imports < <("$objdump" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' |
        tr '[:upper:]' '[:lower:]' | sort -u)
    name=$(basename "$program")
    echo "$name imports: ${imports[*]}"
    if [ ${#imports[@]} -eq 0 ]; then
        echo "FAIL $name: no import table found (not a Windows program?)"
        status=1
        continue
    fi
    foreign=()
    for dll in "${imports[@]}"; do
        is_allowed "$dll" || foreign+=("$dll")
    done
    if [ ${#foreign[@]} -eq 0 ]; then
        echo "PASS $name needs only DLLs that Windows ships"
    else
        echo "FAIL $name needs DLLs that Windows does not ship: ${foreign[*]}"
        status=1
    fi
done
exit $status
