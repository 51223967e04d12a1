#!/usr/bin/env bash
# `kestrel backup` and `kestrel restore` while "Outlook" runs: on the Linux backend the emulated
# machine's kestrel-holder holds the sample's data file as Outlook holds it; under Wine the
# project's stand-in (tests/cli/outlook-stand-in), copied to a file named OUTLOOK.EXE, holds it
# without sharing behind a top-level window. Checks that
#   - a backup without --if-outlook-runs leaves the file out, names it, status 1, and the holder
#     keeps running;
#   - --if-outlook-runs close closes the holder, writes the data file byte for byte, status 0,
#     and the holder runs again afterwards;
#   - a holder that refuses to close is left running, the run ends after the wait with status 1
#     and the file left out and named;
#   - the unattended run (kestrelbak with a job's argument text) does the same by the user's
#     setting, which a job made before it existed does not have: close by default, skip when
#     set so; its log line says how each held file was read;
#   - a restore refuses (status 2, nothing changed, the program named) unless given
#     --if-outlook-runs close, which replaces the data file and starts the holder again.
# Prints one "PASS name" or "FAIL name" line per check. Under Wine it needs a display (the
# stand-in shows a window): CTest runs it under xvfb-run.
#   scripts/outlook-running-test.sh linux|windows KESTREL_TOOL KESTRELBAK HOLDER WORK_FOLDER
check_name=outlook-running-test
holder_program=$(realpath "${4:-}")
set -- "$1" "$2" "$3" "${5:-}"
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
# shellcheck source=scripts/holders.sh
. "$(dirname "$0")/holders.sh"

data_file='C:\Users\bob\Documents\Outlook Files\bob@example.com.pst'
data_native=$(env_path "drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst")
outlook_local=$(env_path drive_c/Users/bob/AppData/Local/Microsoft/Outlook)
if [ "$system" = linux ]; then
    log=$(env_path drive_c/Users/bob/AppData/Local/Kestrel/kestrel.log)
    run_job() { run_bak "$@"; }
else
    # Wine's user is the one running the check, and so is the home of the program's log.
    log="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Kestrel/kestrel.log"
    # A scheduled job runs in the user's session, so the Outlook it starts again has the
    # desktop: here the check's display, which run_bak leaves out on purpose.
    run_job() { wine "$bak" "$@"; }
fi
job_text() {  # archive name: a job's argument text backing up the data files into Documents
    printf '%s\n' "sf=Outlookxm=100000000ps=bf=C:\\Users\\bob\\Documents\\$1"
}

# The machine's files a restore could change: on Linux all but the holders' records and the
# registry store, whose bytes SQLite rewrites on its own.
if [ "$system" = linux ]; then
    machine_files() {
        (cd "$KESTREL_HOME" && find . \( -path ./processes -o -name 'registry.db*' \) -prune -o \
            -type f -print0 | sort -z | xargs -0 sha1sum)
    }
else
    machine_files() {
        (cd "$WINEPREFIX/drive_c/users" && find . -type f -print0 | sort -z | xargs -0 sha1sum)
    }
fi

check_line() {  # name, extended regular expression, file
    if grep -q -E -- "$2" "$3"; then pass "$system-$1"; else fail "$system-$1: no '$2' in $3"; cat "$3"; fi
}
check_member() {  # name, archive: its data-file member is the source byte for byte
    rm -rf "$work/extracted" && mkdir "$work/extracted"
    if 7z x -o"$work/extracted" "$2" 'bob@example.com.pst' >/dev/null &&
        cmp -s "$work/extracted/bob@example.com.pst" "$data_native"; then
        pass "$system-$1"
    else
        fail "$system-$1: the archive's data file differs from the source"
    fi
}
check_holder() {  # name, "same" PID | "another" PID
    local now
    now=$(holder_pid "$data_file") || { fail "$system-$1: no holder runs"; return; }
    if { [ "$2" = same ] && [ "$now" = "$3" ]; } || { [ "$2" = another ] && [ "$now" != "$3" ]; }; then
        pass "$system-$1"
    else
        fail "$system-$1: holder $now, before $3 ($2 expected)"
    fi
}

# --- Backups --------------------------------------------------------------------------------
start_holder "$data_file"
first=$(holder_pid "$data_file")
check backup-held-skipped 1 run_tool backup --profile Outlook --items 100000000 skipped.ksb
check_line backup-held-named-on-stderr \
    "^OUTLOOK\\.EXE \\(process $first\\) holds C:.*bob@example\\.com\\.pst; left out" \
    backup-held-skipped.err
check_line backup-held-left-out "^not in the backup: .*bob@example\\.com\\.pst" \
    backup-held-skipped.out
check_holder backup-skip-leaves-holder-running same "$first"

check backup-close 0 run_tool backup --profile Outlook --items 100000000 \
    --if-outlook-runs close closed.ksb
check_member backup-close-data-file closed.ksb
check_line backup-close-reports "^closed OUTLOOK\\.EXE \\(process $first\\) and started it again" \
    backup-close.err
check_holder backup-close-starts-holder-again another "$first"

# A shadow copy: refused before anything is written where the user has no administrator
# rights (the emulated machine's never has); under Wine, whose user has them, the snapshot
# cannot be made (Wine's VSS answers "not implemented"), so the run says so and closes the
# program instead.
before=$(holder_pid "$data_file")
if [ "$system" = linux ]; then
    check backup-snapshot-without-rights 2 run_tool backup --profile Outlook --items 100000000 \
        --if-outlook-runs snapshot snapshot.ksb
    check_line backup-snapshot-refused "snapshot needs administrator rights" \
        backup-snapshot-without-rights.err
    if [ -e snapshot.ksb ]; then
        fail "$system-backup-snapshot-writes-nothing"
    else
        pass "$system-backup-snapshot-writes-nothing"
    fi
    check_holder backup-snapshot-leaves-holder-running same "$before"
else
    check backup-snapshot-falls-back 0 run_tool backup --profile Outlook --items 100000000 \
        --if-outlook-runs snapshot snapshot.ksb
    check_line backup-snapshot-says-so \
        "^no shadow copy \\(no shadow copy could be made: .*\\); closing Outlook instead" \
        backup-snapshot-falls-back.err
    check_member backup-snapshot-data-file snapshot.ksb
    check_holder backup-snapshot-starts-holder-again another "$before"
fi

# The unattended run with no setting stored, as a job made before it existed runs.
second=$(holder_pid "$data_file")
check kestrelbak-close 0 run_job "$(job_text nightly.ksb)"
check_member kestrelbak-close-data-file "$(env_path drive_c/Users/bob/Documents/nightly.ksb)"
check_line kestrelbak-close-logged \
    "held by OUTLOOK\.EXE \(process $second\): C:.*bob@example\.com\.pst closed and restarted.status 0" \
    "$log"
check_holder kestrelbak-close-starts-holder-again another "$second"

third=$(holder_pid "$data_file")
printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Kestrel]' \
    '"WhenOutlookRuns"="skip"' >skip.reg
run_tool reg import "$work/skip.reg" >/dev/null
check kestrelbak-skip 1 run_job "$(job_text skipped-nightly.ksb)"
check_line kestrelbak-skip-logged \
    "held by OUTLOOK\.EXE \(process $third\): C:.*bob@example\.com\.pst left out.status 1" "$log"
check_holder kestrelbak-skip-leaves-holder-running same "$third"
printf '%s\r\n' 'REGEDIT4' '' '[HKEY_CURRENT_USER\Software\Kestrel]' \
    '"WhenOutlookRuns"="close"' >close.reg
run_tool reg import "$work/close.reg" >/dev/null

# A holder that refuses to close: the run waits its 60 s, leaves the file out and goes on.
end_holders
start_holder --refuse-close "$data_file"
refusing=$(holder_pid "$data_file")
begun=$(date +%s)
check backup-refused 1 run_tool backup --profile Outlook --items 100000000 \
    --if-outlook-runs close refused.ksb
waited=$(($(date +%s) - begun))
if [ "$waited" -ge 59 ] && [ "$waited" -lt 120 ]; then
    pass "$system-backup-refused-waits-the-minute"
else
    fail "$system-backup-refused-waits-the-minute: the run took $waited s"
fi
check_line backup-refused-says-so "did not close within 60 seconds" backup-refused.err
check_line backup-refused-left-out "^not in the backup: .*bob@example\\.com\\.pst" \
    backup-refused.out
check_holder backup-refused-holder-still-running same "$refusing"

begun=$(date +%s)
check kestrelbak-refused 1 run_job "$(job_text refused-nightly.ksb)"
waited=$(($(date +%s) - begun))
if [ "$waited" -ge 59 ] && [ "$waited" -lt 120 ]; then
    pass "$system-kestrelbak-refused-waits-the-minute"
else
    fail "$system-kestrelbak-refused-waits-the-minute: the run took $waited s"
fi
check_line kestrelbak-refused-logged \
    "held by OUTLOOK\.EXE \(process $refusing\): C:.*bob@example\.com\.pst left out.status 1: .*not in the backup: .*bob@example\.com\.pst" \
    "$log"
check_holder kestrelbak-refused-holder-still-running same "$refusing"

# The machine as a restore could change it: its files and Office's registry tree.
machine_state() {
    machine_files
    run_tool reg export 'HKEY_CURRENT_USER\Software\Microsoft\Office' "$work/office.reg" &&
        sha1sum <"$work/office.reg"
}
# --- Restores -------------------------------------------------------------------------------
end_holders
start_holder "$data_file"
before=$(holder_pid "$data_file")
machine_state >tree-before
check restore-held-refused 2 run_tool restore closed.ksb --profile Outlook --items 100000000
check_line restore-held-names-program "OUTLOOK\\.EXE \\(process $before\\)" restore-held-refused.err
machine_state >tree-after
if cmp -s tree-before tree-after; then
    pass "$system-restore-held-changes-nothing"
else
    fail "$system-restore-held-changes-nothing"
    diff tree-before tree-after | head -20
fi
check_holder restore-refused-holder-still-running same "$before"

check restore-close 0 run_tool restore closed.ksb --profile Outlook --items 100000000 \
    --if-outlook-runs close
if cmp -s "$outlook_local/bob@example.com.pst" "$data_native"; then
    pass "$system-restore-close-data-file"
else
    fail "$system-restore-close-data-file: $outlook_local/bob@example.com.pst differs"
fi
check_holder restore-close-starts-holder-again another "$before"

echo "outlook-running: $failures failed"
[ "$failures" -eq 0 ]
