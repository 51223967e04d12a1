#!/usr/bin/env bash
# The Windows setup program on a Wine machine nothing ran on before (CTest windows-installer
# gives it a fresh prefix of its own and an Xvfb display):
#   - a silent install for the current user (/S): the programs, the Start menu shortcut, the
#     uninstall entry and the .ksb file type under HKCU\Software\Classes, where another
#     program's type for .ksb is kept for the uninstall;
#   - a protected backup file opened through its file type (`start`): the program asks for its
#     password (password-prompt.png in SCREENSHOTS), then shows the restore tab with that file
#     chosen (opened-from-file.png);
#   - setup and uninstall while Kestrel runs: both refuse (status 32) and change nothing;
#   - a silent uninstall (/S): all of that gone, the other program's .ksb type back; a backup,
#     kestrel.log and the Replaced folder in the user's folders still there;
#   - the same install and uninstall for all users (/S /ALLUSERS): Program Files and HKLM.
#   - a scheduled backup that reads held files from a shadow copy, added with the installed
#     kestrel.exe: refused for the per-user install (the message says why, the task runs at the
#     least privilege), given the highest run level for the all-users one.
#
#   scripts/installer-test.sh SETUP.exe PROBE.exe PROGRAMS_FOLDER SCREENSHOTS WORK_FOLDER
# PROBE is kestrel_window_probe.exe; PROGRAMS_FOLDER holds the kestrelbak.exe and kestrel.exe
# the setup program was built from. Runs inside scripts/wine-session.sh.
set -uo pipefail
setup=$1 probe=$2 programs=$3 shots=$4 work=$5
: "${WINEPREFIX:?WINEPREFIX must name the fresh prefix of this check}"
: "${DISPLAY:?the check opens a window: run it under xvfb-run}"
export WINEDEBUG=-all
rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"
version=$(basename "$setup" .exe)
version=${version#kestrel-setup-}

failed=0
pass() { echo "PASS $*"; }
fail() {
    echo "FAIL $*"
    failed=1
}
# check DESCRIPTION COMMAND...: PASS when the command succeeds, FAIL otherwise.
check() {
    if "${@:2}"; then pass "$1"; else fail "$1"; fi
}
run_wine() { timeout 180 wine "$@" >>"$work/wine.log" 2>&1; }

# The data of a value as `reg query` prints it; NAME "(Default)" is the key's default value.
reg_value() {
    local query=(/v "$2")
    [ "$2" = "(Default)" ] && query=(/ve)
    wine reg query "$1" "${query[@]}" 2>/dev/null | tr -d '\r' |
        awk -F'    ' -v name="$2" '$2 == name { data = $4; for (i = 5; i <= NF; i++) data = data FS $i; print data }'
}
expect_value() {
    local got
    got=$(reg_value "$1" "$2")
    if [ "$got" = "$3" ]; then
        pass "$1 $2 is $3"
    else
        fail "$1 $2 is '$got', expected '$3'"
    fi
}
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
# Whether a shortcut names PATH (its target is kept both as ANSI and as UTF-16 text).
shortcut_target() {
    local texts
    texts=$({ strings -a "$1" && strings -a -el "$1"; } 2>/dev/null)
    grep -qiF "$2" <<<"$texts"
}

user=$(id -un)
home="$WINEPREFIX/drive_c/users/$user"
home_win="C:\\users\\$user"
local_data="$home/AppData/Local/Kestrel"

# --- install for the current user ----------------------------------------------------------
# Another program had .ksb before: setup takes it over and the uninstall gives it back.
classes='HKCU\Software\Classes'
run_wine reg add "$classes\.ksb" /ve /d "Other.Archive" /f
run_wine reg add "$classes\Other.Archive\shell\open\command" /ve /d 'other.exe "%1"' /f
status=0
run_wine "$setup" /S || status=$?
check "setup /S ended with status 0 (status $status)" [ "$status" -eq 0 ]
folder="$home/AppData/Local/Programs/Kestrel"
folder_win="$home_win\\AppData\\Local\\Programs\\Kestrel"
for program in kestrelbak.exe kestrel.exe; do
    check "setup put the build's $program in %LOCALAPPDATA%\\Programs\\Kestrel" \
        cmp -s "$programs/$program" "$folder/$program"
done
check "setup wrote uninstall.exe beside them" test -f "$folder/uninstall.exe"
for template in Kestrel.admx en-US/Kestrel.adml; do
    check "setup put the administrative template PolicyDefinitions/$template beside them" \
        test -s "$folder/PolicyDefinitions/$template"
done
shortcut="$home/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Kestrel.lnk"
check "the user's Start menu has Kestrel.lnk, leading to the installed kestrelbak.exe" \
    shortcut_target "$shortcut" "Programs\\Kestrel\\kestrelbak.exe"

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel'
expect_value "$uninstall_key" DisplayName "Kestrel"
expect_value "$uninstall_key" DisplayVersion "$version"
expect_value "$uninstall_key" Publisher "Kestrel"
expect_value "$uninstall_key" InstallLocation "$folder_win"
expect_value "$uninstall_key" UninstallString "\"$folder_win\\uninstall.exe\""
expect_value "$uninstall_key" QuietUninstallString "\"$folder_win\\uninstall.exe\" /S"
expect_value "$uninstall_key" DisplayIcon "$folder_win\\kestrelbak.exe,0"
expect_value "$uninstall_key" PreviousKsbType "Other.Archive"
estimated=$(($(reg_value "$uninstall_key" EstimatedSize)))
# The files' bytes only: the folders setup makes (PolicyDefinitions) have no size of their own.
installed=$(($(find "$folder" -type f -printf '%s\n' | awk '{ total += $1 } END { print total }') / 1024))
check "EstimatedSize $estimated KiB is what setup put there ($installed KiB)" \
    [ "$estimated" -ge $((installed - 2)) -a "$estimated" -le $((installed + 2)) ]

command="\"$folder_win\\kestrelbak.exe\" \"%1\""
expect_value "$classes\\.ksb" "(Default)" "Kestrel.Backup"
expect_value "$classes\\Kestrel.Backup" "(Default)" "Kestrel backup"
expect_value "$classes\\Kestrel.Backup\\DefaultIcon" "(Default)" "$folder_win\\kestrelbak.exe,0"
expect_value "$classes\\Kestrel.Backup\\shell\\open\\command" "(Default)" "$command"

# --- a scheduled backup that reads held files from a shadow copy ----------------------------
# The highest run level (an administrator's token) is given to a task only when its program
# lies where only administrators can write: a per-user install is told why not and its job
# runs at the least privilege. The machine gets a profile and the snapshot setting for the
# run, both taken away again (a machine without Outlook is what the window's checks expect).
# Wine's task store keeps no run level (it writes back only a task's description and settings):
# the level is read from Wine's trace of the task document as the scheduler parses it.
profiles='HKCU\Software\Microsoft\Windows NT\CurrentVersion\Windows Messaging Subsystem\Profiles'
tasks="$WINEPREFIX/drive_c/windows/system32/tasks/Kestrel"
per_user_refusal() {
    printf '%s' "kestrel: A shadow copy needs administrator rights, and a scheduled task is given" \
        " them only for a program installed for all users (in Program Files): any program you" \
        " run could replace Kestrel in $1 and have it run with those rights. The task closes" \
        " Outlook and starts it again instead."
}
# Whether a command's standard error, Wine's trace lines left out, names no shadow copy.
says_nothing_of_shadow_copies() { ! grep -av '^[0-9a-f]\{4\}:' "$1" | grep -q 'shadow copy'; }
# The RunLevel the scheduler read from the task document, as a +taskschd trace shows it.
traced_run_level() {
    grep -a -A1 'read_principal Element: L"RunLevel"' "$1" |
        sed -n 's/.*read_text_value L"\([A-Za-z]*\)".*/\1/p'
}
# shadow_copy_job LABEL PROGRAM_FOLDER RUN_LEVEL [MESSAGE]: kestrel schedule add from the
# installed program schedules the job at RUN_LEVEL and prints MESSAGE on standard error (or no
# word of a shadow copy); kestrel schedule remove takes the job away.
shadow_copy_job() {
    local label=$1 program="$2/kestrel.exe" level=$3 message=${4:-} status=0 id
    local out="$work/schedule ${label// /-}.out" err="$work/schedule ${label// /-}.err"
    mkdir -p "$home/Kestrel backups"
    run_wine reg add "$profiles\\Outlook\\0a0d020000000000c000000000000046" /v Name /d Outlook /f
    run_wine reg add 'HKCU\Software\Kestrel' /v WhenOutlookRuns /d snapshot /f
    WINEDEBUG=+taskschd timeout 180 wine "$program" schedule add --profile Outlook --items 1 \
        --daily --target "$home_win\\Kestrel backups\\job.ksb" </dev/null >"$out" 2>"$err" ||
        status=$?
    id=$(tr -d '\r' <"$out" | sed -n 's/^Task \([0-9]*\) has been scheduled\.$/\1/p')
    {
        echo "--- $label: kestrel schedule add (status $status)"
        tr -d '\r' <"$out"
        tr -d '\r' <"$err" | grep -av '^[0-9a-f]\{4\}:'
        echo "RunLevel read by the scheduler: $(traced_run_level "$err")"
    } >>"$work/shadow-copy.txt"
    check "$label: kestrel schedule add scheduled the job (status $status)" \
        [ "$status" -eq 0 -a -n "$id" ]
    if [ -n "$message" ]; then
        check "$label: kestrel schedule add said why it takes no shadow copy" \
            grep -qxF "$message" <(tr -d '\r' <"$err")
    else
        check "$label: kestrel schedule add said no word of a shadow copy" \
            says_nothing_of_shadow_copies "$err"
    fi
    check "$label: the job's task document asks for RunLevel $level" \
        [ "$(traced_run_level "$err")" = "$level" ]
    check "$label: the task is in Wine's task store" test -f "$tasks/Backup $id"
    status=0
    [ -z "$id" ] || run_wine "$program" schedule remove "$id" || status=$?
    check "$label: kestrel schedule remove $id took the task away (status $status)" \
        [ "$status" -eq 0 -a ! -e "$tasks/Backup $id" ]
    run_wine reg delete "$profiles" /f
    run_wine reg delete 'HKCU\Software\Kestrel' /v WhenOutlookRuns /f
}

shadow_copy_job "per user" "$folder" LeastPrivilege "$(per_user_refusal "$folder_win")"

# --- the user's own files, which no uninstall may touch -------------------------------------
backups="$home/Kestrel backups"
mkdir -p "$backups" "$work/backup"
printf '%s\r\n' "BackupComputer=OFFICE-PC" "BackupLogonUser=ann" \
    "BackupTime=12/01/2026 21:30:00" "BackupIdentity=Outlook" "Outlookversion=Outlook 2013" \
    'BackupInformation=WeeklyPS$KSBbefore the move' "BackupSignatures=Signatures" \
    "BackupItem=00001000000" >"$work/backup/ksbackup.dat"
printf 'Regards, Ann\r\n' >"$work/backup/Ann.txt"
# Protected (with zip's traditional encryption, which Kestrel reads): opened from the desktop it
# must ask for the password exactly as the Browse button's way does.
password='s3cret'
(cd "$work/backup" && zip -q -X -P "$password" "$backups/mail backup.ksb" ksbackup.dat Ann.txt)
backup_win="$home_win\\Kestrel backups\\mail backup.ksb"
cp "$backups/mail backup.ksb" "$work/backup.copy"
# kestrel.log as a scheduled job leaves it: the installed program's unattended run logs a line
# (this machine has no Outlook, so it writes no archive and ends with status 2).
status=0
run_wine "$folder/kestrelbak.exe" 'sf=x' || status=$?
check "the installed kestrelbak.exe ran unattended (status $status, 2 expected) and logged" \
    [ "$status" -eq 2 -a -s "$local_data/kestrel.log" ]
cp "$local_data/kestrel.log" "$work/log.copy" 2>/dev/null
mkdir -p "$local_data/Replaced/2026-12-01 21-30-00"
echo "kept by a restore" >"$local_data/Replaced/2026-12-01 21-30-00/Ann.txt"

# --- a double click on the backup ------------------------------------------------------------
# Wine's HKEY_CLASSES_ROOT is HKLM\Software\Classes alone: unlike Windows it does not lay the
# user's HKCU\Software\Classes over it, so `start` would not see a per-user file type. The
# user's keys, as setup wrote them (checked above), are copied there for the double click.
for key in .ksb Kestrel.Backup Kestrel.Backup\\DefaultIcon Kestrel.Backup\\shell\\open\\command; do
    run_wine reg add "HKLM\\Software\\Classes\\$key" /ve /d "$(reg_value "$classes\\$key" "(Default)")" /f
done
run_wine start /unix "$backups/mail backup.ksb"
# A fresh machine has no Outlook: the window's load says so first (a message box captioned
# "Kestrel"), and the file opens once it is answered. Without a window manager nothing gives
# the box the keyboard, so it is given it before Return.
boxes=""
for _ in $(seq 1 300); do
    boxes=$(xdotool search --name '^Kestrel$' 2>/dev/null) && [ -n "$boxes" ] && break
    sleep 0.2
done
check "the program started from the file showed the no-Outlook message" [ -n "$boxes" ]
for id in $boxes; do
    xdotool windowfocus "$id" 2>/dev/null
done
sleep 0.5
xdotool key Return
prompt=""
for _ in $(seq 1 300); do
    prompt=$(xdotool search --name '^Please enter password$' 2>/dev/null) && [ -n "$prompt" ] && break
    sleep 0.2
done
check "the backup opened from the desktop asked for its password" [ -n "$prompt" ]
for id in $prompt; do
    xdotool windowfocus "$id" 2>/dev/null
done
sleep 0.5
xdotool type --delay 50 "$password"
import -window root "$shots/password-prompt.png"
xdotool key Return
sleep 2
shown=$(timeout 120 wine "$probe" "Kestrel V2.90" 60 2>&1 | tr -d '\r')
sleep 1
import -window root "$shots/opened-from-file.png"
echo "$shown" >"$work/window.txt"
check "the window opened from the file shows the Restore tab" grep -qx 'tab 1' <<<"$shown"
check "the restore tab's source box holds $backup_win" grep -qxF "edit $backup_win" <<<"$shown"
shows_backup_texts() {
    grep -qx 'edit Computer:OFFICE-PC' <<<"$shown" && grep -qx 'Profile:Outlook' <<<"$shown" &&
        grep -qx 'before the move' <<<"$shown"
}
check "the restore tab shows the backup's facts and description" shows_backup_texts

# --- setup and uninstall while Kestrel runs ----------------------------------------------------
# A running program's file cannot be replaced or removed: both refuse before they change
# anything. The uninstaller runs in place (_?=), so that its own status is the one seen.
status=0
run_wine "$setup" /S || status=$?
check "setup /S while Kestrel runs refused with status 32 (status $status)" [ "$status" -eq 32 ]
status=0
run_wine "$folder/uninstall.exe" /S "_?=$folder_win" || status=$?
check "uninstall /S while Kestrel runs refused with status 32 (status $status)" [ "$status" -eq 32 ]
for program in kestrelbak.exe kestrel.exe; do
    check "$program is still the build's after both refusals" \
        cmp -s "$programs/$program" "$folder/$program"
done
expect_value "$uninstall_key" DisplayName "Kestrel"
expect_value "$classes\\.ksb" "(Default)" "Kestrel.Backup"
timeout 60 wine "$probe" "Kestrel V2.90" 5 --close >/dev/null 2>&1
# The program runs on for a moment after its window is gone, and a running program cannot be
# deleted: the uninstall would leave it. Wait until no program of the prefix runs.
timeout 60 wineserver -w
check "the program opened from the file ended after its window closed" \
    [ -z "$(xdotool search --name '^Kestrel V2.90$' 2>/dev/null)" ]
for key in Kestrel.Backup .ksb; do
    run_wine reg delete "HKLM\\Software\\Classes\\$key" /f
done

# --- uninstall for the current user ----------------------------------------------------------
# The uninstaller runs on from a copy of itself in %TEMP%: wait for the machine to go idle.
status=0
run_wine "$folder/uninstall.exe" /S || status=$?
wineserver -w
check "uninstall /S ended with status 0 (status $status)" [ "$status" -eq 0 ]
check "uninstall removed the program folder" test ! -e "$folder"
check "uninstall removed the Start menu shortcut" test ! -e "$shortcut"
check "uninstall removed the uninstall entry" key_absent "$uninstall_key"
check "uninstall removed $classes\\Kestrel.Backup" key_absent "$classes\\Kestrel.Backup"
expect_value "$classes\\.ksb" "(Default)" "Other.Archive"
check "the user's backup is still there, unchanged" cmp -s "$work/backup.copy" "$backups/mail backup.ksb"
check "kestrel.log is still there, unchanged" cmp -s "$work/log.copy" "$local_data/kestrel.log"
check "the Replaced folder is still there" test -f "$local_data/Replaced/2026-12-01 21-30-00/Ann.txt"

# --- install and uninstall for all users ----------------------------------------------------
status=0
run_wine "$setup" /S /ALLUSERS || status=$?
check "setup /S /ALLUSERS ended with status 0 (status $status)" [ "$status" -eq 0 ]
machine="$WINEPREFIX/drive_c/Program Files/Kestrel"
machine_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kestrel'
for program in kestrelbak.exe kestrel.exe; do
    check "setup /ALLUSERS put the build's $program in Program Files\\Kestrel" \
        cmp -s "$programs/$program" "$machine/$program"
done
common_shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Kestrel.lnk"
check "the all-users Start menu has Kestrel.lnk" test -f "$common_shortcut"
expect_value "$machine_key" UninstallString "\"C:\\Program Files\\Kestrel\\uninstall.exe\" /ALLUSERS"
expect_value 'HKLM\Software\Classes\Kestrel.Backup\shell\open\command' "(Default)" \
    "\"C:\\Program Files\\Kestrel\\kestrelbak.exe\" \"%1\""
check "setup /ALLUSERS wrote no per-user entry" key_absent "$uninstall_key"
shadow_copy_job "all users" "$machine" HighestAvailable
status=0
run_wine "$machine/uninstall.exe" /ALLUSERS /S || status=$?
wineserver -w
check "uninstall /ALLUSERS /S removed the folder and the shortcut" \
    test ! -e "$machine" -a ! -e "$common_shortcut"
check "uninstall /ALLUSERS /S removed the uninstall entry" key_absent "$machine_key"
check "uninstall /ALLUSERS /S removed the file type" key_absent 'HKLM\Software\Classes\Kestrel.Backup'

wineserver -k >/dev/null 2>&1
# A Wine prefix takes some 700 MB: kept only to look into a failure.
if [ "$failed" -eq 0 ]; then
    rm -rf "$WINEPREFIX"
fi
exit "$failed"
