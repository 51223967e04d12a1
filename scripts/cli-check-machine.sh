# The start every command-line check on the sample machine outlook2013-win7 shares, sourced
# by scripts/backup-cli-test.sh and scripts/restore-cli-test.sh after they set check_name: reads
# the arguments (linux|windows TOOL KESTRELBAK WORK_FOLDER), checks the programs it needs,
# empties the work folder (only one it made, by its mark, or an empty one) and goes there, and
# makes a fresh copy of the sample machine: an environment root on Linux, a Wine prefix with
# the stand-in for Office's automation server under Wine. Defines fail, pass, run_tool, run_bak
# and env_path (where a file of the sample, drive_c/... or unc/..., is for the programs), and
# the checks: check (a command's exit status, its output kept as NAME.out and NAME.err in the
# work folder) and check_output.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
system=${1:-}
case $system in
    linux | windows) ;;
    *) echo "usage: $0 linux|windows KESTREL_TOOL KESTRELBAK WORK_FOLDER" >&2 && exit 2 ;;
esac
tool=$(realpath "$2")
bak=$(realpath "$3")
work=$(realpath -m "$4")
sample_name=outlook2013-win7
sample="$here/tests/data/environments/$sample_name"
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}
pass() {
    echo "PASS $*"
}
# The names the checks report start with the system ("linux-"), unless a script that runs on
# one system only set check_prefix (empty) before it sourced this file.
check_prefix=${check_prefix-$system-}
check() {  # name, expected exit status, command... (standard input from $stdin_text if set)
    local name=$1 expected=$2 status=0
    shift 2
    printf '%s' "${stdin_text:-}" | "$@" >"$work/$name.out" 2>"$work/$name.err" || status=$?
    if [ "$status" -eq "$expected" ]; then
        pass "$check_prefix$name"
    else
        fail "$check_prefix$name (exit status $status, expected $expected)"
        cat "$work/$name.out" "$work/$name.err"
    fi
}
check_output() {  # name, literal line, file: the file holds the line (CR LF or LF)
    if tr -d '\r' <"$3" | grep -q -x -F -- "$2"; then
        pass "$check_prefix$1"
    else
        fail "$check_prefix$1: no line '$2' in $3"
        cat "$3"
    fi
}
# A missing program fails the check; it never passes quietly.
needed=(7z cmp find)
[ "$system" = linux ] || needed+=(wine wineboot wineserver winepath)
for program in "${needed[@]}"; do
    if ! command -v "$program" >/dev/null; then
        echo "FAIL $program is not installed (scripts/install-deps.sh installs it)"
        exit 1
    fi
done
for program in "$tool" "$bak"; do
    [ -x "$program" ] || { echo "FAIL $program was not built"; exit 1; }
done

# The folder is emptied first: only one this check made (it leaves a mark) or an empty one.
mark=.made-by-$check_name
if [ -e "$work" ] && [ ! -e "$work/$mark" ] &&
    { [ ! -d "$work" ] || [ -n "$(ls -A "$work")" ]; }; then
    echo "FAIL $work holds something this check did not make; name another work folder"
    exit 1
fi
rm -rf "$work"
mkdir -p "$work"
touch "$work/$mark"
cd "$work" || exit 1

# --- The sample machine -------------------------------------------------------------------
# env_path SAMPLE-RELATIVE-PATH: where a file of the sample (drive_c/..., unc/...) is on the
# machine the programs see.
if [ "$system" = linux ]; then
    export KESTREL_HOME="$work/home"
    run_tool() { "$tool" "$@"; }
    run_bak() { env -u DISPLAY -u WAYLAND_DISPLAY "$bak" "$@"; }
    env_path() { echo "$KESTREL_HOME/$1"; }
    if ! KESTREL_TOOL="$tool" "$here/scripts/seed-environment.sh" "$sample_name" \
        "$KESTREL_HOME" >seed.log 2>&1; then
        fail "seeding $sample_name"
        cat seed.log
        exit 1
    fi
else
    stand_in=$(dirname "$tool")/../tests/kestrel_office_stand_in.dll
    if [ ! -f "$stand_in" ]; then
        echo "FAIL $stand_in was not built"
        exit 1
    fi
    export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all
    end_wine() {
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
        return 0
    }
    trap end_wine EXIT
    run_tool() { wine "$tool" "$@"; }
    run_bak() { env -u DISPLAY -u WAYLAND_DISPLAY wine "$bak" "$@"; }
    # Wine keeps user profiles in C:\users and shares (\\server\share) in dosdevices/unc.
    env_path() {
        case $1 in
            drive_c/Users/*) echo "$WINEPREFIX/drive_c/users/${1#drive_c/Users/}" ;;
            unc/*) echo "$WINEPREFIX/dosdevices/$1" ;;
            *) echo "$WINEPREFIX/$1" ;;
        esac
    }
    if ! env -u DISPLAY -u WAYLAND_DISPLAY wineboot -i >seed.log 2>&1; then
        fail "wineboot could not make the prefix $WINEPREFIX"
        cat seed.log
        exit 1
    fi
    # The sample's user (USERPROFILE, APPDATA) is imported into the volatile part of the
    # registry, which a Wine server forgets when it ends: one server serves every run here.
    # wineboot's server lingers a few seconds after it returns, and a persistent server asked
    # for meanwhile is refused, so the runs got a new server each (losing the sample's user,
    # so every item of the user's folders failed) whenever the machine was slow: wait first.
    wineserver -w
    wineserver -p
    # The sample's file trees, where its Windows paths lead in the prefix.
    (cd "$sample" && find drive_c unc -type f) | while IFS= read -r file; do
        mkdir -p "$(dirname "$(env_path "$file")")"
        cp "$sample/$file" "$(env_path "$file")"
    done
    # The stand-in answers for Word, whose version the sample's machine.reg names.
    clsid='{6E0C43A7-5B1F-4C0E-9D3A-4B2E8F1C7D21}'
    printf '%s\r\n' 'REGEDIT4' '' "[HKEY_CLASSES_ROOT\\Word.Application.8\\CLSID]" \
        "\"\"=\"$clsid\"" '' "[HKEY_CLASSES_ROOT\\CLSID\\$clsid\\InprocServer32]" \
        "\"\"=\"$(winepath -w "$(realpath "$stand_in")" | sed 's/\\/\\\\/g')\"" \
        '"ThreadingModel"="Apartment"' >stand-in.reg
    for file in "$work/stand-in.reg" "$sample/machine.reg" "$sample/outlook.reg"; do
        if ! run_tool reg import "$(winepath -w "$file")" >>seed.log 2>&1; then
            fail "importing $file into Wine's registry"
            cat seed.log
            exit 1
        fi
    done
fi
