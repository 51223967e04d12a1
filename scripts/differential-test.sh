#!/usr/bin/env bash
# Differential archives from the command line (Linux build), on a fresh copy of the sample machine
# outlook2013-win7 whose data file is made KESTREL_DIFF_MIB MiB (64 unless set):
# - a first `kestrel backup --differential --keep 7` writes a full and says why; 7-Zip lists and
#   tests it and extracts the data file byte for byte (the block map is one more member);
# - after a few pages of the data file change, the next run writes a differential: 7-Zip lists
#   (with its comment naming the full) and tests it; `kestrel archive verify` checks it and its
#   full; `kestrel archive extract` and `kestrel restore` give the day's file byte for byte;
# - refusals that leave the user's data file as it was: the full moved away (the message names
#   it; `--full PATH` then restores), and one byte changed in a block of the differential's
#   changed blocks (repacked by 7-Zip so every checksum holds; the message names the block);
# - KESTREL_DIFF_KILLS times each (10 unless set): a differential backup killed at a random
#   moment (the full and the data file untouched, no archive of a differential's name that does
#   not test whole), and a restore from full + differential killed at a random moment, then a
#   program started: the data file is the old version or the day's, byte for byte.
# Under Wine (windows) the same checks run the Windows build, each kill ending the program as
# TerminateProcess would (3 kills each unless KESTREL_DIFF_KILLS is set).
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/differential-test.sh linux|windows KESTREL_TOOL KESTRELBAK WORK_FOLDER
check_name=differential-test
check_prefix=
case ${1:-} in
    linux) default_kills=10 ;;
    windows) default_kills=3 ;;
    *)
        echo "usage: $0 linux|windows KESTREL_TOOL KESTRELBAK WORK_FOLDER" >&2
        exit 2
        ;;
esac
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
for program in head date sleep dd od; do
    command -v "$program" >/dev/null || { echo "FAIL $program is not installed"; exit 1; }
done
mib=${KESTREL_DIFF_MIB:-64}
kills=${KESTREL_DIFF_KILLS:-$default_kills}
seed=${KESTREL_DIFF_SEED:-$(date +%s)}
echo "seed $seed (KESTREL_DIFF_SEED=$seed replays it), $kills kills each, data file $mib MiB"
RANDOM=$seed

bob=$(env_path drive_c/Users/bob)
# The program's own folder (the Replaced folder in it) is the user's who runs it: under Wine,
# Wine's user, not the sample's.
kestrel_data="$bob/AppData/Local/Kestrel"
[ "$system" = linux ] || kestrel_data=$(env_path "drive_c/users/$(id -un)/AppData/Local/Kestrel")
target="$bob/AppData/Local/Microsoft/Outlook/bob@example.com.pst"
source_file=$(env_path "drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst")
name=bob@example.com.pst
mkdir -p backups "$(dirname "$target")"
check_bytes() {  # name, file, file
    if [ -f "$2" ] && cmp -s "$2" "$3"; then
        pass "$1"
    else
        fail "$1: $2 is not $3"
    fi
}
change_pages() {  # file, pages of 512 bytes to overwrite at random places
    local size pages=$2
    size=$(stat -c %s "$1")
    for _ in $(seq 1 "$pages"); do
        local at=$(((RANDOM * 32768 + RANDOM) % (size / 512)))
        head -c 512 /dev/urandom | dd of="$1" bs=512 seek="$at" conv=notrunc status=none
    done
    head -c 512 /dev/urandom | dd of="$1" bs=512 seek=0 conv=notrunc status=none
}
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# The program as one process whose PID a kill reaches (Wine's launcher script execs the loader).
tool_command=("$tool")
[ "$system" = linux ] || tool_command=(wine "$tool")
# A path in the program's messages.
shown_path() {
    if [ "$system" = linux ]; then echo "$1"; else winepath -w "$1"; fi
}
backup() {
    run_tool backup --profile Outlook --items 1 --keep 7 --differential "$@" backups/work.ksb
}
newest() {  # the newest file of a pattern in backups/
    find backups -maxdepth 1 -name "$1" -printf '%f\n' | sort | tail -n 1
}

# --- Day 0: the full -----------------------------------------------------------------------
head -c "$((mib * 1024 * 1024))" /dev/urandom >"$source_file"
cp "$source_file" day0
start=$(now_ms)
check first-run-writes-a-full 0 backup
echo "the first, full backup takes $(($(now_ms) - start)) ms"
if tr -d '\r' <first-run-writes-a-full.out |
    grep -q -x 'full: there is no full backup of .*work.ksb yet'; then
    pass first-run-says-why
else
    fail first-run-says-why
    cat first-run-writes-a-full.out
fi
full=$(newest 'work * UTC.ksb')
if [ -n "$full" ]; then pass full-named-as-a-generation; else fail "full-named-as-a-generation"; fi
check full-7z-lists-the-map 0 7z l "backups/$full"
check_output full-map-member-listed "$name.block-map" <(sed -n 's/.* \([^ ]*\)$/\1/p' \
    full-7z-lists-the-map.out)
check full-7z-tests 0 7z t "backups/$full"
mkdir -p from-7z
check full-7z-extracts 0 7z x -y -ofrom-7z "backups/$full"
check_bytes full-7z-extracts-the-data-file from-7z/$name day0

# --- Day 1: a differential -----------------------------------------------------------------
change_pages "$source_file" 20
cp "$source_file" day1
check day1-writes-a-differential 0 backup
check_output day1-names-its-full "differential of: $full" day1-writes-a-differential.out
diff=$(newest 'work * UTC differential.ksb')
if [ -n "$diff" ]; then pass differential-named; else fail differential-named; fi
full_bytes=$(stat -c %s "backups/$full")
diff_bytes=$(stat -c %s "backups/$diff")
echo "full $full_bytes bytes, differential $diff_bytes bytes"
if [ "$diff_bytes" -lt "$((full_bytes / 20))" ]; then
    pass differential-is-small
else
    fail "differential-is-small: $diff_bytes of $full_bytes"
fi
check differential-7z-lists 0 7z l "backups/$diff"
check_output differential-7z-shows-the-comment \
    "Comment = Kestrel differential backup: its data files (the .changed-blocks members) hold only the blocks changed since the full backup \"$full\"; Kestrel rebuilds them from that full backup. Every other file extracts as it is." \
    differential-7z-lists.out
check differential-7z-tests 0 7z t "backups/$diff"
check differential-verify 0 run_tool archive verify "backups/$diff"
check_output differential-verify-rebuilds "ok      rebuilt $name" differential-verify.out
mkdir -p extracted
check differential-extract 0 run_tool archive extract "backups/$diff" extracted
check_bytes differential-extract-rebuilds-the-day extracted/$name day1
if [ ! -e "extracted/$name.changed-blocks" ]; then
    pass extract-leaves-the-changed-blocks-out
else
    fail extract-leaves-the-changed-blocks-out
fi
cp day0 "$target"
check differential-restore 0 run_tool restore "backups/$diff" --profile Outlook --items 1
check_bytes differential-restore-rebuilds-the-day "$target" day1

# --- Refusals that leave the user's file as it was ----------------------------------------
mkdir -p elsewhere
mv "backups/$full" elsewhere/
cp day0 "$target"
check full-missing-refused 1 run_tool restore "backups/$diff" --profile Outlook --items 1
if grep -q -F "the full backup $full it needs was not found beside $(shown_path "$work/backups/$diff")" \
    full-missing-refused.out; then
    pass full-missing-names-the-full
else
    fail full-missing-names-the-full
    cat full-missing-refused.out
fi
check_bytes full-missing-leaves-the-file "$target" day0
check full-given-restores 0 run_tool restore "backups/$diff" --profile Outlook --items 1 \
    --full "elsewhere/$full"
check_bytes full-given-rebuilds-the-day "$target" day1
mv "elsewhere/$full" backups/

mkdir -p repack
(cd repack && 7z x -y "../backups/$diff" >/dev/null)
# The first changed block lies right after the member's 16-byte header.
byte=$(od -An -tu1 -j 20 -N 1 "repack/$name.changed-blocks" | tr -d ' ')
printf '%b' "\\$(printf '%03o' $(((byte + 1) % 256)))" |
    dd of="repack/$name.changed-blocks" bs=1 seek=20 conv=notrunc status=none
damaged="backups/work 2000-01-01 0000 UTC differential.ksb"
(cd repack && 7z a -tzip "../$damaged" ./* >/dev/null)
cp day0 "$target"
check damaged-block-refused 1 run_tool restore "$damaged" --profile Outlook --items 1
if grep -q -E 'block 0 \(bytes 0 to 16383\) from .*differential.ksb does not match' \
    damaged-block-refused.out; then
    pass damaged-block-names-the-block
else
    fail damaged-block-names-the-block
    cat damaged-block-refused.out
fi
check_bytes damaged-block-leaves-the-file "$target" day0
rm -f "$damaged"

# --- Kills during a differential write -----------------------------------------------------
start=$(now_ms)
check timed-differential 0 backup
whole_ms=$(($(now_ms) - start))
echo "one differential backup takes $whole_ms ms"
for run in $(seq 1 "$kills"); do
    before=$(find backups -maxdepth 1 -name '*.ksb' -printf '%f\n' | sort)
    delay_ms=$(((RANDOM * 32768 + RANDOM) % (whole_ms + 1)))
    "${tool_command[@]}" backup --profile Outlook --items 1 --keep 7 --differential \
        backups/work.ksb >"kill-backup-$run.out" 2>&1 &
    pid=$!
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    problems=()
    cmp -s "$source_file" day1 || problems+=("the data file changed")
    7z t "backups/$full" >/dev/null 2>&1 || problems+=("the full does not test whole")
    for file in backups/*.ksb; do
        7z t "$file" >/dev/null 2>&1 || problems+=("$file does not test whole")
    done
    while IFS= read -r gone; do
        [ -z "$gone" ] || [ -e "backups/$gone" ] || problems+=("$gone was removed")
    done <<<"$before"
    if [ ${#problems[@]} -eq 0 ]; then
        pass "backup-kill-$run-after-${delay_ms}ms"
    else
        fail "backup-kill-$run-after-${delay_ms}ms: ${problems[*]}"
    fi
done

# --- Kills during a rebuilding restore -----------------------------------------------------
reset_target() {
    rm -rf "$kestrel_data/Replaced"
    cp day0 "$target"
}
reset_target
start=$(now_ms)
check timed-restore 0 run_tool restore "backups/$diff" --profile Outlook --items 1
whole_ms=$(($(now_ms) - start))
echo "one rebuilding restore takes $whole_ms ms"
for run in $(seq 1 "$kills"); do
    reset_target
    delay_ms=$(((RANDOM * 32768 + RANDOM) % (whole_ms + 1)))
    "${tool_command[@]}" restore "backups/$diff" --profile Outlook --items 1 \
        >"kill-restore-$run.out" 2>&1 &
    pid=$!
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    run_tool profiles >"start-$run.out" 2>&1
    problems=()
    if cmp -s "$target" day1; then
        kept_old=no
        while IFS= read -r -d '' kept; do
            cmp -s "$kept" day0 && kept_old=yes
        done < <(find "$kestrel_data/Replaced" -type f -name 'bob@example.com*.pst' -print0 \
            2>/dev/null)
        [ "$kept_old" = yes ] || problems+=("the day's file is in place but the old one is not kept")
    elif ! cmp -s "$target" day0; then
        problems+=("the data file is neither the old version nor the day's")
    fi
    leftovers=$(find "$bob" -path "$kestrel_data/run-*" -prune -o -type f -iname 'ksb*.tmp' -print)
    [ -z "$leftovers" ] || problems+=("temporary files left: $leftovers")
    if [ ${#problems[@]} -eq 0 ]; then
        pass "restore-kill-$run-after-${delay_ms}ms"
    else
        fail "restore-kill-$run-after-${delay_ms}ms: ${problems[*]}"
    fi
done

[ "$failures" -eq 0 ] && rm -rf backups elsewhere repack from-7z extracted day0 day1 "$source_file"
[ "$failures" -eq 0 ]
