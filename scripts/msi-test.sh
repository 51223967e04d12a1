#!/usr/bin/env bash
# The Windows Installer package on a Wine machine nothing ran on before (CTest windows-msi gives
# it a fresh prefix of its own and an Xvfb display), through Wine's own msiexec:
#   - `msiexec /i kestrel.msi /qn` with policy properties: the programs in Program Files, the
#     administrative templates beside them, the Start menu shortcut, the .ksb file type, one
#     uninstall entry, and the policies given (and only those) under HKLM\Software\Policies;
#   - the installed program runs (an unattended run logs its line) and a backup file opens in
#     it through its file type (opened-from-msi.png in SCREENSHOTS);
#   - an upgrade from the package before (the same package as version 2.89.0, built here from
#     the same source) leaves one uninstall entry, of the new version;
#   - `msiexec /x` removes all of that and leaves the user's backup, kestrel.log and the
#     Replaced folder;
#   - `ALLUSERS=""` installs for the current user alone (file type and policies under HKCU).
#
#   scripts/msi-test.sh PACKAGE.msi WXS STAGE_FOLDER PROBE.exe SCREENSHOTS WORK_FOLDER
# STAGE_FOLDER is where the package's files were staged (packaging/CMakeLists.txt); PROBE is
# kestrel_window_probe.exe. Runs inside scripts/wine-session.sh.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
package=$(realpath "$1") wxs=$(realpath "$2") stage=$(realpath "$3") probe=$4 shots=$5 work=$6
: "${WINEPREFIX:?WINEPREFIX must name the fresh prefix of this check}"
: "${DISPLAY:?the check opens a window: run it under xvfb-run}"
export WINEDEBUG=-all
rm -rf "$work" "$shots"
mkdir -p "$work" "$shots"

failed=0
pass() { echo "PASS $*"; }
fail() {
    echo "FAIL $*"
    failed=1
}
check() {
    if "${@:2}"; then pass "$1"; else fail "$1"; fi
}
for program in wine wineserver wixl msiinfo msibuild xdotool import; do
    command -v "$program" >/dev/null || {
        fail "$program is not installed (scripts/install-deps.sh installs it)"
        exit 1
    }
done
run_wine() { timeout 300 wine "$@" >>"$work/wine.log" 2>&1; }
reg_value() {
    local query=(/v "$2")
    [ "$2" = "(Default)" ] && query=(/ve)
    wine reg query "$1" "${query[@]}" 2>/dev/null | tr -d '\r' |
        awk -F'    ' -v name="$2" '$2 == name { data = $4; for (i = 5; i <= NF; i++) data = data FS $i; print data }'
}
expect_value() {
    local got
    got=$(reg_value "$1" "$2")
    if [ "$got" = "$3" ]; then pass "$1 $2 is $3"; else fail "$1 $2 is '$got', expected '$3'"; fi
}
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
value_absent() { ! wine reg query "$1" /v "$2" >/dev/null 2>&1; }
# The uninstall entries named Kestrel, as "DisplayVersion" values, one a line.
uninstall_entries() {
    local root
    for root in 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'; do
        wine reg query "$root" 2>/dev/null | tr -d '\r' | grep -i '\\Uninstall\\' |
            while IFS= read -r key; do
                [ "$(reg_value "$key" DisplayName)" = Kestrel ] && reg_value "$key" DisplayVersion
            done
    done
}

user=$(id -un)
home="$WINEPREFIX/drive_c/users/$user"
local_data="$home/AppData/Local/Kestrel"
folder="$WINEPREFIX/drive_c/Program Files/Kestrel"
folder_win='C:\Program Files\Kestrel'
policies='HKLM\Software\Policies\Kestrel'
run_wine wineboot -i
wineserver -w

# --- the package before, for the upgrade --------------------------------------------------
previous="$work/kestrel-2.89.0.msi"
(cd "$stage" && wixl -a x64 -D Version=2.89 -D FileVersion=2.89.0 -D Kestrelbak=kestrelbak.exe \
    -D Kestrel=kestrel.exe -D Icon=kestrel.ico -D Policies=PolicyDefinitions -o "$previous" \
    "$wxs") >>"$work/wixl.log" 2>&1 && "$here/packaging/msi-tables.sh" "$previous" >>"$work/wixl.log" 2>&1
check "the package before (2.89.0) was built from the same source" test -f "$previous"
code() { msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'; }
check "both packages share one upgrade code" \
    [ -n "$(code "$package" UpgradeCode)" -a "$(code "$package" UpgradeCode)" = "$(code "$previous" UpgradeCode)" ]

status=0
run_wine msiexec /i "$(winepath -w "$previous")" /qn KEEP=2 || status=$?
check "msiexec /i of the package before ended with status 0 (status $status)" [ "$status" -eq 0 ]
check "the package before left one uninstall entry, 2.89.0" [ "$(uninstall_entries)" = "2.89.0" ]

# --- install for every user, silently, with policies (an upgrade of the one before) --------
status=0
run_wine msiexec /i "$(winepath -w "$package")" /qn 'TARGET=%USERPROFILE%\Backups\%COMPUTERNAME%.ksb' \
    KEEP=4 ALLOWRESTORE=0 WHENOUTLOOKRUNS=skip || status=$?
check "msiexec /i /qn ended with status 0 (status $status)" [ "$status" -eq 0 ]
version=$(code "$package" ProductVersion)
check "the upgrade left one uninstall entry, $version" [ "$(uninstall_entries)" = "$version" ]
for program in kestrelbak.exe kestrel.exe; do
    check "the package put the build's $program in Program Files\\Kestrel" \
        cmp -s "$stage/$program" "$folder/$program"
done
check "the templates are installed beside the programs" \
    test -f "$folder/PolicyDefinitions/Kestrel.admx" -a -f "$folder/PolicyDefinitions/en-US/Kestrel.adml"
shortcut=$(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Kestrel.lnk' | head -1)
check "a Start menu has Kestrel.lnk ($shortcut)" [ -n "$shortcut" ]
classes='HKLM\Software\Classes'
expect_value "$classes\\.ksb" "(Default)" "Kestrel.Backup"
expect_value "$classes\\Kestrel.Backup" "(Default)" "Kestrel backup"
expect_value "$classes\\Kestrel.Backup\\DefaultIcon" "(Default)" "$folder_win\\kestrelbak.exe,0"
expect_value "$classes\\Kestrel.Backup\\shell\\open\\command" "(Default)" \
    "\"$folder_win\\kestrelbak.exe\" \"%1\""
expect_value "$policies" Target '%USERPROFILE%\Backups\%COMPUTERNAME%.ksb'
expect_value "$policies" Keep 0x4
expect_value "$policies" AllowRestore 0x0
expect_value "$policies" WhenOutlookRuns skip
for name in Days Time Differential Items PasswordRequired VerifyAfterWriting AllowDisc; do
    check "no $name policy: its property was not given" value_absent "$policies" "$name"
done

# --- the program runs, and a backup opens in it through its file type ----------------------
status=0
# This machine has no Outlook: the run writes no archive, ends with status 2 and logs why.
run_wine "$folder/kestrelbak.exe" 'sf=Outlookxm=1ps=bf=C:\job.ksb' || status=$?
check "the installed kestrelbak.exe ran unattended (status $status, 2 expected) and logged" \
    [ "$status" -eq 2 -a -s "$local_data/kestrel.log" ]
check "its log line names the policies the package set" \
    grep -q -F 'policy Target=' "$local_data/kestrel.log"
backups="$home/Kestrel backups"
mkdir -p "$backups" "$work/backup"
printf '%s\r\n' "BackupComputer=OFFICE-PC" "BackupLogonUser=ann" \
    "BackupTime=12/01/2026 21:30:00" "BackupIdentity=Outlook" "Outlookversion=Outlook 2013" \
    'BackupInformation=WeeklyPS$KSBfrom the msi' "BackupSignatures=Signatures" \
    "BackupItem=00001000000" >"$work/backup/ksbackup.dat"
printf 'Regards, Ann\r\n' >"$work/backup/Ann.txt"
(cd "$work/backup" && zip -q -X "$backups/mail backup.ksb" ksbackup.dat Ann.txt)
cp "$backups/mail backup.ksb" "$work/backup.copy"
cp "$local_data/kestrel.log" "$work/log.copy" 2>/dev/null
mkdir -p "$local_data/Replaced/2026-12-01 21-30-00"
echo "kept by a restore" >"$local_data/Replaced/2026-12-01 21-30-00/Ann.txt"
run_wine start /unix "$backups/mail backup.ksb"
boxes=""
for _ in $(seq 1 300); do
    boxes=$(xdotool search --name '^Kestrel$' 2>/dev/null) && [ -n "$boxes" ] && break
    sleep 0.2
done
check "the program started from the file showed the no-Outlook message" [ -n "$boxes" ]
for id in $boxes; do xdotool windowfocus "$id" 2>/dev/null; done
sleep 0.5
xdotool key Return
sleep 2
shown=$(timeout 120 wine "$probe" "Kestrel V2.90" 60 2>&1 | tr -d '\r')
import -window root "$shots/opened-from-msi.png"
check "the window opened from the file shows the Restore tab" grep -qx 'tab 1' <<<"$shown"
check "the restore tab's source box holds the backup" \
    grep -qxF "edit C:\\users\\$user\\Kestrel backups\\mail backup.ksb" <<<"$shown"
timeout 60 wine "$probe" "Kestrel V2.90" 5 --close >/dev/null 2>&1
timeout 60 wineserver -w

# --- uninstall --------------------------------------------------------------------------------
status=0
run_wine msiexec /x "$(winepath -w "$package")" /qn || status=$?
wineserver -w
check "msiexec /x /qn ended with status 0 (status $status)" [ "$status" -eq 0 ]
check "msiexec /x removed the program folder" test ! -e "$folder"
check "msiexec /x removed the shortcut" test ! -e "$shortcut"
check "msiexec /x removed the uninstall entry" [ -z "$(uninstall_entries)" ]
check "msiexec /x removed the file type" key_absent "$classes\\Kestrel.Backup"
for name in Target Keep AllowRestore WhenOutlookRuns; do
    check "msiexec /x removed the $name policy it set" value_absent "$policies" "$name"
done
check "the user's backup is still there, unchanged" cmp -s "$work/backup.copy" "$backups/mail backup.ksb"
check "kestrel.log is still there" test -s "$local_data/kestrel.log"
check "the Replaced folder is still there" test -f "$local_data/Replaced/2026-12-01 21-30-00/Ann.txt"

# --- install for the current user alone -------------------------------------------------------
# Wine's msiexec takes ALLUSERS=2 as a per-machine install whatever MSIINSTALLPERUSER says, so
# the per-user install is asked for as Windows Installer has always known it, ALLUSERS="". Its
# uninstall removes the program but (under Wine) leaves the per-user registry values behind:
# only the install is checked here.
status=0
run_wine msiexec /i "$(winepath -w "$package")" /qn 'ALLUSERS=""' KEEP=5 || status=$?
check "msiexec /i ALLUSERS=\"\" ended with status 0 (status $status)" [ "$status" -eq 0 ]
expect_value 'HKCU\Software\Classes\.ksb' "(Default)" "Kestrel.Backup"
expect_value 'HKCU\Software\Policies\Kestrel' Keep 0x5
check "the per-user install wrote no machine file type" key_absent "$classes\\Kestrel.Backup"
check "the per-user install wrote no machine policy" key_absent "$policies"
status=0
run_wine msiexec /x "$(winepath -w "$package")" /qn || status=$?
wineserver -w
check "the per-user uninstall removed the program" test ! -e "$folder/kestrelbak.exe"

wineserver -k >/dev/null 2>&1
if [ "$failed" -eq 0 ]; then
    rm -rf "$WINEPREFIX"
fi
exit "$failed"
