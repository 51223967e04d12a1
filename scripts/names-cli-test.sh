#!/usr/bin/env bash
# Names and passwords in any language through `kestrel backup` and `kestrel restore` of one
# build, on a fresh copy of the sample machine outlook2013-win7 (the Linux tool on an
# environment root, the Windows tool under Wine), with 7-Zip as the other side:
# - passwords in several scripts: each archive opens in 7-Zip with the same text, none with the
#   "??????" an ANSI conversion would have made of them;
# - signatures Word saved with their support folders ("Name_files", German "Name-Dateien"),
#   and signatures named in Cyrillic and with an emoji: 7-Zip lists the real names and paths,
#   and after the folder is deleted a restore into another profile puts every file back, byte
#   for byte;
# - an archive the previous format wrote (flat names, ANSI info file, key from the ANSI form of
#   the password "café", tests/data/archives/outlook2013-win7-cafe.ksb) restores byte for byte.
# Prints one "PASS name" or "FAIL name" line per check.
#   scripts/names-cli-test.sh linux KESTREL_TOOL KESTRELBAK WORK_FOLDER
#   scripts/names-cli-test.sh windows KESTREL_EXE KESTRELBAK_EXE WORK_FOLDER
check_name=names-cli-test
# shellcheck source=scripts/cli-check-machine.sh
. "$(dirname "$0")/cli-check-machine.sh"
bob=$(env_path drive_c/Users/bob)
signatures="$bob/AppData/Roaming/Microsoft/Signatures"
profiles_key='HKEY_CURRENT_USER\Software\Microsoft\Office\15.0\Outlook\Profiles'
# 7-Zip reads its arguments, passwords included, in the locale's character set.
export LC_ALL=C.UTF-8

same_tree() {  # name, expected folder, folder: the same files, byte for byte
    if diff -r "$2" "$3" >"$work/$1.diff" 2>&1; then
        pass "$system-$1 ($(find "$2" -type f | wc -l) files)"
    else
        fail "$system-$1"
        cat "$work/$1.diff"
    fi
}

if run_tool reg export-tree "$profiles_key\\Outlook" profile.tree >reg.log 2>&1 &&
    run_tool reg import-tree "$profiles_key\\Second" profile.tree >>reg.log 2>&1; then
    pass "$system-second-profile-made"
else
    fail "$system-second-profile-made"
    cat reg.log
fi

# --- Passwords ----------------------------------------------------------------------------
passwords=('café' 'пароль' '密码' '🔑 ключ' 'Plain-ASCII 7')
for i in "${!passwords[@]}"; do
    password=${passwords[$i]}
    printf '%s\n' "$password" >"password-$i.txt"
    check "password-$i-backup" 0 run_tool backup --profile Outlook --items 001 \
        --password-file "password-$i.txt" "password-$i.ksb"
    check "password-$i-opens-in-7z" 0 7z t "-p$password" "password-$i.ksb"
    check "password-$i-question-marks-do-not-open" 2 7z t '-p??????' "password-$i.ksb"
done

# --- Signatures with their support folders ------------------------------------------------
picture() { head -c "$1" /dev/urandom >"$2"; }
mkdir -p "$signatures/Work_files/themedata" "$signatures/Arbeit-Dateien"
printf '<html><img src="Work_files/image001.png"></html>\r\n' >"$signatures/Work.htm"
printf 'Work\r\n' >"$signatures/Work.txt"
picture 20000 "$signatures/Work_files/image001.png"
printf '<xml><o:File HRef="image001.png"/></xml>\r\n' >"$signatures/Work_files/filelist.xml"
picture 3000 "$signatures/Work_files/themedata/theme1.xml"
printf '<html><img src="Arbeit-Dateien/image001.jpg"></html>\r\n' >"$signatures/Arbeit.htm"
picture 15000 "$signatures/Arbeit-Dateien/image001.jpg"
printf '<xml/>\r\n' >"$signatures/Arbeit-Dateien/filelist.xml"
printf '<html>Подпись</html>\r\n' >"$signatures/Подпись.htm"
printf '<html>smile</html>\r\n' >"$signatures/😀 Smile.htm"
cp -r "$signatures" expected

check signatures-backup 0 run_tool backup --profile Outlook --items 001 signatures.ksb
7z l -slt signatures.ksb >signatures.list 2>&1
listed=0
while IFS= read -r file; do
    if grep -q -x -F "Path = $file" signatures.list; then
        listed=$((listed + 1))
    else
        fail "$system-7z-lists: no 'Path = $file'"
    fi
done < <(cd expected && find . -type f -printf '%P\n')
[ "$listed" -eq "$(find expected -type f | wc -l)" ] && pass "$system-7z-lists ($listed names)"

rm -rf "$signatures"
check signatures-restore 0 run_tool restore signatures.ksb --profile Second --items 001
same_tree signatures-restored expected "$signatures"

# --- An archive of the previous format ----------------------------------------------------
# Made from this sample with a signature "Grüße.txt" added, every item, the password "café".
fixture="$here/tests/data/archives/outlook2013-win7-cafe.ksb"
cp "$fixture" earlier.ksb
printf 'café\n' >cafe.txt
check earlier-restore 0 run_tool restore earlier.ksb --profile Second --items 111111111 \
    --password-file cafe.txt
mkdir -p earlier-expected
cp "$sample/drive_c/Users/bob/AppData/Roaming/Microsoft/Signatures/Bob."* earlier-expected/
printf 'Grüße\r\n' >earlier-expected/Grüße.txt
for file in earlier-expected/*; do
    if cmp -s "$file" "$signatures/${file##*/}"; then
        pass "$system-earlier-signature ${file##*/}"
    else
        fail "$system-earlier-signature ${file##*/}"
    fi
done
if cmp -s "$bob/AppData/Local/Microsoft/Outlook/bob@example.com.pst" \
    "$sample/drive_c/Users/bob/Documents/Outlook Files/bob@example.com.pst"; then
    pass "$system-earlier-data-file"
else
    fail "$system-earlier-data-file"
fi
printf 'cafe\n' >cafe-without-accent.txt
check earlier-other-password 2 run_tool restore earlier.ksb --profile Second --items 001 \
    --password-file cafe-without-accent.txt

if [ "$failures" -eq 0 ] && [ "$system" = windows ]; then
    end_wine
    rm -rf "$WINEPREFIX"
fi
[ "$failures" -eq 0 ]
