#!/usr/bin/env bash
# A restore of a large mail store through `kestrel restore` against 7-Zip extracting the same
# archive, in one run: the sample machine outlook2013-win7 with its local data file replaced by
# a PST-like file of SIZE_MIB (archive_bench's data, as bench/backup-bench.sh uses), backed up
# once with AES by `kestrel backup --items 100000000`, then restored (--items 100000000: the
# data files with the profile's key and rules file) and, taking turns with it, extracted by
# 7z x. Before each run the files the previous one wrote are removed (not timed), so every run
# writes the whole data file. Prints the medians of wall time over RUNS runs each, their ratio
# and the peak memory (resident set) of each in one line. By hand, not in CI:
#   KESTREL_BUILD_ROOT=$PWD/build scripts/build.sh linux --target kestrel --target archive_bench
#   bench/restore-bench.sh [RUNS] [SIZE_MIB] [WORK_FOLDER]    (3, 1024, /var/tmp/restore-bench)
# The generated file is kept in WORK_FOLDER for the next run. Ends with status 1 when a run
# failed or the restored data file differs from its source (timing is no test condition).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-3}
size_mib=${2:-1024}
work=$(realpath -m "${3:-/var/tmp/restore-bench}")
build=${KESTREL_BUILD_ROOT:-$here/build}/linux
kestrel=$build/src/kestrel
generator=$build/bench/archive_bench
password=bench-Password-1
gnu_time=/usr/bin/time
for program in "$kestrel" "$generator" "$gnu_time" "$(command -v 7z || echo 7z)" \
    "$(command -v cmp || echo cmp)"; do
    if [ ! -x "$program" ]; then
        echo "restore-bench: $program is missing (scripts/install-deps.sh; the build line above)" >&2
        exit 2
    fi
done
[[ $runs =~ ^[1-9][0-9]*$ && $size_mib =~ ^[1-9][0-9]*$ ]] ||
    { echo "usage: $0 [RUNS] [SIZE_MIB] [WORK_FOLDER]" >&2; exit 2; }

mkdir -p "$work"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
"$generator" "$size_mib" 1 "$work" generate >/dev/null
source_pst="$work/Outlook.pst"

export KESTREL_HOME="$work/home"
rm -rf "$KESTREL_HOME"
KESTREL_TOOL="$kestrel" "$here/scripts/seed-environment.sh" outlook2013-win7 "$KESTREL_HOME" \
    >/dev/null
ln -f "$source_pst" "$KESTREL_HOME/drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst"
printf '%s\n' "$password" >"$work/password.txt"
archive="$work/kestrel.ksb"
rm -f "$archive"
if ! "$kestrel" backup --profile Outlook --items 100000000 --password-file "$work/password.txt" \
    "$archive" >"$work/backup.log" 2>&1; then
    echo "restore-bench: the backup failed:" >&2
    tail -5 "$work/backup.log" >&2
    exit 1
fi
restored="$KESTREL_HOME/drive_c/Users/bob/AppData/Local/Microsoft/Outlook"
replaced="$KESTREL_HOME/drive_c/Users/bob/AppData/Local/Kestrel/Replaced"
seven_out="$work/7z-out"

failed=0
# measure NAME COMMAND...: one timed run, the password file on its standard input; appends
# "seconds peak-KiB" to NAME.times.
measure() {
    local name=$1 status=0
    shift
    sync
    "$gnu_time" -f '%e %M' -o "$work/$name.last" "$@" <"$work/password.txt" >"$work/$name.log" \
        2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "restore-bench: $name failed with status $status:" >&2
        tail -5 "$work/$name.log" >&2
        failed=1
    fi
    cat "$work/$name.last" >>"$work/$name.times"
}
rm -f "$work/kestrel.times" "$work/7z.times"
for ((run = 1; run <= runs; run++)); do
    rm -rf "$restored" "$replaced" "$seven_out"
    measure kestrel "$kestrel" restore "$archive" --profile Outlook --items 100000000 \
        --password-stdin
    measure 7z 7z x -y "-p$password" "-o$seven_out" "$archive"
    # A new Replaced folder each run: its name has the second the run started.
    sleep 1
done
if ! cmp -s "$restored/bob@example.com.pst" "$source_pst"; then
    echo "restore-bench: the restored data file differs from its source" >&2
    failed=1
fi

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
peak() { sort -n | tail -1; }
ours_s=$(cut -d' ' -f1 "$work/kestrel.times" | median)
seven_s=$(cut -d' ' -f1 "$work/7z.times" | median)
ours_kib=$(cut -d' ' -f2 "$work/kestrel.times" | peak)
seven_kib=$(cut -d' ' -f2 "$work/7z.times" | peak)
archive_bytes=$(stat -c %s "$archive")
awk -v runs="$runs" -v mib="$size_mib" -v os="$ours_s" -v ss="$seven_s" -v ok="$ours_kib" \
    -v sk="$seven_kib" -v ab="$archive_bytes" \
    -v ot="$(cut -d' ' -f1 "$work/kestrel.times" | tr '\n' ' ')" \
    -v st="$(cut -d' ' -f1 "$work/7z.times" | tr '\n' ' ')" '
BEGIN {
    printf "restore of a %d MiB PST-like data file from a %.1f MiB AES archive, medians of %d runs: kestrel restore %.2f s (peak %.1f MiB), 7z x %.2f s (peak %.1f MiB); kestrel is %.2fx as fast as 7z   runs: kestrel %s/ 7z %s\n",
        mib, ab / 1048576, runs, os, ok / 1024, ss, sk / 1024, ss / os, ot, st
}'
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -rf "$restored" "$replaced" "$seven_out" "$archive"
exit "$failed"
