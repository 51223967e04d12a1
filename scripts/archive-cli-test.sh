#!/usr/bin/env bash
# kestrel archive list|verify|extract on archives made by 7-Zip and zip (AES, ZipCrypto and
# none), intact and damaged, with one build: the Linux tool, or the Windows tool under Wine.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/archive-cli-test.sh linux KESTREL_TOOL WORK_FOLDER
#   scripts/archive-cli-test.sh windows KESTREL_EXE WORK_FOLDER      (needs WINEPREFIX)
set -uo pipefail
system=$1
case $system in
    linux | windows) ;;
    *) echo "usage: $0 linux|windows KESTREL_TOOL WORK_FOLDER" >&2 && exit 2 ;;
esac
tool=$(realpath "$2")
work=$(realpath -m "$3")
# Without the archivers there is nothing to read: that is a failure, never a quiet pass.
for archiver in 7z zip; do
    if ! command -v "$archiver" >/dev/null; then
        echo "FAIL $archiver is not installed (scripts/install-deps.sh installs p7zip-full and zip)"
        exit 1
    fi
done
# The folder is emptied first: only one this check made (it leaves a mark) or an empty one.
mark=.made-by-archive-cli-test
if [ -e "$work" ] && [ ! -e "$work/$mark" ] &&
    { [ ! -d "$work" ] || [ -n "$(ls -A "$work")" ]; }; then
    echo "FAIL $work holds something this check did not make; name another work folder"
    exit 1
fi
rm -rf "$work"
mkdir -p "$work/src"
touch "$work/$mark"
cd "$work"
export KESTREL_HOME="$work/home"
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

check() {  # name, expected exit status, command...
    local name=$1 expected=$2 status=0
    shift 2
    "$@" >"$work/$name.out" 2>&1 || status=$?
    if [ "$status" -eq "$expected" ]; then
        echo "PASS $name"
    else
        fail "$name (exit status $status, expected $expected)"
        cat "$work/$name.out"
    fi
}
check_output() {  # name, pattern, file
    if grep -q -- "$2" "$3"; then echo "PASS $1"; else fail "$1: no '$2' in $3"; fi
}

head -c 300000 /dev/urandom >src/Outlook.pst
yes 'Subject: weekly report, see attachment' | head -c 300000 >>src/Outlook.pst
printf 'BackupComputer=OFFICE-PC\r\nBackupIdentity=Outlook\r\nBackupInformation=line 1PS$KSBline 2\r\nBackupDatas=Outlook.pst\r\nBackupItem=01000000000\r\n' \
    >src/ksbackup.dat
if ! (cd src && 7z a -tzip -mem=AES256 -pright ../aes.ksb Outlook.pst ksbackup.dat >/dev/null &&
    zip -q -P right ../zipcrypto.ksb Outlook.pst ksbackup.dat &&
    zip -q ../plain.ksb Outlook.pst ksbackup.dat); then
    fail "making the archives with 7z and zip"
    exit 1
fi
# A flipped byte in the middle of the data file's compressed data.
for archive in aes zipcrypto plain; do
    cp $archive.ksb $archive-damaged.ksb
    printf '\x55' | dd of=$archive-damaged.ksb bs=1 seek=150000 conv=notrunc status=none
done

run_tool() {  # arguments...
    if [ "$system" = windows ]; then
        wine "$tool" archive "$@"
    else
        "$tool" archive "$@"
    fi
}

# The password comes from a file or standard input, never from an argument.
printf 'right\n' >right.txt
printf 'wrong\r\n' >wrong.txt
for archive in aes zipcrypto plain; do
    password=(--password-file right.txt)
    check "$system-$archive-list" 0 run_tool list $archive.ksb "${password[@]}"
    check_output "$system-$archive-list-shows-facts" "BackupInformation: line 1" \
        "$work/$system-$archive-list.out"
    check "$system-$archive-verify" 0 run_tool verify $archive.ksb "${password[@]}"
    mkdir -p "out-$system-$archive"
    check "$system-$archive-extract" 0 \
        run_tool extract $archive.ksb "out-$system-$archive" "${password[@]}"
    if cmp -s src/Outlook.pst "out-$system-$archive/Outlook.pst"; then
        echo "PASS $system-$archive-extracted-bytes"
    else
        fail "$system-$archive-extracted-bytes"
    fi
    check "$system-$archive-damaged-verify" 1 \
        run_tool verify $archive-damaged.ksb "${password[@]}"
    check_output "$system-$archive-damaged-names-member" "FAILED  Outlook.pst" \
        "$work/$system-$archive-damaged-verify.out"
    mkdir -p "damaged-$system-$archive"
    echo "previous" >"damaged-$system-$archive/Outlook.pst"
    check "$system-$archive-damaged-extract" 1 \
        run_tool extract $archive-damaged.ksb "damaged-$system-$archive" "${password[@]}"
    if [ "$(cat "damaged-$system-$archive/Outlook.pst")" = previous ] &&
        [ "$(ls "damaged-$system-$archive" | wc -l)" -le 2 ]; then
        echo "PASS $system-$archive-damaged-extract-keeps-target"
    else
        fail "$system-$archive-damaged-extract-keeps-target"
    fi
done
check "$system-aes-wrong-password" 1 run_tool verify aes.ksb --password-file wrong.txt
check "$system-zipcrypto-wrong-password" 1 run_tool verify zipcrypto.ksb --password-file wrong.txt
verify_from_stdin() { printf 'right\n' | run_tool verify aes.ksb --password-stdin; }
check "$system-aes-password-stdin" 0 verify_from_stdin
check "$system-password-argument-refused" 2 run_tool verify aes.ksb --password right
check_output "$system-password-argument-refused-says-why" \
    "kestrel archive: --password is refused: other users see it in the process list" \
    "$work/$system-password-argument-refused.out"

# Crafted archives (tests/data/archives/crafted): members that run past or stop short of their
# declared size under ZipCrypto and bzip2, an info file declared at 2 bytes that holds 1 GiB,
# names with terminal escape sequences. Each is refused, quickly and in little memory; the
# peak and the time are printed for the record (Linux only: under Wine they measure Wine).
cp "$(dirname "$(realpath "$0")")"/../tests/data/archives/crafted/*.ksb "$work/"
printf 'pw\n' >pw.txt
measured() {  # name, expected status, arguments...
    local name=$1 expected=$2
    shift 2
    if [ "$system" = linux ]; then
        check "$name" "$expected" /usr/bin/time -f 'INFO %e s, peak %M KiB' -o "$work/$name.time" \
            "$tool" archive "$@"
        echo "INFO $name: $(cat "$work/$name.time")"
    else
        check "$name" "$expected" run_tool "$@"
    fi
}
for archive in zipcrypto-info-lies bzip2-info-lies zipcrypto-member-lies bzip2-member-lies \
    bzip2-member-short; do
    measured "$system-$archive-verify" 1 verify $archive.ksb --password-file pw.txt
    if grep -q '^ok .*\(big.pst\|ksbackup.dat\)$' "$work/$system-$archive-verify.out" &&
        ! grep -q '^FAILED' "$work/$system-$archive-verify.out"; then
        fail "$system-$archive-verify passed a member that lies"
    fi
    measured "$system-$archive-list" 0 list $archive.ksb --password-file pw.txt
    mkdir -p "crafted-$system-$archive"
    measured "$system-$archive-extract" 1 extract $archive.ksb "crafted-$system-$archive" \
        --password-file pw.txt
    if [ -z "$(find "crafted-$system-$archive" -size +1M)" ]; then
        echo "PASS $system-$archive-extract-wrote-nothing-large"
    else
        fail "$system-$archive-extract-wrote-nothing-large"
    fi
done
check_output "$system-info-lies-list-refuses-the-info-file" "info file unreadable" \
    "$work/$system-bzip2-info-lies-list.out"
measured "$system-escape-names-list" 0 list escape-names.ksb
if grep -q $'\x1b' "$work/$system-escape-names-list.out"; then
    fail "$system-escape-names-list printed an escape character"
else
    check_output "$system-escape-names-list-escapes" '\\x1b\]0;owned\\x07' \
        "$work/$system-escape-names-list.out"
fi

[ "$failures" -eq 0 ]
