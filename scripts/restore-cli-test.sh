#!/usr/bin/env bash
# `kestrel restore` of one build on a freshly made copy of the sample machine outlook2013-win7:
# the Linux tool on an environment root, or the Windows tool under Wine on a Wine prefix of its
# own. The profile "Outlook" is backed up with a password (`kestrel backup`), then restored into
# a second profile "Second" made as a copy of its key. Checks the report and status, each
# restored data file byte for byte against its source and the entries pointing at it, the rules
# file under the target's name, and that the Replaced folder holds what the restore replaced;
# then the runs that must restore nothing (status 2, nothing on the machine changed): a wrong or
# missing password, an unknown profile, no item, a file that is no backup. Last an archive of
# the unattended backup is restored into its own profile with the password on standard input.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/restore-cli-test.sh linux KESTREL_TOOL KESTRELBAK WORK_FOLDER
#   scripts/restore-cli-test.sh windows KESTREL_EXE KESTRELBAK_EXE WORK_FOLDER
# The windows form makes its own Wine prefix in WORK_FOLDER and needs the stand-in for Office's
# automation server, kestrel_office_stand_in.dll, from the Windows build's tests folder.
check_name=restore-cli-test
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
bob=$(env_path drive_c/Users/bob)
# Where the program keeps its data (the Replaced folders): the local application data of the
# user it runs as, the sample's user on Linux, Wine's own user under Wine.
if [ "$system" = linux ]; then
    kestrel_data="$bob/AppData/Local/Kestrel"
else
    kestrel_data="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Kestrel"
fi
outlook_local="$bob/AppData/Local/Microsoft/Outlook"
outlook_roaming="$bob/AppData/Roaming/Microsoft/Outlook"
outlook_key='HKEY_CURRENT_USER\Software\Microsoft\Office\15.0\Outlook'
profiles_key="$outlook_key\\Profiles"

check_bytes() {  # name, file, file: both exist and are byte for byte the same
    if [ -f "$2" ] && cmp -s "$2" "$3"; then
        pass "$system-$1"
    else
        fail "$system-$1: $2 is not $3"
    fi
}
# Every file of the user's folder and of the program's data folder with its size and time,
# every folder, and the Outlook keys: for "nothing changed". (Each run makes and removes its own
# run folder in the data folder.)
snapshot() {
    find "$bob" "$kestrel_data" -path "$kestrel_data/run-*" -prune -o -type d -printf '%p/\n' \
        -o -printf '%p %s %T@\n' 2>/dev/null | LC_ALL=C sort
    run_tool reg export "$outlook_key" "$work/keys.reg" >/dev/null 2>&1 &&
        tr -d '\0' <"$work/keys.reg"
}

# --- The second profile, and files the restore will replace -------------------------------
if run_tool reg export-tree "$profiles_key\\Outlook" profile.tree >reg.log 2>&1 &&
    run_tool reg import-tree "$profiles_key\\Second" profile.tree >>reg.log 2>&1; then
    pass "$system-second-profile-made"
else
    fail "$system-second-profile-made"
    cat reg.log
fi
mkdir -p "$outlook_local"
echo 'an older local copy' >"$outlook_local/bob@example.com.pst"
echo 'the rules Second had' >"$outlook_roaming/Second.RWZ"
cp "$outlook_local/bob@example.com.pst" old-data-file
cp "$outlook_roaming/Second.RWZ" old-rules

# --- The backup ---------------------------------------------------------------------------
password='Tr0ub4dor &3=x'
printf '%s\r\n' "$password" >password.txt
check backup 0 run_tool backup --profile Outlook --items 111111111 --password-file password.txt \
    full.ksb

# --- Runs that restore nothing: status 2 and nothing changed ------------------------------
snapshot >before.list
stdin_text='wrong password'$'\n' check restore-wrong-password 2 run_tool restore full.ksb \
    --profile Second --items 111111111 --password-stdin
if tr -d '\r' <restore-wrong-password.err |
    grep -q -x -E 'kestrel restore: the password does not open .*full\.ksb; nothing restored'; then
    pass "$system-restore-wrong-password-says-so"
else
    fail "$system-restore-wrong-password-says-so"
    cat restore-wrong-password.err
fi
check restore-without-password 2 run_tool restore full.ksb --profile Second --items 111111111
check restore-unknown-profile 2 run_tool restore full.ksb --profile Nobody --items 111111111 \
    --password-file password.txt
check_output restore-unknown-profile-says-so \
    'kestrel restore: no profile named "Nobody" (there are "Outlook", "Second"); nothing restored' \
    restore-unknown-profile.err
check restore-no-item 2 run_tool restore full.ksb --profile Second --items 000000000 \
    --password-file password.txt
check_output restore-no-item-says-so 'kestrel restore: --items selects no item' restore-no-item.err
check restore-not-a-backup 2 run_tool restore password.txt --profile Second --items 111111111
snapshot >after.list
if cmp -s before.list after.list; then
    pass "$system-failed-restores-change-nothing"
else
    fail "$system-failed-restores-change-nothing"
    diff before.list after.list
fi

# --- Crafted archives: refused, in little memory, with no "Completed" ----------------------
# An options export named as the run folder's lock (committed), an options export of a million
# keys and a signature list that fills the info file's 1 MiB (made here). Each restore fails
# its item, and nothing of the user's changes (what a refused registry tree replaced is kept in
# the Replaced folder all the same). Peak and time are printed on Linux for the record.
crafted_folder="$here/tests/data/archives/crafted"
cp "$crafted_folder/runlock-item.ksb" .
crafted=("runlock-item 000001 is the name of the run folder's lock; it was refused")
if [ "$system" = linux ]; then
    if python3 "$crafted_folder/make-crafted.py" --large "$work" >make-crafted.log 2>&1; then
        crafted+=("million-keys 000001 holds more than 5000 keys"
            "long-list 001 and 87100 more, listed in kestrel.log")
    else
        fail "$system-crafted-archives-made"
        cat make-crafted.log
    fi
fi
printf 'pw\n' >crafted-password.txt
# Kestrel's own log gains the full list of a long report; the user's files must not change.
snapshot | grep -v -F -e "$kestrel_data/Replaced" -e "$kestrel_data/kestrel.log" >before.list
for each in "${crafted[@]}"; do
    read -r archive items says <<<"$each"
    if [ "$system" = linux ]; then
        check "restore-$archive" 1 /usr/bin/time -f '%e s, peak %M KiB' -o "$archive.time" \
            "$tool" restore "$archive.ksb" --profile Second --items "$items" \
            --password-file crafted-password.txt
        echo "INFO $system-restore-$archive: $(tail -n 1 "$archive.time")"
    else
        check "restore-$archive" 1 run_tool restore "$archive.ksb" --profile Second \
            --items "$items" --password-file crafted-password.txt
    fi
    if tr -d '\r' <"restore-$archive.out" | grep -a -q -F -- "$says" &&
        ! grep -q -F 'The Restore was Completed!' "restore-$archive.out"; then
        pass "$system-restore-$archive-refused"
    else
        fail "$system-restore-$archive-refused: no '$says', or a 'Completed'"
        head -20 "restore-$archive.out"
    fi
done
snapshot | grep -v -F -e "$kestrel_data/Replaced" -e "$kestrel_data/kestrel.log" >after.list
if [ "$system" = linux ]; then
    if grep -a -q -F 's087299.htm is not in the backup' "$kestrel_data/kestrel.log"; then
        pass "$system-long-list-in-the-log"
    else
        fail "$system-long-list-in-the-log: the last name of the long report is not in kestrel.log"
    fi
fi
if cmp -s before.list after.list; then
    pass "$system-crafted-restores-change-nothing"
else
    fail "$system-crafted-restores-change-nothing"
    diff before.list after.list
fi
# The Options tree a refused import kept goes, so that the restore below makes the only
# Replaced folder (nothing before this part made one: the runs above changed nothing).
rm -rf "$kestrel_data/Replaced"

# --- Every item into the second profile ---------------------------------------------------
check restore-all 0 run_tool restore full.ksb --profile second --items 111111111 \
    --password-file password.txt
for line in 'The Restore was Completed!' 'Restore Personal Folders: Succeeded!' \
    'Restore Accounts Settings: Succeeded!' 'Restore Signatures: Succeeded!' \
    'Restore Options Settings: Succeeded!' 'Restore Contacts Folder: Succeeded!'; do
    check_output "restore-all-reports-${line// /-}" "$line" restore-all.out
done
check_bytes restored-data-file "$outlook_local/bob@example.com.pst" \
    "$sample/drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst"
check_bytes restored-archive-data-file "$outlook_local/archive.pst" \
    "$sample/unc/fileserver/mail/bob/archive.pst"
check_bytes restored-rules-under-target-name "$outlook_roaming/Second.RWZ" \
    "$sample/drive_c/Users/bob/AppData/Roaming/Microsoft/Outlook/Outlook.rwz"
check_bytes source-profile-rules-untouched "$outlook_roaming/Outlook.rwz" \
    "$sample/drive_c/Users/bob/AppData/Roaming/Microsoft/Outlook/Outlook.rwz"
check_bytes restored-signature "$bob/AppData/Roaming/Microsoft/Signatures/Bob.htm" \
    "$sample/drive_c/Users/bob/AppData/Roaming/Microsoft/Signatures/Bob.htm"

# The one Replaced folder of the run, named in the report, holds what was there before.
replaced=$(find "$kestrel_data/Replaced" -mindepth 1 -maxdepth 1 -type d 2>/dev/null)
if [ -n "$replaced" ] && [ "$(wc -l <<<"$replaced")" -eq 1 ] &&
    tr -d '\r' <restore-all.out | grep -q -x -E \
        "What the restore replaced is kept in .*\\\\Kestrel\\\\Replaced\\\\${replaced##*/}"; then
    pass "$system-replaced-folder-reported"
else
    fail "$system-replaced-folder-reported: $replaced"
    cat restore-all.out
fi
check_bytes replaced-keeps-data-file "$replaced/Datas/bob@example.com.pst" old-data-file
check_bytes replaced-keeps-rules "$replaced/Rules/Second.RWZ" old-rules
if grep -a -q -F 'Profiles\Second]' <(tr -d '\0\r' <"$replaced/Config/Second.reg" 2>/dev/null); then
    pass "$system-replaced-keeps-profile-key"
else
    fail "$system-replaced-keeps-profile-key: $replaced/Config/Second.reg"
fi

# The second profile's entries point at the restored files: a backup of it finds them there.
check backup-second 0 run_tool backup --profile Second --items 100000000 second.ksb
mkdir -p second
if 7z x -y -osecond second.ksb ksbackup.dat >extract.log 2>&1; then
    check_output second-points-at-restored-files \
        'BackupDatasSources=C:\Users\bob\AppData\Local\Microsoft\Outlook\bob@example.com.pst|C:\Users\bob\AppData\Local\Microsoft\Outlook\archive.pst' \
        second/ksbackup.dat
else
    fail "$system-second-extract"
    cat extract.log
fi

# --- An archive of the unattended backup, into its own profile ----------------------------
nightly_password='Night-Pw1'
check kestrelbak-signatures 0 run_bak "sf=Outlookxm=001000000ps=${nightly_password}bf=C:\\Users\\bob\\Documents\\nightly.ksb"
signature="$bob/AppData/Roaming/Microsoft/Signatures/Bob.txt"
echo 'changed since the backup' >"$signature"
stdin_text="$nightly_password"$'\n' check restore-nightly-signatures 0 run_tool restore \
    'C:\Users\bob\Documents\nightly.ksb' --profile Outlook --items 001 --password-stdin
check_output restore-nightly-reports 'Restore Signatures: Succeeded!' restore-nightly-signatures.out
check_bytes restore-nightly-signature-back "$signature" \
    "$sample/drive_c/Users/bob/AppData/Roaming/Microsoft/Signatures/Bob.txt"
# Accounts are not in that archive: the signatures are restored all the same, with status 1.
stdin_text="$nightly_password"$'\n' check restore-item-not-held 1 run_tool restore \
    'C:\Users\bob\Documents\nightly.ksb' --profile Outlook --items 011 --password-stdin
check_output restore-item-not-held-says-so 'not in the backup: Accounts Settings' \
    restore-item-not-held.out

# A Wine prefix takes some 700 MB: kept only to look into a failure.
if [ "$failures" -eq 0 ] && [ "$system" = windows ]; then
    end_wine
    rm -rf "$WINEPREFIX"
fi
[ "$failures" -eq 0 ]
