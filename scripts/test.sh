#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test through CTest from the
# Linux build (tests/CMakeLists.txt registers them, with their labels): the suites natively and
# under Wine (a fresh Wine prefix each run), the GUI smoke tests under Xvfb on both targets
# with screenshots saved in build/<system>/screenshots, the no-display start of the unattended
# backup, the shell checks and the fuzzing. Ends with "tests: N passed, N failed", counting
# CTest's tests; the line before adds up the GoogleTest cases inside them.
set -euo pipefail
# Everything here runs from build/, whatever a developer's own builds use.
unset KESTREL_BUILD_ROOT
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
scripts/install-deps.sh
scripts/build.sh linux
scripts/build.sh windows
scripts/package-windows.sh

rm -rf build/windows/wineprefix build/linux/kestrel-home build/linux/test-results
mkdir -p build/test-logs
log=build/test-logs/ctest.log
status=0
ctest --test-dir build/linux --output-on-failure | tee "$log" || status=${PIPESTATUS[0]}

# GoogleTest's own count, from the XML files the gtest entries write.
python3 - build/linux/test-results <<'PYTHON'
import pathlib, sys, xml.etree.ElementTree as ET
tests = failed = skipped = 0
for xml in sorted(pathlib.Path(sys.argv[1]).glob("*.xml")):
    root = ET.parse(xml).getroot()
    tests += int(root.get("tests", 0)) - int(root.get("disabled", 0))
    failed += int(root.get("failures", 0)) + int(root.get("errors", 0))
    skipped += sum(int(s.get("skipped", 0)) for s in root.iter("testsuite"))
print(f"GoogleTest cases: {tests - failed - skipped} passed, {failed} failed, {skipped} skipped")
PYTHON
# CTest's summary: "NN% tests passed, F tests failed out of T" (not-run tests count as failed).
summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
if [ -z "$summary" ]; then
    echo "tests: 0 passed, 1 failed (ctest printed no summary)"
    exit 1
fi
total=$(grep -Eo '[0-9]+$' <<<"$summary")
failed=$(grep -Eo '[0-9]+ tests? failed' <<<"$summary" | grep -Eo '^[0-9]+')
echo "tests: $((total - failed)) passed, $failed failed"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]
