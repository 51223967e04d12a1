#!/usr/bin/env bash
# `kestrel disc` without a drive: image files offered as drives (libburn's stdio: drives).
# A 5 MB backup archive of the sample machine and a folder with a non-ASCII file name are
# written and verified, xorriso reads the Joliet names back, a write stopped by SIGINT leaves
# an image that fails the comparison, erased images read as blank media, and an image that is
# also one of the sources is refused and left as it was.
#   scripts/disc-chain-test.sh KESTREL_TOOL WORK_FOLDER
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
tool=$(realpath "${1:?usage: disc-chain-test.sh KESTREL_TOOL WORK_FOLDER}")
work=$(realpath -m "${2:?usage: disc-chain-test.sh KESTREL_TOOL WORK_FOLDER}")
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
pass() { echo "PASS $*"; }
for program in xorriso cmp head truncate; do
    command -v "$program" >/dev/null ||
        { echo "FAIL $program is not installed (scripts/install-deps.sh installs it)"; exit 1; }
done
[ -x "$tool" ] || { echo "FAIL $tool was not built"; exit 1; }

mark=.made-by-disc-chain
if [ -e "$work" ] && [ ! -e "$work/$mark" ] && [ -n "$(ls -A "$work" 2>/dev/null)" ]; then
    echo "FAIL $work holds something this check did not make; name another work folder"
    exit 1
fi
rm -rf "$work"
mkdir -p "$work"
touch "$work/$mark"
cd "$work" || exit 1
unset KESTREL_DISC_IMAGES

# check NAME EXPECTED-STATUS COMMAND...: runs it with its output in NAME.out.
check() {
    local name=$1 expected=$2
    shift 2
    "$@" >"$name.out" 2>&1
    local status=$?
    if [ "$status" -eq "$expected" ]; then
        pass "$name (exit $status)"
    else
        fail "$name: exit $status, expected $expected"
        cat "$name.out"
    fi
}
# expect NAME FILE TEXT: the file holds the text as a line of its own.
expect() {
    if grep -q -x -F -- "$3" "$2"; then
        pass "$1"
    else
        fail "$1: no line \"$3\" in $2"
        cat "$2"
    fi
}

# --- What is written: a backup archive of 5 MB and a folder with non-ASCII names ----------
export KESTREL_HOME="$work/home"
if ! KESTREL_TOOL="$tool" "$here/scripts/seed-environment.sh" outlook2013-win7 \
    "$KESTREL_HOME" >seed.log 2>&1; then
    fail "seeding outlook2013-win7"
    cat seed.log
    exit 1
fi
# The data file grows by 5 MB of noise, so the archive cannot compress it away.
head -c 5242880 /dev/urandom >>"$KESTREL_HOME/drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst"
check backup 0 "$tool" backup --profile Outlook --items 100000000 "$work/backup.ksb"
size=$(stat -c %s backup.ksb 2>/dev/null || echo 0)
if [ "$size" -ge 5242880 ]; then pass "archive of $size bytes"; else fail "archive of $size bytes"; fi
letter="Größe – März.txt"
mkdir -p "März Daten/Unterordner"
echo "Brief vom März" >"März Daten/$letter"
head -c 70000 /dev/urandom >"März Daten/Unterordner/noise.bin"

# --- Write with verification to an image file ----------------------------------------------
check drives 0 "$tool" disc drives --image disc.iso
expect drives-lists-the-image drives.out "0: $work/disc.iso"
check write 0 "$tool" disc write backup.ksb "März Daten" --image disc.iso --drive disc.iso \
    --verify --label "KESTREL CHAIN"
expect write-verified write.out "Auto-Verify...Complete (3 of 3 MATCHED)"
expect write-completed write.out "Write Completed!"
check toc 0 xorriso -indev disc.iso -toc
if grep -q "KESTREL CHAIN" toc.out; then pass "volume label"; else fail "volume label"; cat toc.out; fi
# extracted IMAGE PATH FILE: xorriso's copy of the image's file is the file, byte for byte.
extracted() {
    rm -f extracted.bin
    xorriso -osirrox on -indev "$1" -extract "$2" extracted.bin >/dev/null 2>&1 &&
        cmp -s "$3" extracted.bin
}
if extracted disc.iso /backup.ksb backup.ksb; then
    pass "xorriso reads the archive back unchanged"
else
    fail "xorriso reads the archive back changed or not at all"
fi
# Joliet alone (Rock Ridge not read) must give the non-ASCII name back as it was written.
check joliet 0 xorriso -read_fs norock -indev disc.iso -find / -exec lsdl
if grep -q -F "'/März Daten/$letter'" joliet.out; then
    pass "joliet name $letter"
else
    fail "joliet name $letter"
    cat joliet.out
fi

# --- A write stopped by SIGINT --------------------------------------------------------------
truncate -s 600M large.bin
"$tool" disc write large.bin --image cancelled.iso --drive cancelled.iso --verify \
    >cancel.out 2>&1 &
writer=$!
for _ in $(seq 1 600); do
    grep -q -E '^[0-9]+%$' cancel.out && break
    kill -0 "$writer" 2>/dev/null || break
    sleep 0.05
done
kill -INT "$writer" 2>/dev/null
wait "$writer"
status=$?
if [ "$status" -eq 1 ]; then pass "cancelled write exits 1"; else fail "cancelled write exits $status"; cat cancel.out; fi
expect cancel-reported cancel.out "Write Cancelled...."
if [ -e cancelled.iso ] && ! extracted cancelled.iso /large.bin large.bin; then
    pass "the cancelled image does not hold the file"
else
    fail "the cancelled image holds the whole file or is missing"
fi

# --- Erasing image files --------------------------------------------------------------------
cp disc.iso full.iso
check erase-quick 0 "$tool" disc erase --image disc.iso --drive disc.iso --quick
expect erase-quick-completed erase-quick.out "Erase Completed!!!"
check erase-full 0 "$tool" disc erase --image full.iso --drive full.iso
for image in disc full; do
    xorriso -indev $image.iso -toc >toc-$image.out 2>&1
    if grep -q -E "^Media status : is blank" toc-$image.out; then
        pass "$image.iso reads as a blank medium"
    else
        fail "$image.iso does not read as blank"
        cat toc-$image.out
    fi
done
check write-after-erase 0 "$tool" disc write backup.ksb --image disc.iso --drive disc.iso --verify
# An image file that held more before ends where the new image ends.
head -c 20000000 /dev/urandom >stale.iso
check write-over-larger 0 "$tool" disc write "März Daten" --image stale.iso --drive stale.iso
size=$(stat -c %s stale.iso)
if [ "$size" -lt 1000000 ]; then pass "rewritten image of $size bytes"; else fail "rewritten image keeps $size bytes"; fi
check usage 2 "$tool" disc write backup.ksb

# --- An image that is also a source --------------------------------------------------------
# Writing empties the image first: an image among the sources (named itself, through a link,
# inside a source folder, or reached from one by a hard or symbolic link) is refused before a
# byte of it changes.
mkdir -p folder-with-image folder-with-hard-link folder-with-symlink/deeper
cp disc.iso folder-with-image/inner.iso
ln -sf disc.iso link.iso
ln -f disc.iso folder-with-hard-link/same.iso
ln -sf ../../disc.iso folder-with-symlink/deeper/same.iso
while read -r name image source; do
    cp "$image" image-before.copy
    check "image-is-source-$name" 2 "$tool" disc write backup.ksb "$source" --image "$image" \
        --drive "$image"
    expect "image-is-source-$name-says-so" "image-is-source-$name.out" \
        "kestrel disc: the image file $work/$image is also a source ($source); nothing was written"
    if cmp -s "$image" image-before.copy; then
        pass "image-is-source-$name-leaves-the-image"
    else
        fail "image-is-source-$name changed $image"
    fi
done <<'CASES'
itself disc.iso disc.iso
link disc.iso link.iso
in-folder folder-with-image/inner.iso folder-with-image
hard-link-in-folder disc.iso folder-with-hard-link
symlink-in-folder disc.iso folder-with-symlink
CASES
exit $((failures > 0))
