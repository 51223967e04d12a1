#!/usr/bin/env bash
# A restore killed at random moments (Linux build): on a fresh copy of the sample machine
# outlook2013-win7 the profile's data file is made large (KESTREL_KILL_MIB MiB, 256 unless
# set) and backed up; then, 50 times (KESTREL_KILL_RUNS), the data folder gets back a small
# older version of the file, `kestrel restore` of the data files starts and is killed with
# SIGKILL at a random moment within the time one whole restore takes, and a program is started
# once, which must put the interrupted restore in order: in turn `kestrel profiles`, and
# unattended runs of kestrelbak with an invalid argument text or a password it cannot read
# (their report goes to kestrel.log). After each
# start: the data file is byte for byte the old version or the new one, the old version is in
# the Replaced folder whenever the new one is in place, no ksb*.tmp is left in the user's
# folders, and the start said what it recovered whenever the journal was unfinished. Every
# other kill (every kill with KESTREL_KILL_CHANGE=every) is followed by the user's own change
# before the start: a small file of the user's is written at the data file's place (over the
# old file, the new one, or where neither is any more, as the kill left it), and after the
# start it must be there as the user wrote it, the restore's version no longer at the place.
# Prints how many kills hit each phase of the restore (read from the journal before the
# start), and the seed of the random moments (KESTREL_KILL_SEED sets it, to replay a run).
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/restore-kill-test.sh linux KESTREL_TOOL KESTRELBAK WORK_FOLDER
check_name=restore-kill-test
if [ "${1:-}" != linux ]; then
    echo "usage: $0 linux KESTREL_TOOL KESTRELBAK WORK_FOLDER" >&2
    exit 2
fi
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
for program in head date sleep; do
    command -v "$program" >/dev/null || { echo "FAIL $program is not installed"; exit 1; }
done
mib=${KESTREL_KILL_MIB:-256}
runs=${KESTREL_KILL_RUNS:-50}
seed=${KESTREL_KILL_SEED:-$(date +%s)}
change=${KESTREL_KILL_CHANGE:-alternate}
case $change in
    alternate | every) ;;
    *) echo "FAIL KESTREL_KILL_CHANGE must be alternate or every, not $change"; exit 1 ;;
esac
echo "seed $seed (KESTREL_KILL_SEED=$seed replays these moments), $runs kills, data file $mib MiB," \
    "the user changes the data file after $change kill"
RANDOM=$seed

bob=$(env_path drive_c/Users/bob)
kestrel_data="$bob/AppData/Local/Kestrel"
target="$bob/AppData/Local/Microsoft/Outlook/bob@example.com.pst"
log="$kestrel_data/kestrel.log"
source_file=$(env_path "drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst")

# --- The large data file and its backup ---------------------------------------------------
head -c "$((mib * 1024 * 1024))" /dev/urandom >"$source_file"
cp "$source_file" new-version
printf 'the older version of the mail, kept somewhere safe\n' >old-version
if run_tool backup --profile Outlook --items 1 big.ksb >backup.out 2>&1; then
    pass "backup-of-large-data-file"
else
    fail "backup-of-large-data-file"
    cat backup.out
    exit 1
fi

restore() {
    run_tool restore big.ksb --profile Outlook --items 1
}
reset_target() {
    mkdir -p "$(dirname "$target")"
    rm -rf "$kestrel_data/Replaced"
    cp old-version "$target"
}
now_ms() {
    echo $(($(date +%s%N) / 1000000))
}

# --- Whole restores, to learn how long one takes (the second, once the caches are warm) ----
for attempt in 1 2; do
    reset_target
    start=$(now_ms)
    if restore >whole.out 2>&1 && cmp -s "$target" new-version; then
        pass "whole-restore-$attempt"
    else
        fail "whole-restore-$attempt"
        cat whole.out
        exit 1
    fi
    whole_ms=$(($(now_ms) - start))
done
echo "one whole restore takes $whole_ms ms"

# The phase a kill hit: the last step the journal records for the data file.
phase_of_kill() {
    local journal
    journal=$(find "$kestrel_data/Replaced" -name restore.journal 2>/dev/null | head -n 1)
    # A journal without its "started" line was never begun: it records no run.
    if [ -z "$journal" ] || ! grep -q -a '^started' "$journal"; then
        echo "before-the-journal"
    elif grep -q '^finished' "$journal"; then
        echo "after-the-run"
    else
        local step
        step=$(grep -a -F 'bob@example.com.pst' "$journal" | tail -n 1 | cut -f1)
        case $step in
            place | temp) echo "writing-the-new-file" ;;
            written) echo "new-file-whole-old-in-place" ;;
            kept) echo "old-kept-new-not-yet-placed" ;;
            placed) echo "new-placed-run-unfinished" ;;
            *) echo "journal-begun-no-step" ;;
        esac
    fi
}

declare -A phases
declare -A changed_phases
for run in $(seq 1 "$runs"); do
    reset_target
    delay_ms=$(((RANDOM * 32768 + RANDOM) % (whole_ms + 1)))
    "$tool" restore big.ksb --profile Outlook --items 1 >"kill-$run.out" 2>&1 &
    pid=$!
    sleep "$((delay_ms / 1000)).$(printf '%03d' $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    phase=$(phase_of_kill)
    phases[$phase]=$((${phases[$phase]:-0} + 1))
    unfinished=no
    case $phase in
        before-the-journal | after-the-run) ;;
        *) unfinished=yes ;;
    esac
    # The user's own change after the crash: an edit in place, or a file made anew where the
    # kill left none (as Outlook remakes a missing data file).
    user_text=""
    if [ "$change" = every ] || [ $((run % 2)) -eq 0 ]; then
        user_text="the user's own mail, written after kill $run"
        printf '%s\n' "$user_text" >"$target"
        changed_phases[$phase]=$((${changed_phases[$phase]:-0} + 1))
    fi

    # The next start, in turn: the tool, and unattended runs that go no further than their
    # argument text or their password (which report to the log).
    log_lines=$(cat "$log" 2>/dev/null | wc -l)
    case $((run % 3)) in
        0) run_tool profiles >"start-$run.out" 2>"start-$run.err" ;;
        1) run_bak "not a job" >"start-$run.out" 2>&1 ;;
        2) run_bak "--password-key no-such-secret sf=Outlookxm=1ps=bf=C:\\x.ksb" \
            >"start-$run.out" 2>&1 ;;
    esac
    tail -n +"$((log_lines + 1))" "$log" >>"start-$run.err" 2>/dev/null
    problems=()
    if [ -n "$user_text" ]; then
        [ "$(cat "$target" 2>/dev/null)" = "$user_text" ] ||
            problems+=("what the user wrote after the crash is not at the data file's place")
    elif cmp -s "$target" new-version; then
        kept_old=no
        while IFS= read -r -d '' kept; do
            cmp -s "$kept" old-version && kept_old=yes
        done < <(find "$kestrel_data/Replaced" -type f -name 'bob@example.com*.pst' -print0 \
            2>/dev/null)
        [ "$kept_old" = yes ] || problems+=("the new version is in place but the old one is not kept")
    elif ! cmp -s "$target" old-version; then
        problems+=("the data file is neither the old version nor the new one")
    fi
    leftovers=$(find "$bob" -path "$kestrel_data/run-*" -prune -o -type f -iname 'ksb*.tmp' \
        -print)
    [ -z "$leftovers" ] || problems+=("temporary files left: $leftovers")
    if [ "$unfinished" = yes ] && ! grep -q 'A restore was interrupted' "start-$run.err"; then
        problems+=("the start did not say what it recovered")
    fi
    if [ "$unfinished" = no ] && grep -q 'A restore was interrupted' "start-$run.err"; then
        problems+=("the start reported a recovery where the journal was finished or missing")
    fi
    if [ ${#problems[@]} -eq 0 ]; then
        pass "kill-$run-after-${delay_ms}ms-$phase"
    else
        fail "kill-$run-after-${delay_ms}ms-$phase: ${problems[*]}"
        cat "start-$run.err"
    fi
done

echo "kills per phase (of them followed by the user's change):"
for phase in before-the-journal journal-begun-no-step writing-the-new-file \
    new-file-whole-old-in-place old-kept-new-not-yet-placed new-placed-run-unfinished \
    after-the-run; do
    printf '  %-30s %d (%d)\n' "$phase" "${phases[$phase]:-0}" "${changed_phases[$phase]:-0}"
done

# The large files are only worth keeping to look into a failure.
[ "$failures" -eq 0 ] && rm -f big.ksb new-version "$source_file" "$target"
[ "$failures" -eq 0 ]
