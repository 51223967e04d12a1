#!/usr/bin/env bash
# Starts the program as a scheduled job does, with an argument text and no display, and checks
# that it ends on its own with the expected status. How long it takes is a figure of
# bench/unattended-start.sh, not a condition here: a loaded machine must not fail the test.
#   scripts/unattended-start-test.sh STATUS PROGRAM...    (PROGRAM may be "wine kestrelbak.exe")
# On a fresh environment root there is no Outlook, so no backup can be written and the program
# must say so with status 2 (not hang waiting for a click, not crash).
set -uo pipefail
expected=$1
shift
status=0
env -u DISPLAY -u WAYLAND_DISPLAY timeout 120 "$@" 'sf=x' >/dev/null 2>&1 || status=$?
if [ "$status" -eq 124 ]; then
    echo "FAIL $* 'sf=x' was still running without a display after 120 s"
elif [ "$status" -ne "$expected" ]; then
    echo "FAIL $* 'sf=x' ended with status $status without a display, expected $expected"
else
    echo "PASS $* 'sf=x' ended on its own without a display, status $status"
fi
