#!/usr/bin/env bash
# A backup of a large mail store through `kestrel backup` against 7-Zip on the same files, in one
# run: the sample machine outlook2013-win7 with its local data file replaced by a PST-like file
# of SIZE_MIB (archive_bench's data: mail-like text and random attachment-like blocks), backed up
# with AES (--items 100000000: the data files with the profile's registry tree and rules file)
# and, taking turns with it, the same files put into a ZIP by 7z a -tzip -mx=LEVEL -mem=AES256
# (LEVEL 5, 7-Zip's default, unless given; 1 is its fastest).
# Prints the medians of wall time over RUNS runs each, the ratio, both archive sizes and their
# difference, and the peak memory (resident set) of each, with the aims: kestrel at least 1.5x as
# fast as 7-Zip, its archive at most 3% larger, its peak memory under 64 MiB. By hand, not in CI:
#   KESTREL_BUILD_ROOT=$PWD/build scripts/build.sh linux --target kestrel --target archive_bench
#   bench/backup-bench.sh [RUNS] [SIZE_MIB] [WORK_FOLDER] [LEVEL]  (3, 1024, /var/tmp/backup-bench, 5)
# The generated file is kept in WORK_FOLDER for the next run. Ends with status 1 when a run
# failed (never when an aim is missed: timing is no test condition).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
size_mib=${2:-1024}
work=$(realpath -m "${3:-/var/tmp/backup-bench}")
seven_level=${4:-5}
build=${KESTREL_BUILD_ROOT:-$here/build}/linux
kestrel=$build/src/kestrel
generator=$build/bench/archive_bench
password=bench-Password-1
# GNU time (package "time") for the peak memory; the shell's own time keyword has none.
gnu_time=/usr/bin/time
for program in "$kestrel" "$generator" "$gnu_time" "$(command -v 7z || echo 7z)"; do
    if [ ! -x "$program" ]; then
        echo "backup-bench: $program is missing (scripts/install-deps.sh; the build line above)" >&2
        exit 2
    fi
done
[[ $runs =~ ^[1-9][0-9]*$ && $size_mib =~ ^[1-9][0-9]*$ ]] ||
    { echo "usage: $0 [RUNS] [SIZE_MIB] [WORK_FOLDER]" >&2; exit 2; }

mkdir -p "$work"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
"$generator" "$size_mib" 1 "$work" generate >/dev/null
source_pst="$work/Outlook.pst"

# A fresh sample machine, its local data file the generated one (a hard link: no copy).
export KESTREL_HOME="$work/home"
rm -rf "$KESTREL_HOME"
KESTREL_TOOL="$kestrel" "$here/scripts/seed-environment.sh" outlook2013-win7 "$KESTREL_HOME" \
    >/dev/null
pst="$KESTREL_HOME/drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst"
ln -f "$source_pst" "$pst"
# The same files for 7-Zip: both data files, the rules file and the profile's registry tree.
profile_key='HKEY_CURRENT_USER\Software\Microsoft\Office\15.0\Outlook\Profiles\Outlook'
"$kestrel" reg export-tree "$profile_key" "$work/OBC0001.tmp"
seven_inputs=("$pst" "$KESTREL_HOME/unc/fileserver/mail/bob/archive.pst"
    "$KESTREL_HOME/drive_c/Users/bob/AppData/Roaming/Microsoft/Outlook/Outlook.rwz"
    "$work/OBC0001.tmp")

ours_archive="$work/kestrel.ksb"
seven_archive="$work/7z.zip"
failed=0
printf '%s\n' "$password" >"$work/password.txt"
# measure NAME COMMAND...: one timed run, the password file on its standard input; appends
# "seconds peak-KiB" to NAME.times.
measure() {
    local name=$1 status=0
    shift
    sync
    "$gnu_time" -f '%e %M' -o "$work/$name.last" "$@" <"$work/password.txt" >"$work/$name.log" \
        2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "backup-bench: $name failed with status $status:" >&2
        tail -5 "$work/$name.log" >&2
        failed=1
    fi
    cat "$work/$name.last" >>"$work/$name.times"
}
rm -f "$work/kestrel.times" "$work/7z.times"
for ((run = 1; run <= runs; run++)); do
    rm -f "$ours_archive" "$seven_archive"
    measure kestrel "$kestrel" backup --profile Outlook --items 100000000 --password-stdin \
        "$ours_archive"
    measure 7z 7z a -tzip "-mx=$seven_level" -mem=AES256 "-p$password" "$seven_archive" "${seven_inputs[@]}"
done
if ! 7z t "-p$password" "$ours_archive" >/dev/null 2>&1; then
    echo "backup-bench: 7z t does not accept kestrel's archive" >&2
    failed=1
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak() { sort -n | tail -1; }
ours_s=$(cut -d' ' -f1 "$work/kestrel.times" | median)
seven_s=$(cut -d' ' -f1 "$work/7z.times" | median)
ours_kib=$(cut -d' ' -f2 "$work/kestrel.times" | peak)
seven_kib=$(cut -d' ' -f2 "$work/7z.times" | peak)
ours_bytes=$(stat -c %s "$ours_archive")
seven_bytes=$(stat -c %s "$seven_archive")
input_bytes=$(du -b -c "${seven_inputs[@]}" | tail -1 | cut -f1)

awk -v runs="$runs" -v mib="$size_mib" -v level="$seven_level" -v os="$ours_s" -v ss="$seven_s" -v ok="$ours_kib" \
    -v sk="$seven_kib" -v ob="$ours_bytes" -v sb="$seven_bytes" -v ib="$input_bytes" \
    -v ot="$(cut -d' ' -f1 "$work/kestrel.times" | tr '\n' ' ')" \
    -v st="$(cut -d' ' -f1 "$work/7z.times" | tr '\n' ' ')" '
function verdict(met) { return met ? "met" : "MISSED" }
BEGIN {
    printf "input: %d MiB PST-like data file (+ 3 small files), %d runs each, medians\n", mib, runs
    printf "%-34s %9s %9s %12s %9s\n", "", "seconds", "MiB/s", "archive", "peak MiB"
    printf "%-34s %9.2f %9.1f %12d %9.1f   runs: %s\n", "kestrel backup (AES, level 6)", os,
        ib / 1048576 / os, ob, ok / 1024, ot
    printf "%-34s %9.2f %9.1f %12d %9.1f   runs: %s\n", "7z a -tzip -mx=" level " -mem=AES256", ss,
        ib / 1048576 / ss, sb, sk / 1024, st
    printf "archive size: %.2f%% of the input (kestrel), %.2f%% (7z)\n", 100 * ob / ib, 100 * sb / ib
    printf "kestrel is %.2fx as fast as 7z (aim at least 1.5x: %s)\n", ss / os, verdict(ss / os >= 1.5)
    printf "kestrel archive %+.2f%% in size against 7z (aim at most +3%%: %s)\n",
        100 * (ob / sb - 1), verdict(ob / sb - 1 <= 0.03)
    printf "kestrel peak memory %.1f MiB (aim under 64 MiB: %s), 7z %.1f MiB\n", ok / 1024,
        verdict(ok < 65536), sk / 1024
}'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$ours_archive" "$seven_archive"
exit "$failed"
