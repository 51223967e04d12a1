#!/usr/bin/env bash
# Seeds a fresh environment root from each sample machine and checks that
# `kestrel profiles --json` prints the profiles, locations and offered boxes recorded in the
# sample's profiles.json (the same states the main window shows for it). One PASS or FAIL line
# per machine; fails if any differs.
#   scripts/profiles-test.sh [KESTREL_TOOL]     (default: the Linux build's, after
#                                                scripts/build.sh linux)
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
tool=${1:-${KESTREL_BUILD_ROOT:-$here/build}/linux/src/kestrel}
status=0
for sample in "$here"/tests/data/environments/*/; do
    name=$(basename "$sample")
    root="$work/$name"
    if ! KESTREL_TOOL="$tool" "$here/scripts/seed-environment.sh" "$name" "$root" >"$work/$name.log" 2>&1; then
        echo "FAIL $name: could not seed"; cat "$work/$name.log"; status=1; continue
    fi
    if KESTREL_HOME="$root" "$tool" profiles --json >"$work/$name.json" 2>>"$work/$name.log" &&
        diff -u "$sample/profiles.json" "$work/$name.json" >"$work/$name.diff"; then
        echo "PASS $name: $(grep -c '"name"' "$work/$name.json") profiles as recorded"
    else
        echo "FAIL $name"; head -40 "$work/$name.diff" "$work/$name.log"; status=1
    fi
done
exit "$status"
