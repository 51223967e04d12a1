#!/usr/bin/env bash
# A week of nightly backups of a large data file: one full and six differentials against a full
# backup every night, in one run. The sample machine outlook2013-win7 gets a PST-like data file
# of SIZE_MIB as its local data file (change_bench generate: archive_bench's data with a data
# file's header and allocation maps); night 0 backs it up whole (`kestrel backup --keep 7`); on
# each of the nights 1 to 7 the file is first changed as Outlook changes it in a day
# (change_bench apply: mail arriving, read and deleted; night 7 is the Compact day, which
# rewrites nearly everything) and then backed up with `kestrel backup --differential --keep 7`,
# and, for comparison, whole into another folder. All backups with AES (--items 100000000: the
# data files with the profile's key and rules file), each at a faked time a day after the last
# (faketime) so that each writes a generation of its own.
#
# Prints, for each night, the wall time, the processor time (user + sys) and the bytes written
# of the differential run and of the full one and their ratios, with the aims for an ordinary
# night (at least 10x less time, at least 20x fewer bytes); then restores the night's file from
# the full and the differential (`kestrel restore DIFFERENTIAL --full FULL`) and compares it
# byte for byte with the night's file. The Compact night must write a full, and its `full:`
# line (the reason) is printed. By hand, not in CI:
#   KESTREL_BUILD_ROOT=$PWD/build scripts/build.sh linux --target kestrel --target change_bench
#   bench/differential-bench.sh [SIZE_MIB] [WORK_FOLDER] [--fulls-only]
#                                                       (4096, /var/tmp/differential-bench)
# --fulls-only runs the week with the full backups only (no differential, no restore).
# Ends with status 1 when a run failed, a restore differed or the Compact night wrote no full
# (never when an aim is missed: timing is no test condition).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
fulls_only=0
arguments=()
for argument in "$@"; do
    if [ "$argument" = --fulls-only ]; then
        fulls_only=1
    else
        arguments+=("$argument")
    fi
done
size_mib=${arguments[0]:-4096}
work=$(realpath -m "${arguments[1]:-/var/tmp/differential-bench}")
if [ "${#arguments[@]}" -gt 2 ] || ! [[ $size_mib =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [SIZE_MIB] [WORK_FOLDER] [--fulls-only]" >&2
    exit 2
fi
build=${KESTREL_BUILD_ROOT:-$here/build}/linux
kestrel=$build/src/kestrel
changes=$build/bench/change_bench
gnu_time=/usr/bin/time
for program in "$kestrel" "$changes" "$gnu_time" "$(command -v faketime || echo faketime)" \
    "$(command -v cmp || echo cmp)"; do
    if [ ! -x "$program" ]; then
        echo "differential-bench: $program is missing (scripts/install-deps.sh; the build line" \
            "above)" >&2
        exit 2
    fi
done
nights=7
compact_night=7
password=bench-Password-1
seed=1

mkdir -p "$work"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg), $(nproc) cores"
source_pst="$work/Outlook.pst"
"$changes" generate "$size_mib" "$source_pst" "$seed" >/dev/null

# A fresh sample machine, its local data file the generated one (a hard link: no copy).
export KESTREL_HOME="$work/home"
rm -rf "$KESTREL_HOME"
KESTREL_TOOL="$kestrel" "$here/scripts/seed-environment.sh" outlook2013-win7 "$KESTREL_HOME" \
    >/dev/null
pst="$KESTREL_HOME/drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst"
ln -f "$source_pst" "$pst"
restored="$KESTREL_HOME/drive_c/Users/bob/AppData/Local/Microsoft/Outlook"
replaced="$KESTREL_HOME/drive_c/Users/bob/AppData/Local/Kestrel/Replaced"
nightly="$work/nightly"
fulls="$work/fulls"
rm -rf "$nightly" "$fulls"
mkdir -p "$nightly" "$fulls"
printf '%s\n' "$password" >"$work/password.txt"

failed=0
# The faked start of night N: a day after the one before, five minutes earlier each time, so
# that the last night is less than 7 days after the full and a full written then is for the
# Compact, not for the full's age.
night_time() {
    date -u -d "2026-12-01 02:30 UTC + $1 days - $(($1 * 5)) minutes" '+@%Y-%m-%d %H:%M:%S'
}
# run NAME NIGHT COMMAND...: one timed run at the night's faked time; NAME.last gets
# "wall-seconds user-seconds sys-seconds", NAME.log the output.
run() {
    local name=$1 night=$2 status=0
    shift 2
    sync
    "$gnu_time" -f '%e %U %S' -o "$work/$name.last" env TZ=UTC0 \
        faketime -f "$(night_time "$night")" "$@" >"$work/$name.log" 2>&1 || status=$?
    if [ "$status" -ne 0 ]; then
        echo "differential-bench: $name (night $night) failed with status $status:" >&2
        tail -5 "$work/$name.log" >&2
        failed=1
    fi
    return "$status"
}
# The processor time (user + sys) of a run.
cpu() {
    awk '{ printf "%.2f", $2 + $3 }' "$work/$1.last"
}
# The bytes of the archive a backup wrote, from its "written: ARCHIVE (N bytes)" line.
written_bytes() {
    sed -n 's/^written: .* (\([0-9]*\) bytes)$/\1/p' "$work/$1.log" | tail -1
}
# The newest archive in a folder.
newest() {
    ls -t "$1"/*.ksb 2>/dev/null | head -1
}
backup() {  # NAME NIGHT TARGET [OPTIONS...]
    local name=$1 night=$2 target=$3
    shift 3
    run "$name" "$night" "$kestrel" backup --profile Outlook --items 100000000 \
        --password-file "$work/password.txt" "$@" "$target"
}

report_night() {  # NIGHT KIND DIFF-NAME FULL-NAME
    local d f dw fw
    dw=$(cut -d' ' -f1 "$work/$3.last")
    fw=$(cut -d' ' -f1 "$work/$4.last")
    d=$(written_bytes "$3")
    f=$(written_bytes "$4")
    awk -v n="$1" -v kind="$2" -v dw="$dw" -v dc="$(cpu "$3")" -v db="${d:-0}" \
        -v fw="$fw" -v fc="$(cpu "$4")" -v fb="${f:-0}" -v ordinary="$5" '
    function ratio(a, b) { return b > 0 ? a / b : 0 }
    BEGIN {
        printf "%-6s %-13s %9.2f %9.2f %14.0f   %-13s %9.2f %9.2f %14.0f   %7.1fx %7.1fx %7.1fx", n,
            kind, dw, dc, db, "full", fw, fc, fb, ratio(fw, dw), ratio(fc, dc), ratio(fb, db)
        if (ordinary == 1)
            printf "   aims 10x time: %s, 20x bytes: %s", (ratio(fw, dw) >= 10 ? "met" : "MISSED"),
                (ratio(fb, db) >= 20 ? "met" : "MISSED")
        printf "\n"
    }'
}

# Night 0: the full the differentials depend on.
backup night-0 0 "$nightly/work.ksb" --keep 7 || exit 1
full_archive=$(newest "$nightly")
echo "night 0: full $(basename "$full_archive"): $(cut -d' ' -f1 "$work/night-0.last") s wall," \
    "$(cpu night-0) s cpu," \
    "$(written_bytes night-0) bytes"

printf '%-6s %-13s %9s %9s %14s   %-13s %9s %9s %14s   %8s %8s %8s\n' night "" wall cpu bytes \
    "" wall cpu bytes "time x" "cpu x" "bytes x"
for ((night = 1; night <= nights; night++)); do
    "$changes" apply "$night" "$source_pst" "$seed" --compact-day "$compact_night" \
        | sed 's/^/  /'
    ln -f "$source_pst" "$pst"
    rm -f "$fulls"/*.ksb
    backup "full-$night" "$night" "$fulls/work.ksb" || continue
    if [ "$fulls_only" = 1 ]; then
        echo "night $night: full $(cut -d' ' -f1 "$work/full-$night.last") s wall," \
            "$(cpu "full-$night") s cpu," \
            "$(written_bytes "full-$night") bytes"
        continue
    fi
    backup "diff-$night" "$night" "$nightly/work.ksb" --differential --keep 7 || continue
    archive=$(newest "$nightly")
    kind=differential
    ordinary=1
    if [ "$night" = "$compact_night" ]; then
        ordinary=0
        kind="compact"
        if [[ $(basename "$archive") == *differential* ]] ||
            ! grep -q '^full: ' "$work/diff-$night.log"; then
            echo "differential-bench: the Compact night wrote no full" >&2
            failed=1
        fi
        grep '^full: ' "$work/diff-$night.log" | sed 's/^/  /' || true
    elif [[ $(basename "$archive") != *differential* ]]; then
        echo "differential-bench: night $night wrote a full:" \
            "$(grep '^full: ' "$work/diff-$night.log" || echo 'no reason given')" >&2
        kind="full (!)"
        failed=1
    fi
    report_night "$night" "$kind" "diff-$night" "full-$night" "$ordinary"

    # The night's file rebuilt from the full and the night's archive, byte for byte.
    rm -rf "$restored" "$replaced"
    restore_options=()
    [[ $(basename "$archive") != *differential* ]] || restore_options=(--full "$full_archive")
    if run "restore-$night" "$night" "$kestrel" restore "$archive" --profile Outlook \
        --items 100000000 --password-file "$work/password.txt" "${restore_options[@]}"; then
        if cmp -s "$restored/bob@example.com.pst" "$source_pst"; then
            echo "  restored byte for byte ($(cut -d' ' -f1 "$work/restore-$night.last") s)"
        else
            echo "differential-bench: night $night's restored data file differs from the" \
                "night's file" >&2
            failed=1
        fi
    fi
    # The restore may leave the profile naming the restored file: from now on that is the
    # night's file too (linked only after the comparison, which must compare two files).
    rm -rf "$replaced"
    mkdir -p "$restored"
    ln -f "$source_pst" "$restored/bob@example.com.pst"
    # A full written tonight is the one later differentials depend on.
    [[ $(basename "$archive") == *differential* ]] || full_archive=$archive
done
echo "archives kept: $(ls "$nightly" | tr '\n' ';')"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -f "$fulls"/*.ksb
exit "$failed"
