#!/usr/bin/env bash
# The long soak run of the demo under Wine: SECONDS (default 600) of running with no assertion
# report, resident memory within MIREL_SOAK_BOUND_KB (default 32768) of its level after warm-up,
# and the frame counter advancing. Leaves the memory samples, the log and a summary in
# out/soak-<date>-<time>/.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-600}
scripts/install-deps.sh
scripts/wine-root.sh >/dev/null
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake --build build/mingw --target CadoraDemo tesklib_stub frame_driver
out=$(readlink -f out)/soak-$(date +%Y%m%d-%H%M%S)
mkdir -p "$out"
rc=0
bash tests/wine/demo_case.sh soak build/mingw/bin/CadoraDemo.exe build/mingw/tests/wine/frame_driver.exe \
  build/mingw/tools/tesklib_stub/tesklib.dll "$out" "$seconds" || rc=$?
echo "soak: exit status $rc; memory samples, log and summary are in $out"
exit $rc
