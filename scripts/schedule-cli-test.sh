#!/usr/bin/env bash
# `kestrel schedule` of the Linux build on a freshly made copy of the sample machine
# outlook2013-win7, with the job run the way its scheduler would run it:
# - crontab: with a stand-in `crontab` first on PATH that keeps the table in a scratch file, and
#   a `systemctl` that fails as it does where no user manager answers. A job is added for the
#   next minute with a password and an archive path full of blanks, quotes, %, $ and non-ASCII
#   text; its command line is taken back out of the table and replayed as cron runs it (the five
#   time fields cut off, cron's % rule, then `sh -c` in cron's bare environment). The archive
#   must exist and pass `kestrel archive verify`, and the unattended backup's log line must
#   show status 0. Removing the jobs leaves the table's other lines byte for byte.
# - systemd: with a `systemctl` that answers, the generated units must pass
#   `systemd-analyze verify` without a word, OnCalendar= must name the chosen time for
#   `systemd-analyze calendar`, and ExecStart= with Environment=, unquoted the way systemd
#   unquotes them, must run the same backup. Removing the job removes both units.
# The replay, not a cron daemon, runs the jobs: waiting for a daemon's minute makes a slow and
# flaky check, and the replay runs exactly the text the daemon would.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/schedule-cli-test.sh linux KESTREL_TOOL KESTRELBAK WORK_FOLDER
# Linux only: the checks are named without the system.
check_prefix=
check_name=schedule-cli-test
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
if [ "$system" != linux ]; then
    echo "FAIL the scheduled jobs of the Windows build are not checked here"
    exit 1
fi
for program in sh env date systemd-analyze; do
    if ! command -v "$program" >/dev/null; then
        echo "FAIL $program is not installed (scripts/install-deps.sh installs it)"
        exit 1
    fi
done
log=$(env_path drive_c/Users/bob/AppData/Local/Kestrel/kestrel.log)
# The units go here, never into the user's own folder.
export XDG_CONFIG_HOME="$work/config"
units="$XDG_CONFIG_HOME/systemd/user"
# systemd-analyze --user keeps sockets in the runtime folder: its path must stay short.
runtime=$(mktemp -d /tmp/kestrel-runtime-XXXXXX)
trap 'rm -rf "$runtime"' EXIT
export XDG_RUNTIME_DIR="$runtime"

# --- Stand-ins first on PATH ------------------------------------------------------------------
mkdir -p bin
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
systemctl_without_manager() {
    printf '#!/bin/sh\necho "Failed to connect to bus: No medium found" >&2\nexit 1\n' >bin/systemctl
}
systemctl_answering() {
    printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\n' "$work/systemctl.log" >bin/systemctl
}
chmod +x bin/crontab
systemctl_without_manager
chmod +x bin/systemctl

# The backup a replayed job made: the archive, its verification and the log line it added (in
# UTF-8, lines ended by CR LF).
check_run() {  # name, archive as the job names it, the file, password, log lines before the run
    local name=$1 target=$2 archive=$3 password=$4 before=$5
    if [ -f "$archive" ]; then pass "$name-archive"; else fail "$name-archive: no $archive"; fi
    stdin_text="$password"$'\n' check "$name-archive-verify" 0 run_tool archive verify \
        "$archive" --password-stdin
    tr -d '\r' <"$log" >log.txt
    if [ "$(wc -l <log.txt)" -eq $((before + 1)) ] &&
        tail -1 log.txt | grep -q -E $'\tstatus 0: written$' &&
        tail -1 log.txt | grep -q -F $'\tarchive '"$target"$'\t' &&
        ! grep -q -F "$password" log.txt; then
        pass "$name-log-line"
    else
        fail "$name-log-line: $log after $before lines:"
        cat "$log"
    fi
}
log_lines() { if [ -f "$log" ]; then wc -l <"$log"; else echo 0; fi; }

# The next minute, and cron's fields for it.
when=$(date -d '+1 minute' +%H:%M)
minute=$((10#${when#*:}))
hour=$((10#${when%:*}))
# shellcheck disable=SC2016 # the password holds what a shell would expand
password='pa ss '\''q'\'' "d" 100% $HOME $(id) `id` \ \% \\ Jürgen'
# The job of the crontab writes to a Windows path, the timer's to a path of this system (where a
# backslash would be a separator of the Windows side, so there is none).
mkdir -p "$(env_path 'drive_c/Users/bob/Documents/Ablage für Jürgen')" "$work/Ablage für Jürgen"
# shellcheck disable=SC2016 # a literal $HOME
cron_target='C:\Users\bob\Documents\Ablage für Jürgen\it'\''s 100% $HOME (1).ksb'
cron_archive=$(env_path "drive_c/Users/bob/Documents/Ablage für Jürgen/it's 100% \$HOME (1).ksb")
archive="$work/Ablage für Jürgen/it's \"100%\" \$HOME.ksb"

# --- The crontab ----------------------------------------------------------------------------
# The user's own lines, kept byte for byte.
printf 'MAILTO=ann\n# nightly\n0 3 * * * updatedb \\%% 50%%\n\n \t\n30 4 * * 0 echo done\n' \
    >user-crontab
cp user-crontab user-crontab.before

stdin_text="$password"$'\n' check cron-add 0 run_tool schedule add --profile outlook \
    --items 111111111 --daily --time "$when" --target "$cron_target" --password-stdin
check_output cron-add-says-task-1 "Task 1 has been scheduled." cron-add.out
stdin_text='' check cron-add-second 0 run_tool schedule add --profile Outlook --items 000000001 \
    --days mon,fri --target 'C:\Users\bob\Documents\weekly.ksb'
check_output cron-add-says-task-2 "Task 2 has been scheduled." cron-add-second.out
stdin_text='' check cron-add-refused 1 run_tool schedule add --profile Outlook --items 1 \
    --daily --target "$work/a=b.ksb"
check_output cron-add-refused-says-why \
    'kestrel: Profile, password and backup file must not contain "=".' cron-add-refused.err

stdin_text='' check cron-list 0 run_tool schedule list
tr -s ' ' <cron-list.out >cron-list.words
check_output cron-list-first "1 Outlook 111111111 yes 1 daily $hour:${when#*:} - $cron_target" \
    cron-list.words
check_output cron-list-second \
    "2 Outlook 000000001 no 1 mon,fri 9:00 - C:\\Users\\bob\\Documents\\weekly.ksb" cron-list.words
stdin_text='' check cron-list-json 0 run_tool schedule list --json
if grep -q -F '"id": 2, "readable": true, "profile": "Outlook", "items": "000000001", "protected": false, "keep": 1, "days": ["mon","fri"], "time": "9:00"' cron-list-json.out; then
    pass cron-list-json-fields
else
    fail cron-list-json-fields
    cat cron-list-json.out
fi

# The entry of job 1: the line after its mark.
entry=$(grep -A1 -x -E '# kestrel-job 1 .*' user-crontab | tail -1)
read -r f1 f2 f3 f4 f5 command <<<"$entry"
if [ "$f1 $f2 $f3 $f4 $f5" = "$minute $hour * * 1,2,3,4,5,6,7" ]; then
    pass cron-time-fields
else
    fail "cron-time-fields: $f1 $f2 $f3 $f4 $f5 for $when daily"
fi
# Cron's % rule: a backslash takes the next character as it is and is dropped before a %; the
# first other % ends the command, and what follows is its standard input, each % a line break.
shell_command='' input='' escaped=0 in_input=0
while IFS= read -r -n1 -d '' c; do
    if [ "$in_input" -eq 1 ]; then
        [ "$c" = % ] && input+=$'\n' || input+=$c
    elif [ "$escaped" -eq 1 ]; then
        [ "$c" = % ] && shell_command=${shell_command%?}
        shell_command+=$c
        escaped=0
    elif [ "$c" = % ]; then
        in_input=1
    else
        [ "$c" = "\\" ] && escaped=1
        shell_command+=$c
    fi
done < <(printf '%s' "$command")
if [ -n "$input" ]; then fail "cron-command-has-no-input: $input"; fi
if [ "$(printf '%s' "$shell_command" | head -c 13)" = "KESTREL_HOME=" ]; then
    pass cron-sets-kestrel-home
else
    fail "cron-sets-kestrel-home: $shell_command"
fi
before=$(log_lines)
# Cron's environment: HOME, LOGNAME, PATH and SHELL, nothing else.
env -i HOME="$HOME" LOGNAME="$(id -un)" PATH=/usr/bin:/bin SHELL=/bin/sh \
    /bin/sh -c "$shell_command" </dev/null >cron-run.out 2>&1
status=$?
if [ "$status" -eq 0 ]; then pass cron-run; else fail "cron-run (exit status $status)" && cat cron-run.out; fi
check_run cron-run "$cron_target" "$cron_archive" "$password" "$before"

stdin_text='' check cron-remove-1 0 run_tool schedule remove 1
check_output cron-remove-1-says-so "Task 1 has been removed." cron-remove-1.out
stdin_text='' check cron-remove-1-again 1 run_tool schedule remove 1
check_output cron-remove-1-again-says-why \
    'kestrel: Task 1 cannot be removed: the scheduler holds no such job of ours' \
    cron-remove-1-again.err
stdin_text='' check cron-list-after-remove 0 run_tool schedule list
if [ "$(grep -c -E '^[0-9]' cron-list-after-remove.out)" -eq 1 ] &&
    grep -q -E '^2 ' cron-list-after-remove.out; then
    pass cron-list-after-remove-holds-job-2
else
    fail cron-list-after-remove-holds-job-2
    cat cron-list-after-remove.out
fi
# Job 2's command line changed by hand (its time): no longer told from a line of the user's,
# so nothing is removed, and the tool says why.
cp user-crontab user-crontab.job2
sed -i '/^# kestrel-job 2 /{n;s/^0 9 /5 9 /}' user-crontab
cp user-crontab user-crontab.edited
stdin_text='' check cron-remove-edited 1 run_tool schedule remove 2
check_output cron-remove-edited-says-why \
    'kestrel: Task 2 cannot be removed: the crontab holds its mark line but not the command line this program wrote below it (changed by hand?); nothing was changed: crontab -e edits the crontab' \
    cron-remove-edited.err
if cmp -s user-crontab user-crontab.edited; then
    pass cron-remove-edited-changes-nothing
else
    fail cron-remove-edited-changes-nothing
    diff user-crontab.edited user-crontab
fi
# A line of the user's right after job 2's mark stays; the job's own two lines go.
cp user-crontab.job2 user-crontab
user_line='0 9 * * 1,5 /home/ann/bin/sync-mail'
sed -i "/^# kestrel-job 2 /a $user_line" user-crontab
printf '%s\n' "$user_line" >>user-crontab.before
stdin_text='' check cron-remove-2 0 run_tool schedule remove 2
if cmp -s user-crontab user-crontab.before; then
    pass cron-other-lines-kept
else
    fail cron-other-lines-kept
    diff user-crontab.before user-crontab
fi

# --- The systemd timer ----------------------------------------------------------------------
systemctl_answering
# Two minutes ahead: the next elapse systemd names must not depend on a minute changing now.
when=$(date -d '+2 minutes' +%H:%M)
stdin_text="$password"$'\n' check systemd-add 0 run_tool schedule add --profile Outlook \
    --items 111111111 --daily --time "$when" --target "$archive" --password-stdin
check_output systemd-add-says-task-1 "Task 1 has been scheduled." systemd-add.out
service="$units/kestrel-backup-1.service"
timer="$units/kestrel-backup-1.timer"
if systemd-analyze --user verify "$service" "$timer" >verify.out 2>&1 && [ ! -s verify.out ]; then
    pass systemd-verify
else
    fail systemd-verify
    cat verify.out
fi
calendar=$(sed -n 's/^OnCalendar=//p' "$timer")
if systemd-analyze calendar "$calendar" >calendar.out 2>&1; then
    next=$(sed -n 's/^ *Next elapse: //p' calendar.out)
    expected=$(date -d "$when" +%s)
    [ "$expected" -ge "$(date +%s)" ] || expected=$(date -d "tomorrow $when" +%s)
    if [ "$(date -d "$next" +%s)" = "$expected" ]; then
        pass systemd-calendar
    else
        fail "systemd-calendar: $calendar comes next at $next, not at $when"
    fi
else
    fail "systemd-calendar: $calendar"
    cat calendar.out
fi

# The words systemd makes of an ExecStart= (or, with "plain", an Environment=) value: quotes,
# backslash escapes, "%%", and "$$" where variables are expanded. One word a line, NUL-ended.
systemd_words() {  # exec|plain, value
    local mode=$1 value=$2 word='' in_word=0 quote='' i c next
    for ((i = 0; i < ${#value}; i++)); do
        c=${value:i:1}
        next=${value:i+1:1}
        if [ "$c" = '%' ] || { [ "$c" = '$' ] && [ "$mode" = exec ]; }; then
            [ "$next" = "$c" ] || return 1
            word+=$c
            i=$((i + 1))
            in_word=1
        elif [ "$c" = "\\" ]; then
            i=$((i + 1))
            case $next in
                \\ | \" | \' | ' ') word+=$next ;;
                n) word+=$'\n' ;;
                t) word+=$'\t' ;;
                x) printf -v c '%b' "\\x${value:i+1:2}" && word+=$c && i=$((i + 2)) ;;
                *) return 1 ;;
            esac
            in_word=1
        elif [ -n "$quote" ]; then
            if [ "$c" = "$quote" ]; then quote=''; else word+=$c; fi
        elif [ "$c" = '"' ] || [ "$c" = "'" ]; then
            quote=$c
            in_word=1
        elif [ "$c" = ' ' ]; then
            [ "$in_word" -eq 1 ] && printf '%s\0' "$word"
            word='' in_word=0
        else
            word+=$c
            in_word=1
        fi
    done
    [ -z "$quote" ] || return 1
    [ "$in_word" -eq 0 ] || printf '%s\0' "$word"
}
exec_words=()
while IFS= read -r -d '' word; do exec_words+=("$word"); done < <(
    systemd_words exec "$(sed -n 's/^ExecStart=//p' "$service")")
environment=$(systemd_words plain "$(sed -n 's/^Environment=//p' "$service")" | tr -d '\0')
if [ "${#exec_words[@]}" -eq 2 ] && [ "${exec_words[0]}" = "$bak" ] &&
    [ "$environment" = "KESTREL_HOME=$KESTREL_HOME" ]; then
    pass systemd-exec-start
else
    fail "systemd-exec-start: ${exec_words[*]} with $environment"
fi
before=$(log_lines)
env -i HOME="$HOME" PATH=/usr/bin:/bin "$environment" "${exec_words[@]}" </dev/null \
    >systemd-run.out 2>&1
status=$?
if [ "$status" -eq 0 ]; then pass systemd-run; else fail "systemd-run (exit status $status)" && cat systemd-run.out; fi
check_run systemd-run "$archive" "$archive" "$password" "$before"

stdin_text='' check systemd-remove 0 run_tool schedule remove 1
if [ -z "$(ls -A "$units")" ] &&
    grep -q -x -F -- '--user disable --now kestrel-backup-1.timer' systemctl.log; then
    pass systemd-remove-removes-units
else
    fail "systemd-remove-removes-units: $(ls -A "$units")"
    cat systemctl.log
fi
[ "$failures" -eq 0 ]
