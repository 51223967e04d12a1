#!/usr/bin/env bash
# The rule for the shell checks that CTest runs: one passes only when it exits with status 0,
# prints at least one "PASS ..." line and no "FAIL ..." line. A check that quietly did nothing
# (a missing tool, an empty sample folder) prints no PASS line and so fails; it never passes
# or skips.
#   scripts/run-check.sh COMMAND...
set -uo pipefail
log=$(mktemp)
trap 'rm -f "$log"' EXIT
status=0
"$@" 2>&1 | tee "$log" || status=${PIPESTATUS[0]}
passed=$(grep -c '^PASS ' "$log")
failed=$(grep -c '^FAIL ' "$log")
echo "check: $passed PASS, $failed FAIL, exit status $status"
if [ "$status" -ne 0 ] || [ "$passed" -eq 0 ] || [ "$failed" -ne 0 ]; then
    [ "$passed" -ne 0 ] || echo "check: no PASS line, so it checked nothing"
    exit 1
fi
