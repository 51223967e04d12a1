#!/usr/bin/env bash
# `kestrel backup` and the unattended backup (kestrelbak ARGUMENT-TEXT) of one build on a freshly
# made copy of the sample machine outlook2013-win7: the Linux programs on an environment root, or
# the Windows programs under Wine on a Wine prefix of their own. Checks what lands in the
# archive (every member byte for byte against its source, the info file's keys in order), that
# 7-Zip and `kestrel archive verify` accept it with the password, the log line of the unattended
# run, and the exit statuses of runs that fail: 2 and nothing written (a previous archive left
# byte for byte as it was), 1 when an item failed but the archive was written.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/backup-cli-test.sh linux KESTREL_TOOL KESTRELBAK WORK_FOLDER
#   scripts/backup-cli-test.sh windows KESTREL_EXE KESTRELBAK_EXE WORK_FOLDER
# The windows form makes its own Wine prefix in WORK_FOLDER (the sample's registry keys and
# files must not reach the prefix other tests share) and needs the stand-in for Office's
# automation server, kestrel_office_stand_in.dll, from the Windows build's tests folder.
check_name=backup-cli-test
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
documents=$(env_path drive_c/Users/bob/Documents)
# The log is in the local application data of the user the program runs as: the sample's user
# on Linux, Wine's own user (the sample names only the profile folder) under Wine.
if [ "$system" = linux ]; then
    log=$(env_path drive_c/Users/bob/AppData/Local/Kestrel/kestrel.log)
else
    log="$WINEPREFIX/drive_c/users/$(id -un)/AppData/Local/Kestrel/kestrel.log"
fi
contacts=$(env_path drive_c/Users/bob/Contacts)

check_same() {  # name, file, copy made before: the file is byte for byte as it was
    if cmp -s "$2" "$3"; then pass "$system-$1"; else fail "$system-$1: $2 changed or is gone"; fi
}
check_absent() {  # name, file
    if [ -e "$2" ]; then fail "$system-$1: $2 was written"; else pass "$system-$1"; fi
}
# The files of the user's folder and of the work folder, for "nothing was written".
snapshot() {
    (cd "$(env_path drive_c/Users/bob)" && find . -path ./AppData/Local/Kestrel -prune -o -print)
    (cd "$work" && find . -maxdepth 1 -name '*.ksb*')
}

password='Tr0ub4dor &3=x'  # a blank and "=" are fine where no argument text is split
# --- kestrel backup of every item ---------------------------------------------------------
stdin_text="$password"$'\n' check backup-all 0 run_tool backup --profile Outlook \
    --items 111111111 --description "before the move" --password-stdin full.ksb
check_output backup-all-reports-data-files "Backup Personal Folders          ok" backup-all.out
check_output backup-all-reports-contacts "Backup Contacts Folder           ok" backup-all.out
if tr -d '\r' <backup-all.out | grep -q -E '^written: .*full\.ksb \([0-9]+ bytes\)$'; then
    pass "$system-backup-all-reports-archive"
else
    fail "$system-backup-all-reports-archive"
    cat backup-all.out
fi
stdin_text="$password"$'\n' check archive-verify 0 run_tool archive verify full.ksb \
    --password-stdin
check 7z-test 0 7z t "-p$password" full.ksb
check 7z-test-wrong-password 2 7z t -pwrong full.ksb
stdin_text="$password"$'\n' check archive-list 0 run_tool archive list full.ksb --password-stdin
if ! tr -d '\r' <archive-list.out | grep -E '^ +[0-9]+ +[0-9]+ ' | grep -v -q ' protected '; then
    pass "$system-every-member-protected"
else
    fail "$system-every-member-protected"
    cat archive-list.out
fi

# Every member byte for byte against its source on the machine.
mkdir -p full
if 7z x -y "-p$password" -ofull full.ksb >extract.log 2>&1; then
    members=$(cd full && find . -type f -printf '%P\n' | LC_ALL=C sort | tr '\n' ':')
    # Each data file is followed by its block map.
    expected='Alice Smith.contact:Bears.gif:Bears.htm:Bob.htm:Bob.txt:Bob_files/filelist.xml:NormalEmail.dotm:OBA*.tmp:OBC*.tmp:OBC*.tmp:Outlook.RWZ:Outlook.xml:archive.pst:archive.pst.block-map:bob@example.com.pst:bob@example.com.pst.block-map:ksbackup.dat:old.pab:'
    # The three registry exports have generated names: compared below by their info keys.
    if [ "$(sed -E 's#OB(A|C)[0-9A-Fa-f]+\.tmp#OB\1*.tmp#g' <<<"$members")" = "$expected" ]; then
        pass "$system-members"
    else
        fail "$system-members: $members"
    fi
    compared=0
    while IFS= read -r file; do
        # A signature's support folder keeps its place below the signatures.
        case $file in
            */Bob_files/*) member=full/Bob_files/$(basename "$file") ;;
            *) member=$(find full -maxdepth 1 -iname "$(basename "$file")") ;;
        esac
        if [ -n "$member" ] && cmp -s "$member" "$(env_path "$file")"; then
            compared=$((compared + 1))
        else
            fail "$system-member-bytes: $(basename "$file") differs from $(env_path "$file")"
        fi
    done < <(cd "$sample" && find drive_c unc -type f)
    [ "$compared" -eq 12 ] && pass "$system-member-bytes ($compared files)"
    tr -d '\r' <full/ksbackup.dat >info.txt
    info() { sed -n "s/^$1=//p" info.txt; }
    profiles='HKEY_CURRENT_USER\Software\Microsoft\Office\15.0\Outlook\Profiles'
    for pair in "BackupConfig $profiles\\Outlook" \
        "BackupAccounts $profiles\\Outlook\\9375CFF0413111d3B88A00104B2A6676" \
        "BackupConfigsetting HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\15.0\\Outlook\\Options"; do
        key=${pair%% *}
        tree=${pair#* }
        if run_tool reg export-tree "$tree" "$key.export" >/dev/null 2>&1 &&
            [ -n "$(info "$key")" ] && cmp -s "full/$(info "$key")" "$key.export"; then
            pass "$system-member-bytes-$key"
        else
            fail "$system-member-bytes-$key: $(info "$key") is not the export of $tree"
        fi
    done
    keys=$(cut -d= -f1 info.txt | tr '\n' ' ')
    expected_keys='BackupComputer BackupLogonUser BackupIdentity BackupTime Outlookversion BackupInformation BackupConfig BackupDatas BackupDatasSources BackupRules BackupAccounts BackupSignatures BackupStationery BackupPab BackupPabSources BackupConfigsetting BackupTemplates BackupSetting BackupContacts BackupBlockMaps BackupFullId BackupItem '
    if [ "$keys" = "$expected_keys" ]; then
        pass "$system-info-key-order"
    else
        fail "$system-info-key-order: $keys"
    fi
    for pair in "BackupIdentity=Outlook" "Outlookversion=Outlook 2013" \
        "BackupInformation=before the move" "BackupItem=11111111111"; do
        check_output "info-${pair%%=*}" "$pair" info.txt
    done
else
    fail "$system-7z-extract"
    cat extract.log
fi

# The password from a file, its line ended by CR LF.
printf '%s\r\nsecond line\r\n' "$password" >password.txt
check backup-password-file 0 run_tool backup --profile Outlook --items 1 \
    --password-file password.txt from-file.ksb
check 7z-test-password-file 0 7z t "-p$password" from-file.ksb
check backup-password-argument-refused 2 run_tool backup --profile Outlook --items 1 \
    --password "$password" refused.ksb
check_absent backup-password-argument-writes-nothing refused.ksb
stdin_text=$'\n' check backup-empty-password-refused 2 run_tool backup --profile Outlook \
    --items 1 --password-stdin refused.ksb
check_absent backup-empty-password-writes-nothing refused.ksb

# --- The unattended run ---------------------------------------------------------------------
log_lines() { if [ -f "$log" ]; then wc -l <"$log"; else echo 0; fi; }
nightly_password='Night-Pw1'
before=$(log_lines)
check kestrelbak-all 0 run_bak "sf=Outlookxm=111111111ps=${nightly_password}bf=C:\\Users\\bob\\Documents\\nightly.ksb"
check 7z-test-nightly 0 7z t "-p$nightly_password" "$documents/nightly.ksb"
stdin_text="$nightly_password"$'\n' check archive-verify-nightly 0 run_tool archive verify \
    "$(env_path drive_c/Users/bob/Documents/nightly.ksb)" --password-stdin
if [ "$(log_lines)" -eq $((before + 1)) ] &&
    tail -1 "$log" | tr -d '\r' | grep -q -E $'\tstatus 0: written$' &&
    tail -1 "$log" | grep -q -F 'nightly.ksb' && ! grep -q -F "$nightly_password" "$log"; then
    pass "$system-kestrelbak-log-line"
else
    fail "$system-kestrelbak-log-line: $log has $(log_lines) lines (before $before)"
    cat "$log" 2>/dev/null
fi

# The run's result in the system's log. Under Wine the event log takes the entry but keeps none
# (its ReadEventLogW reads an empty log), so its eventlog channel shows what was reported:
# trace for information (status 0), warn for a warning, err for an error. On Linux a stand-in
# logger first on PATH records what reaches the journal.
if [ "$system" = windows ]; then
    WINEDEBUG=trace+eventlog,warn+eventlog,err+eventlog run_bak \
        "sf=Outlookxm=000000001ps=bf=C:\\Users\\bob\\Documents\\event.ksb" >/dev/null 2>event.err
    WINEDEBUG=trace+eventlog,warn+eventlog,err+eventlog run_bak \
        "sf=Nobodyxm=000000001ps=bf=C:\\Users\\bob\\Documents\\event.ksb" >/dev/null 2>>event.err
    if grep -q -E 'trace:eventlog:ReportEventW L"[0-9-]+ [0-9:]+, profile Outlook, archive C:\\\\Users\\\\bob\\\\Documents\\\\event\.ksb, ' event.err &&
        grep -q -E 'err:eventlog:ReportEventW L"[0-9-]+ [0-9:]+, profile Nobody, ' event.err; then
        pass "$system-event-log-entries"
    else
        fail "$system-event-log-entries"
        grep eventlog event.err
    fi
else
    mkdir -p logger-bin
    printf '#!/bin/sh\nprintf "%%s|" "$@" >"%s"\n' "$work/logger.out" >logger-bin/logger
    chmod +x logger-bin/logger
    PATH="$work/logger-bin:$PATH" run_bak \
        "sf=Outlookxm=000000001ps=bf=C:\\Users\\bob\\Documents\\event.ksb" >/dev/null 2>&1
    if grep -q -E '^-t\|kestrel\|-p\|user\.info\|--\|[0-9-]+ [0-9:]+, profile Outlook, archive C:\\Users\\bob\\Documents\\event\.ksb, .*, status 0: written\|$' logger.out; then
        pass "$system-system-log-entry"
    else
        fail "$system-system-log-entry: $(cat logger.out)"
    fi
fi

# --- Runs that write nothing: status 2 ------------------------------------------------------
cp full.ksb previous-copy.ksb
cp "$documents/nightly.ksb" nightly-copy.ksb
snapshot >before.list
check kestrelbak-four-fields 2 run_bak "sf=Outlookxm=111111111bf=C:\\Users\\bob\\Documents\\four.ksb"
check kestrelbak-password-with-equals 2 run_bak "sf=Outlookxm=111111111ps=pa=ssbf=C:\\Users\\bob\\Documents\\equals.ksb"
snapshot >after.list
if cmp -s before.list after.list; then
    pass "$system-invalid-argument-text-writes-nothing"
else
    fail "$system-invalid-argument-text-writes-nothing"
    diff before.list after.list
fi
if tail -2 "$log" | tr -d '\r' | grep -c $'\tstatus 2: nothing written: the argument text' |
    grep -q -x 2; then
    pass "$system-invalid-argument-text-log-lines"
else
    fail "$system-invalid-argument-text-log-lines"
    tail -2 "$log"
fi

check backup-missing-folder 2 run_tool backup --profile Outlook --items 111111111 \
    no-such-folder/full.ksb
check kestrelbak-missing-folder 2 run_bak "sf=Outlookxm=111111111ps=${nightly_password}bf=C:\\No\\Such\\Folder\\nightly.ksb"
# A folder nobody may write in: the permissions do not stop root, a read-only file system does.
if [ "$(id -u)" -eq 0 ]; then read_only=/sys; else read_only="$work/read-only" && mkdir -p "$read_only" && chmod a-w "$read_only"; fi
if touch "$read_only/probe" 2>/dev/null; then
    fail "$system-read-only-folder: $read_only can be written"
    rm -f "$read_only/probe"
else
    [ "$system" = linux ] && target="$read_only/full.ksb" || target="$(winepath -w "$read_only")\\full.ksb"
    check backup-read-only-folder 2 run_tool backup --profile Outlook --items 111111111 "$target"
fi
check_same failed-writes-keep-previous-archive full.ksb previous-copy.ksb
check_same failed-writes-keep-previous-nightly "$documents/nightly.ksb" nightly-copy.ksb

cp previous-copy.ksb previous.ksb
check backup-unknown-profile 2 run_tool backup --profile Nobody --items 111111111 previous.ksb
check_output backup-unknown-profile-says-so \
    'kestrel backup: no profile named "Nobody" (there are "Outlook"); nothing written' \
    backup-unknown-profile.err
check_same unknown-profile-keeps-archive previous.ksb previous-copy.ksb
# A scheduled job that names a profile which is gone must not put an archive without its mail in
# place of the last good one.
check kestrelbak-unknown-profile 2 run_bak "sf=Nobodyxm=111111111ps=${nightly_password}bf=C:\\Users\\bob\\Documents\\nightly.ksb"
check_same kestrelbak-unknown-profile-keeps-archive "$documents/nightly.ksb" nightly-copy.ksb

# With the contacts folder empty, the contacts item finds nothing and fails.
mkdir -p moved-contacts
mv "$contacts"/* moved-contacts/
check backup-all-items-fail 2 run_tool backup --profile Outlook --items 000000001 previous.ksb
check_output backup-all-items-fail-reports "Backup Contacts Folder           FAILED" \
    backup-all-items-fail.out
check_same all-items-fail-keeps-archive previous.ksb previous-copy.ksb
cp "$documents/nightly.ksb" nightly-copy.ksb
check kestrelbak-all-items-fail 2 run_bak "sf=Outlookxm=000000001ps=${nightly_password}bf=C:\\Users\\bob\\Documents\\nightly.ksb"
check_same kestrelbak-all-items-fail-keeps-archive "$documents/nightly.ksb" nightly-copy.ksb

# --- A failed item beside others that succeed: status 1 --------------------------------------
# The archive lacks an item, so it goes beside the complete one instead of replacing it. The
# contacts folder is gone (an empty one has nothing to back up, which costs the archive nothing).
rmdir "$contacts"
cp "$documents/nightly.ksb" nightly-copy.ksb
check backup-one-item-fails 1 run_tool backup --profile Outlook --items 100000001 previous.ksb
check_output backup-one-item-fails-reports "Backup Contacts Folder           FAILED" \
    backup-one-item-fails.out
incomplete=(previous\ \(incomplete\ *\).ksb)
if tr -d '\r' <backup-one-item-fails.out |
    grep -q -E '^written, but an item failed: .*previous \(incomplete [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{4} UTC\)\.ksb \([0-9]+ bytes\)$' &&
    tr -d '\r' <backup-one-item-fails.out | grep -q -E '^kept: .*previous\.ksb, which this archive would have replaced$' &&
    [ -f "${incomplete[0]}" ]; then
    pass "$system-backup-one-item-fails-writes-beside"
else
    fail "$system-backup-one-item-fails-writes-beside"
    cat backup-one-item-fails.out
fi
check_same one-item-fails-keeps-archive previous.ksb previous-copy.ksb
check kestrelbak-one-item-fails 1 run_bak "sf=Outlookxm=100000001ps=${nightly_password}bf=C:\\Users\\bob\\Documents\\nightly.ksb"
if tail -1 "$log" | tr -d '\r' | grep -q -F 'Documents\nightly (incomplete ' &&
    tail -1 "$log" | tr -d '\r' | grep -q -E $'\tstatus 1: written beside the target, an item failed; the previous archive is kept$'; then
    pass "$system-kestrelbak-one-item-fails-log-line"
else
    fail "$system-kestrelbak-one-item-fails-log-line"
    tail -1 "$log"
fi
check_same kestrelbak-one-item-fails-keeps-archive "$documents/nightly.ksb" nightly-copy.ksb
mkdir "$contacts"
mv moved-contacts/* "$contacts"/
# A complete run replaces the archive and clears the incomplete ones away.
check backup-complete-again 0 run_tool backup --profile Outlook --items 100000001 previous.ksb
incomplete=(previous\ \(incomplete\ *\).ksb)
if [ ! -e "${incomplete[0]}" ] && ! cmp -s previous.ksb previous-copy.ksb; then
    pass "$system-complete-run-removes-incomplete"
else
    fail "$system-complete-run-removes-incomplete: ${incomplete[*]}"
fi

# --- A target that is a file the backup reads: refused before anything is written -----------
pst=$(env_path "drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst")
signature=$(env_path drive_c/Users/bob/AppData/Roaming/Microsoft/Signatures/Bob.txt)
cp "$pst" pst-copy
cp "$signature" signature-copy
for target in 'C:\Users\bob\Documents\Outlook Files\bob@example.com.pst' \
    'C:\Users\bob\AppData\Roaming\Microsoft\Signatures\Bob.txt' \
    'c:\USERS\BOB\documents\outlook files\BOB@EXAMPLE.COM.PST'; do
    name=target-is-source-$(printf '%s' "$target" | tr -c 'A-Za-z0-9' '-')
    check "$name" 2 run_tool backup --profile Outlook --items 111111111 "$target"
    if tr -d '\r' <"$name.out" | grep -q -F "the target $target is "; then
        pass "$system-$name-names-both"
    else
        fail "$system-$name-names-both"
        cat "$name.out" "$name.err"
    fi
    check_same "$name-keeps-mail" "$pst" pst-copy
    check_same "$name-keeps-signature" "$signature" signature-copy
    staged=("$pst".part-*)
    check_absent "$name-no-staging" "${staged[0]}"
done
check kestrelbak-target-is-source 2 run_bak "sf=Outlookxm=111111111ps=bf=C:\\Users\\bob\\Documents\\Outlook Files\\bob@example.com.pst"
check_same kestrelbak-target-is-source-keeps-mail "$pst" pst-copy

# A Wine prefix takes some 700 MB: kept only to look into a failure.
if [ "$failures" -eq 0 ] && [ "$system" = windows ]; then
    end_wine
    rm -rf "$WINEPREFIX"
fi
[ "$failures" -eq 0 ]
