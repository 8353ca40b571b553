#!/usr/bin/env bash
# Runs every fuzz target for longer than the test command does (default 600 s each) and prints,
# per target, the executions, the corpus it ended with and whether it crashed.
#   scripts/fuzz-long.sh [SECONDS_EACH] [CTEST_REGEX]
# The targets run with the same inputs and limits as their CTest smoke runs, from a build tree of
# their own (build/fuzz-long), so that the test command's build keeps its short runs. New corpus
# entries land in build/fuzz-long/tests/fuzz/<target>.corpus; a crash leaves its input
# (crash-*) in build/fuzz-long/tests/fuzz.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
secs=${1:-600}
regex=${2:-fuzz_}
jobs=${MIREL_JOBS:-$(nproc)}
tree=build/fuzz-long
cmake --preset fuzz -B "$tree" -DMIREL_FUZZ_SECONDS="$secs" -DMIREL_TEST_PREFIX=long. >/dev/null
cmake --build "$tree" -j "$jobs" >/dev/null || { echo "build failed"; exit 1; }
ctest --test-dir "$tree" -R "$regex" -j "$jobs" --timeout $((secs + 300)) \
  --test-output-size-passed 50000000 --test-output-size-failed 50000000 --output-junit fuzz-long.xml >/dev/null 2>&1
status=$?
python3 - "$tree/fuzz-long.xml" <<'PY'
import re, sys, xml.etree.ElementTree as ET
print(f"{'target':<20} {'executions':>12} {'corpus':>16} {'crashes':>8}")
for case in ET.parse(sys.argv[1]).getroot().iter("testcase"):
    out = "".join(e.text or "" for e in case.iter("system-out"))
    done = re.findall(r"#(\d+)\s+DONE .*?corp: (\d+/\S+)", out)
    runs, corp = done[-1] if done else ("?", "?")
    # libFuzzer stops at the first crash; a run cut short without one says "timeout".
    crashed = "==ERROR" in out or "deadly signal" in out or "crash-" in out
    verdict = "1" if crashed else "0" if done else "timeout"
    print(f"{case.get('name').split('.', 1)[-1]:<20} {runs:>12} {corp:>16} {verdict:>8}")
PY
exit $status
