#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test: the suites natively and
# under Wine (a fresh Wine prefix each run), the GUI smoke tests under Xvfb on both targets
# with screenshots saved in build/<system>/screenshots, and the no-display start of the
# unattended backup. Ends with "tests: N passed, N failed".
set -euo pipefail
# Everything here runs from build/, whatever a developer's own builds use.
unset KESTREL_BUILD_ROOT
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/install-deps.sh
scripts/build.sh linux
scripts/build.sh windows

export WINEDEBUG=-all
export WINEPREFIX="$here/build/windows/wineprefix"
export KESTREL_HOME="$here/build/linux/kestrel-home"
rm -rf "$WINEPREFIX" "$KESTREL_HOME"
logs="$here/build/test-logs"
mkdir -p "$logs"
passed=0
failed=0
problems=()

# Adds up one GoogleTest log; a run that ran nothing, skipped a test or failed is a problem.
count_gtest() {
    local name=$1 log=$2 status=$3 ran bad skipped
    ran=$(grep -Eo '^\[  PASSED  \] [0-9]+' "$log" | grep -Eo '[0-9]+$' | tail -1 || true)
    bad=$(grep -Eo '^\[  FAILED  \] [0-9]+ test' "$log" | grep -Eo '[0-9]+' | tail -1 || true)
    skipped=$(grep -Ec '^\[  SKIPPED \]' "$log" || true)
    ran=${ran:-0}
    bad=${bad:-0}
    passed=$((passed + ran))
    failed=$((failed + bad))
    echo "$name: $ran passed, $bad failed, $skipped skipped (exit status $status)"
    if [ "$status" -ne 0 ] || [ "$ran" -eq 0 ] || [ "$bad" -ne 0 ] || [ "$skipped" -ne 0 ]; then
        problems+=("$name")
        [ "$bad" -ne 0 ] || [ "$status" -eq 0 ] || failed=$((failed + 1))
        grep -E '^\[  (FAILED|SKIPPED) \]|Failure|error' "$log" | head -20 || true
    fi
}

run_suite() {
    local name=$1
    shift
    local status=0
    timeout 900 "$@" >"$logs/$name.log" 2>&1 || status=$?
    count_gtest "$name" "$logs/$name.log" "$status"
}

xvfb=(xvfb-run -a -s "-screen 0 1280x900x24")

# Started with an argument text and no display, the program must end on its own, quickly.
check_unattended_start() {
    local name=$1
    shift
    local start end elapsed status=0
    start=$(date +%s%N)
    env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$@" 'sf=x' >/dev/null 2>&1 || status=$?
    end=$(date +%s%N)
    elapsed=$(((end - start) / 1000000))
    if [ "$status" -eq 124 ] || [ "$elapsed" -ge 1000 ]; then
        echo "$name: kestrelbak 'sf=x' took ${elapsed} ms without a display (status $status)"
        failed=$((failed + 1))
        problems+=("$name")
    else
        echo "$name: kestrelbak 'sf=x' ended in ${elapsed} ms without a display (status $status)"
        passed=$((passed + 1))
    fi
}

echo "== Layers"
if scripts/check-layers.sh; then
    echo "layers: no core, interface or window file includes an OS header or the GUI toolkit"
    passed=$((passed + 1))
else
    failed=$((failed + 1))
    problems+=(layers)
fi

echo "== Linux"
run_suite linux-suite build/linux/tests/kestrel_tests
run_suite linux-gui "${xvfb[@]}" scripts/gui-smoke.sh build/linux/screenshots \
    build/linux/tests/gui/kestrel_gui_tests
check_unattended_start linux-unattended build/linux/src/kestrelbak

echo "== Windows build under Wine"
wineboot -i >/dev/null 2>&1
run_suite windows-suite wine build/windows/tests/kestrel_tests.exe
# Timed while the suite's Wine session is still up, so Wine's own start-up is not counted.
check_unattended_start windows-unattended wine build/windows/src/kestrelbak.exe
# Wine's desktop belongs to the wineserver session: one started without a display cannot
# show windows, so the windowed tests start a new session inside Xvfb.
wineserver -k || true
wineserver -w || true
KESTREL_SCREENSHOT_ARG="Z:$here/build/windows/screenshots" run_suite windows-gui \
    "${xvfb[@]}" scripts/gui-smoke.sh build/windows/screenshots \
    wine build/windows/tests/gui/kestrel_gui_tests.exe
wineserver -k || true

# --- kestrel reg: registry files against Wine's regedit, fuzzing of the registry readers ---
# Adds up a script's "PASS ..." and "FAIL ..." lines; one that fails or passes nothing is a
# problem.
run_checks() {
    local name=$1 status=0 ok bad
    shift
    "$@" >"$logs/$name.log" 2>&1 || status=$?
    ok=$(grep -c '^PASS ' "$logs/$name.log" || true)
    bad=$(grep -c '^FAIL ' "$logs/$name.log" || true)
    passed=$((passed + ok))
    failed=$((failed + bad))
    grep -E '^(PASS|FAIL) ' "$logs/$name.log" || true
    if [ "$status" -ne 0 ] || [ "$ok" -eq 0 ] || [ "$bad" -ne 0 ]; then
        problems+=("$name")
        [ "$bad" -ne 0 ] || failed=$((failed + 1))
        tail -20 "$logs/$name.log"
    fi
}
echo "== Registry files against Wine's regedit"
run_checks reg-peer scripts/reg-peer-test.sh build/linux/src/kestrel build/reg-peer
wineserver -k || true
echo "== Fuzzing the registry readers"
run_checks fuzz scripts/fuzz.sh 60
# --- end kestrel reg ---

echo "== Sample machines: kestrel profiles"
run_checks profiles scripts/profiles-test.sh

# --- kestrel archive: the command-line tool on 7-Zip and zip archives, both builds ---
echo "== kestrel archive on 7-Zip and zip archives, natively and under Wine"
archive_status=0
scripts/archive-cli-test.sh build/linux/src/kestrel build/windows/src/kestrel.exe \
    build/archive-cli >"$logs/archive-cli.log" 2>&1 || archive_status=$?
archive_ok=$(grep -c '^PASS ' "$logs/archive-cli.log" || true)
archive_bad=$(grep -c '^FAIL ' "$logs/archive-cli.log" || true)
passed=$((passed + archive_ok))
failed=$((failed + archive_bad))
echo "archive-cli: $archive_ok passed, $archive_bad failed (exit status $archive_status)"
if [ "$archive_status" -ne 0 ] || [ "$archive_ok" -eq 0 ] || [ "$archive_bad" -ne 0 ]; then
    problems+=(archive-cli)
    [ "$archive_bad" -ne 0 ] || failed=$((failed + 1))
    grep -v '^PASS ' "$logs/archive-cli.log" | tail -20
fi
wineserver -k || true
# --- end kestrel archive ---

echo
if [ ${#problems[@]} -ne 0 ]; then
    echo "problems in: ${problems[*]}"
fi
echo "tests: $passed passed, $failed failed"
[ ${#problems[@]} -eq 0 ]
