#!/usr/bin/env bash
# Scheduled jobs that keep a history, each run through its own command line as cron runs it
# (the five time fields cut off, `sh -c` in cron's bare environment), on a fresh copy of the
# sample machine outlook2013-win7 with stand-ins for `crontab`, `systemctl` and `logger` (the
# journal's door) first on PATH:
# - keep 3, run on five evenings (faketime): exactly the three newest dated archives remain and
#   each verifies; the user's work.ksb.old, "work final.ksb", a file of theirs named as a dated
#   archive and another target's archive stay; each run leaves one line in the system log, and
#   `kestrel schedule list` shows the last run;
# - a run with the clock set back behind those archives' dates: its archive stays (the oldest
#   goes), the log names the ones dated after it, and `kestrel schedule list` names a file there;
# - while a run goes, no process's command line (/proc/*/cmdline) holds the job's password, nor
#   does the crontab or a timer unit; the password is a file only its owner can read;
# - keep 1 with the data files gone, and again with the data file held open by another program
#   (the emulated machine's kestrel-holder, one that refuses to close): the previous archive
#   stays as it was and the incomplete one goes beside it; the next complete run replaces the
#   archive and removes the incomplete one.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/schedule-history-test.sh linux KESTREL_TOOL KESTRELBAK KESTREL_HOLDER WORK_FOLDER
# Linux only: the checks are named without the system.
check_prefix=
check_name=schedule-history-test
holder_program=$(realpath "${4:-}")
set -- "$1" "$2" "$3" "${5:-}"
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
if [ "$system" != linux ]; then
    echo "FAIL the scheduled jobs of the Windows build are not checked here"
    exit 1
fi
# shellcheck source=scripts/holders.sh
. "$(dirname "$0")/holders.sh"
for program in sh env faketime stat; do
    if ! command -v "$program" >/dev/null; then
        echo "FAIL $program is not installed (scripts/install-deps.sh installs it)"
        exit 1
    fi
done
export XDG_CONFIG_HOME="$work/config"
log=$(env_path drive_c/Users/bob/AppData/Local/Kestrel/kestrel.log)
backups=$(env_path drive_c/Users/bob/Documents/Backups)
mkdir -p "$backups" bin
export PATH="$work/bin:$PATH"
cat >bin/crontab <<EOF
#!/bin/sh
table='$work/user-crontab'
case "\$1" in
-l) [ -f "\$table" ] || { echo "no crontab for \$(id -un)" >&2; exit 1; }; cat "\$table" ;;
-) cat >"\$table" ;;
*) echo "crontab stand-in: \$*" >&2; exit 2 ;;
esac
EOF
printf '#!/bin/sh\necho "Failed to connect to bus: No medium found" >&2\nexit 1\n' >bin/systemctl
# What reaches the journal: one entry a line, the words logger got each followed by "|". While
# the file "slow" exists it takes two seconds, which holds the run (that waits for it) open
# long enough to be watched.
printf '#!/bin/sh\n[ ! -e "%s" ] || sleep 2\nprintf "%%s|" "$@" >>"%s"\necho >>"%s"\n' \
    "$work/slow" "$work/journal" "$work/journal" >bin/logger
chmod +x bin/crontab bin/systemctl bin/logger

# The command of job N as cron would run it: the line after its mark, less the time fields.
job_command() {
    local entry
    entry=$(grep -A1 -E "^# kestrel-job $1 " user-crontab | tail -1)
    read -r _ _ _ _ _ command <<<"$entry"
    printf '%s' "$command"
}
# Runs job N in cron's environment (with the stand-ins first on PATH), at a faked time if given.
run_job() {  # N [time]
    local command
    command=$(job_command "$1")
    if [ -n "${2:-}" ]; then
        env -i HOME="$HOME" LOGNAME="$(id -un)" PATH="$work/bin:/usr/bin:/bin" SHELL=/bin/sh \
            TZ=UTC0 faketime "$2" /bin/sh -c "$command" </dev/null
    else
        env -i HOME="$HOME" LOGNAME="$(id -un)" PATH="$work/bin:/usr/bin:/bin" SHELL=/bin/sh \
            TZ=UTC0 /bin/sh -c "$command" </dev/null
    fi
}
verify() {  # name, archive
    stdin_text="$password"$'\n' check "$1" 0 run_tool archive verify "$2" --password-stdin
}

password='Nightly-Secret-7q'
target='C:\Users\bob\Documents\Backups\work.ksb'
stdin_text="$password"$'\n' check add-keep-3 0 run_tool schedule add --profile Outlook \
    --items 111111111 --daily --time 23:30 --keep 3 --target "$target" --password-stdin
# The user's own files beside the target, and another job's archive.
for file in work.ksb.old 'work final.ksb' 'work 2020-01-01 0000.ksb' 'home 2026-12-01 2330.ksb'; do
    echo "the user's" >"$backups/$file"
done

# --- The password is on no command line ----------------------------------------------------
if ! grep -q -F -- "$password" user-crontab && grep -q -F -- '--password-key job-' user-crontab; then
    pass crontab-names-the-password-only
else
    fail crontab-names-the-password-only
    cat user-crontab
fi
secret=$(find "$KESTREL_HOME/secrets" -type f -name 'job-*' | head -1)
if [ -n "$secret" ] && [ "$(stat -c %a "$secret")" = 600 ] &&
    [ "$(stat -c %a "$KESTREL_HOME/secrets")" = 700 ] && [ "$(cat "$secret")" = "$password" ]; then
    pass password-kept-private
else
    fail "password-kept-private: $secret"
fi
# Five evenings; the first run is watched: every process's command line, read over and over
# while it goes.
: >journal
leaked=0 seen=0
for day in 1 2 3 4 5; do
    if [ "$day" -eq 1 ]; then
        touch slow
        run_job 1 "2026-12-0$day 23:30:00" >run-$day.out 2>&1 &
        job=$!
        while kill -0 "$job" 2>/dev/null; do
            for cmdline in /proc/[0-9]*/cmdline; do
                # Builtins only: a process started per file would make one sweep outlast the run.
                { mapfile -d '' -t argv <"$cmdline"; } 2>/dev/null || continue
                words="${argv[*]}"
                case $words in *"$password"*) leaked=1 ;; esac
                case $words in *kestrelbak*--password-key*) seen=1 ;; esac
            done
        done
        wait "$job"
        status=$?
        rm slow
    else
        run_job 1 "2026-12-0$day 23:30:00" >run-$day.out 2>&1
        status=$?
    fi
    if [ "$status" -eq 0 ]; then pass "keep-3-run-$day"; else fail "keep-3-run-$day (exit status $status)" && cat run-$day.out; fi
done
if [ "$leaked" -eq 0 ] && [ "$seen" -eq 1 ]; then
    pass no-command-line-holds-the-password
else
    fail "no-command-line-holds-the-password: leaked $leaked, run seen $seen"
fi
expected=$(printf '%s\n' 'home 2026-12-01 2330.ksb' 'work 2026-12-03 2330 UTC.ksb' \
    'work 2026-12-04 2330 UTC.ksb' 'work 2026-12-05 2330 UTC.ksb' 'work final.ksb' 'work.ksb.old' \
    'work 2020-01-01 0000.ksb')
actual=$(ls "$backups" | LC_ALL=C sort)
if [ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ]; then
    pass keep-3-leaves-the-three-newest-and-the-users-files
else
    fail "keep-3-leaves-the-three-newest-and-the-users-files:"
    printf '%s\n' "$actual"
fi
for day in 3 4 5; do
    verify "keep-3-archive-$day-verifies" "$backups/work 2026-12-0$day 2330 UTC.ksb"
done
# One entry per run in the system log, as one line without tabs, and no password in any log.
entries=$(grep -c '' journal)
last=$(tail -1 journal)
if [ "$entries" -eq 5 ] &&
    grep -q -E '^-t\|kestrel\|-p\|user\.info\|--\|2026-12-05 23:30:[0-9]{2}, profile Outlook, archive C:\\Users\\bob\\Documents\\Backups\\work 2026-12-05 2330 UTC\.ksb, items [01]{11}, bytes [0-9]+, seconds [0-9.]+, removed C:\\Users\\bob\\Documents\\Backups\\work 2026-12-02 2330 UTC\.ksb, status 0: written\|$' <<<"$last" &&
    ! grep -q -F -- "$password" journal "$log"; then
    pass system-log-line-per-run
else
    fail "system-log-line-per-run: $entries entries, the last:"
    printf '%s\n' "$last"
fi
check list-after-runs 0 run_tool schedule list
if grep -q -E '^job 1 last ran 2026-12-05 23:30:[0-9]{2}: status 0: written \(C:\\Users\\bob\\Documents\\Backups\\work 2026-12-05 2330 UTC\.ksb\)$' list-after-runs.out &&
    grep -q -F 'jobs in the crontab do not make up a run missed' list-after-runs.out; then
    pass list-shows-last-run
else
    fail list-shows-last-run
    cat list-after-runs.out
fi

# --- The clock set back behind the archives' dates ------------------------------------------
# The run's own archive stays and the oldest goes; the two dated after the run are named.
run_job 1 "2026-12-01 22:00:00" >run-set-back.out 2>&1
status=$?
expected=$(printf '%s\n' 'home 2026-12-01 2330.ksb' 'work 2026-12-01 2200 UTC.ksb' \
    'work 2026-12-04 2330 UTC.ksb' 'work 2026-12-05 2330 UTC.ksb' 'work final.ksb' 'work.ksb.old' \
    'work 2020-01-01 0000.ksb')
actual=$(ls "$backups" | LC_ALL=C sort)
line=$(tail -1 "$log" | tr -d '\r')
dated='dated after this run, so not taken for the newest: C:\Users\bob\Documents\Backups\work 2026-12-04 2330 UTC.ksb, C:\Users\bob\Documents\Backups\work 2026-12-05 2330 UTC.ksb'
if [ "$status" -eq 0 ] && [ "$actual" = "$(LC_ALL=C sort <<<"$expected")" ] &&
    grep -q -F $'\tremoved C:\\Users\\bob\\Documents\\Backups\\work 2026-12-03 2330 UTC.ksb\t'"$dated"$'\tstatus 0: written' <<<"$line"; then
    pass clock-set-back-keeps-the-runs-archive
else
    fail "clock-set-back-keeps-the-runs-archive (exit status $status)"
    printf '%s\n' "$actual" "$line"
    cat run-set-back.out
fi
verify clock-set-back-archive-verifies "$backups/work 2026-12-01 2200 UTC.ksb"
check list-after-set-back 0 run_tool schedule list
if grep -q -F 'status 0: written (C:\Users\bob\Documents\Backups\work 2026-12-01 2200 UTC.ksb)' list-after-set-back.out; then
    pass list-names-the-set-back-runs-archive
else
    fail list-names-the-set-back-runs-archive
    cat list-after-set-back.out
fi

# --- An incomplete run never replaces a complete archive ------------------------------------
stdin_text="$password"$'\n' check add-keep-1 0 run_tool schedule add --profile Outlook \
    --items 100000000 --daily --target 'C:\Users\bob\Documents\Backups\mail.ksb' --password-stdin
check complete-run 0 run_job 2
cp "$backups/mail.ksb" mail-before.ksb
# Both data files of the profile gone (a held-open one is the unit tests' case: Linux has no
# mandatory locks to hold it with).
data=$(env_path 'drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst')
share=$(env_path unc/fileserver/mail/bob/archive.pst)
mv "$data" held-aside.pst
mv "$share" share-aside.pst
check incomplete-run 1 run_job 2
incomplete=("$backups"/mail\ \(incomplete\ *\).ksb)
if cmp -s mail-before.ksb "$backups/mail.ksb" && [ -f "${incomplete[0]}" ] &&
    tail -1 "$log" | tr -d '\r' | grep -q -F 'mail (incomplete ' &&
    tail -1 "$log" | tr -d '\r' | grep -q -E $'\tstatus 1: written beside the target, an item failed; the previous archive is kept$'; then
    pass incomplete-run-keeps-the-archive
else
    fail incomplete-run-keeps-the-archive
    ls "$backups"
    tail -1 "$log"
fi
if tail -1 journal | grep -q -F -- '-t|kestrel|-p|user.warning|--|'; then
    pass incomplete-run-is-a-warning
else
    fail "incomplete-run-is-a-warning: $(tail -1 journal)"
fi
mv held-aside.pst "$data"
mv share-aside.pst "$share"
check complete-again 0 run_job 2
incomplete=("$backups"/mail\ \(incomplete\ *\).ksb)
if [ ! -e "${incomplete[0]}" ] && ! cmp -s mail-before.ksb "$backups/mail.ksb"; then
    pass complete-run-removes-the-incomplete-archive
else
    fail complete-run-removes-the-incomplete-archive
    ls "$backups"
fi
verify mail-verifies "$backups/mail.ksb"

# The same rule with the data file held open by another program while the job runs.
cp "$backups/mail.ksb" mail-before-held.ksb
held_file='C:\Users\bob\Documents\Outlook Files\bob@example.com.pst'
start_holder --refuse-close "$held_file"
holder=$(holder_pid "$held_file")
check held-run 1 run_job 2
incomplete=("$backups"/mail\ \(incomplete\ *\).ksb)
held_text='status 1: written beside the target, an item failed; the previous archive is kept; not in the backup: cannot open C:\Users\bob\Documents\Outlook Files\bob@example.com.pst: The file is held open by another program'
if cmp -s mail-before-held.ksb "$backups/mail.ksb" && [ -f "${incomplete[0]}" ] &&
    tail -1 "$log" | tr -d '\r' | grep -q -F 'mail (incomplete ' &&
    tail -1 "$log" | tr -d '\r' | grep -q -F "$held_text"; then
    pass held-run-keeps-the-archive
else
    fail held-run-keeps-the-archive
    ls "$backups"
    tail -1 "$log"
fi
if kill -0 "$holder" 2>/dev/null; then
    pass held-run-left-the-holder-running
else
    fail held-run-left-the-holder-running
fi
end_holders
check held-complete-again 0 run_job 2
incomplete=("$backups"/mail\ \(incomplete\ *\).ksb)
if [ ! -e "${incomplete[0]}" ] && ! cmp -s mail-before-held.ksb "$backups/mail.ksb"; then
    pass held-complete-run-removes-the-incomplete-archive
else
    fail held-complete-run-removes-the-incomplete-archive
    ls "$backups"
fi
verify held-mail-verifies "$backups/mail.ksb"

# Removing a job removes its password.
check remove-1 0 run_tool schedule remove 1
if [ ! -e "$secret" ]; then pass remove-removes-password; else fail remove-removes-password; fi
[ "$failures" -eq 0 ]
