#!/usr/bin/env bash
# The administrator's policies (HKEY_LOCAL_MACHINE\Software\Policies\Kestrel, then the user's
# HKEY_CURRENT_USER\Software\Policies\Kestrel) on a fresh copy of the sample machine
# outlook2013-win7, seeded with `kestrel reg import` as a template or the installer writes them:
#   - kestrel backup, schedule, restore and disc refuse an option that overrides a policy, with
#     their exit status and the message naming the value the administrator set;
#   - the unattended run (kestrelbak ARGUMENT-TEXT) writes where, what and how many the policies
#     say, not what its job says, and its log line names the policies it followed;
#   - a policy requiring a password stops a job without one: status 2, nothing written.
# Prints one "PASS name" or "FAIL name" line per check; a table of every refusal is left in
# WORK_FOLDER/refusals.txt.
#   scripts/policy-cli-test.sh linux KESTREL_TOOL KESTRELBAK WORK_FOLDER
#   scripts/policy-cli-test.sh windows KESTREL_EXE KESTRELBAK_EXE WORK_FOLDER
check_name=policy-cli-test
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
documents=$(env_path drive_c/Users/bob/Documents)
if [ "$system" = linux ]; then
    log=$(env_path drive_c/Users/bob/AppData/Local/Kestrel/kestrel.log)
else
    log="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Kestrel/kestrel.log"
fi

# A .reg file as `kestrel reg import` takes it on either system.
import_policies() {  # file, lines...
    local file=$1
    shift
    printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' "$@" >"$work/$file"
    local path="$work/$file"
    [ "$system" = linux ] || path=$(winepath -w "$path")
    if run_tool reg import "$path" >>seed.log 2>&1; then
        pass "$system-import-$file"
    else
        fail "$system-import-$file"
        cat seed.log
    fi
}

# refused NAME STATUS MESSAGE COMMAND...: the command ends with STATUS and prints MESSAGE on
# standard error (a line of its own), and the table gets a row.
refused() {
    local name=$1 expected=$2 message=$3 status=0
    shift 3
    "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" || status=$?
    if [ "$status" -eq "$expected" ] && tr -d '\r' <"$work/$name.err" | grep -q -x -F -- "$message"; then
        pass "$system-$name"
    else
        fail "$system-$name (exit status $status, expected $expected; '$message')"
        cat "$work/$name.out" "$work/$name.err"
    fi
    printf '%s\t%s\t%s\n' "$name" "$status" "$(tr -d '\r' <"$work/$name.err" | head -1)" \
        >>"$work/refusals.txt"
}

machine='HKEY_LOCAL_MACHINE\Software\Policies\Kestrel'
import_policies machine.reg "[$machine]" \
    '"Target"="%USERPROFILE%\\Documents\\policy.ksb"' '"Days"="mon,wed,fri"' '"Time"="07:15"' \
    '"Keep"=dword:00000002' '"Items"="100000000"' '"VerifyAfterWriting"=dword:00000000' \
    '"WhenOutlookRuns"="skip"' '"AllowRestore"=dword:00000000' '"AllowDisc"=dword:00000000' \
    '"Differential"=dword:00000001'
target='C:\Users\bob\Documents\policy.ksb'
: >"$work/refusals.txt"

# --- The command line refuses to override a policy ------------------------------------------
refused backup-items 2 \
    "kestrel backup: --items is set by your administrator to 100000000; nothing written" \
    run_tool backup --profile Outlook --items 111111111 "$target"
refused backup-archive 2 \
    "kestrel backup: the archive is set by your administrator to \"$target\"; nothing written" \
    run_tool backup --profile Outlook --items 1 'C:\Users\bob\Documents\mine.ksb'
refused backup-keep 2 \
    "kestrel backup: --keep is set by your administrator to 2; nothing written" \
    run_tool backup --profile Outlook --items 1 --keep 5 "$target"
refused backup-verify 2 \
    "kestrel backup: --verify is turned off by your administrator; nothing written" \
    run_tool backup --profile Outlook --items 1 --verify "$target"
refused backup-outlook-way 2 \
    "kestrel backup: --if-outlook-runs is set by your administrator to skip; nothing written" \
    run_tool backup --profile Outlook --items 1 --if-outlook-runs close "$target"
refused schedule-days 1 \
    "kestrel: --days is set by your administrator to M,W,F; nothing scheduled" \
    run_tool schedule add --profile Outlook --items 1 --daily --target "$target"
refused schedule-time 1 \
    "kestrel: --time is set by your administrator to 7:15; nothing scheduled" \
    run_tool schedule add --profile Outlook --items 1 --days mon,wed,fri --time 9:00 \
    --target "$target"
refused restore 2 \
    "kestrel restore: Restoring is turned off by your administrator. Nothing restored." \
    run_tool restore "$target" --profile Outlook --items 1
refused disc-write 2 "kestrel disc: Writing discs is turned off by your administrator." \
    run_tool disc write "$target" --drive 0
if [ -e "$documents/policy.ksb" ] || ls "$documents"/policy\ *.ksb >/dev/null 2>&1; then
    fail "$system-refusals-write-nothing"
else
    pass "$system-refusals-write-nothing"
fi
# What the policies allow runs, with the policies' keep: a dated generation.
check_backup() {
    local status=0
    run_tool backup --profile Outlook --items 1 "$target" >backup.out 2>backup.err || status=$?
    [ "$status" -eq 0 ] && ls "$documents"/policy\ *.ksb >/dev/null 2>&1
}
if check_backup; then
    pass "$system-backup-as-the-policies-say"
else
    fail "$system-backup-as-the-policies-say"
    cat backup.out backup.err
fi

# --- The unattended run follows the policies ------------------------------------------------
rm -f "$documents"/policy*.ksb
job='sf=Outlookxm=111111111ps=bf=C:\Users\bob\Documents\job.ksb'
status=0
run_bak "$job" || status=$?
line=$(tail -1 "$log" 2>/dev/null | tr -d '\r')
printf 'unattended\t%s\t%s\n' "$status" "$line" >>"$work/refusals.txt"
policy_field="policy Target=$target, Days=M,W,F, Time=7:15, Keep=2, Differential=1, Items=100000000, VerifyAfterWriting=0, AllowRestore=0, AllowDisc=0, WhenOutlookRuns=skip"
if [ "$status" -eq 0 ] && grep -q -F $'\t'"$policy_field"$'\t' <<<"$line" &&
    grep -q -F $'\tarchive C:\\Users\\bob\\Documents\\policy 2' <<<"$line"; then
    pass "$system-unattended-log-names-the-policies"
else
    fail "$system-unattended-log-names-the-policies (status $status): $line"
fi
if ls "$documents"/policy\ *.ksb >/dev/null 2>&1 && [ ! -e "$documents/job.ksb" ]; then
    pass "$system-unattended-writes-the-policy-target"
else
    fail "$system-unattended-writes-the-policy-target"
    ls -la "$documents"
fi

import_policies user.reg '[HKEY_CURRENT_USER\Software\Policies\Kestrel]' \
    '"PasswordRequired"=dword:00000001' '"Keep"=dword:00000009'
rm -f "$documents"/policy*.ksb
status=0
run_bak "$job" || status=$?
line=$(tail -1 "$log" 2>/dev/null | tr -d '\r')
printf 'unattended-password\t%s\t%s\n' "$status" "$line" >>"$work/refusals.txt"
if [ "$status" -eq 2 ] &&
    grep -q -F 'status 2: nothing written: your administrator requires a password and this job has none' <<<"$line" &&
    grep -q -F 'Keep=2,' <<<"$line" && ! ls "$documents"/policy*.ksb >/dev/null 2>&1; then
    pass "$system-unattended-password-required"
else
    fail "$system-unattended-password-required (status $status): $line"
fi

echo "--- refusals (name, exit status, message or log line)"
cat "$work/refusals.txt"
if [ "$failures" -eq 0 ] && [ "$system" = windows ]; then
    end_wine
    rm -rf "$WINEPREFIX"
fi
[ "$failures" -eq 0 ]
