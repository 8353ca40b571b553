#!/usr/bin/env bash
# Builds the Windows program and runs it under Wine 10: on the user's display when there is
# one, otherwise headless under Xvfb for a short while, leaving its output and screenshots in
# a folder this script names.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
scripts/wine-root.sh >/dev/null
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake --build build/mingw --target CadoraDemo
exe=$(readlink -f build/mingw/bin/CadoraDemo.exe)

if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
  exec scripts/wine-run.sh --use-display --timeout "${MIREL_DEMO_SECONDS:-3600}" --cwd "$(dirname "$exe")" "$exe"
fi

out=$(readlink -f out)/demo-$(date +%Y%m%d-%H%M%S)
mkdir -p "$out"
secs=${MIREL_DEMO_SECONDS:-20}
rc=0
scripts/wine-run.sh --cwd "$(dirname "$exe")" --timeout "$secs" \
  --screenshot-after 3 --screenshot "$out/screenshot-3s.png" \
  --screenshot-after $((secs - 2)) --screenshot "$out/screenshot-end.png" \
  --stdout "$out/stdout.txt" --stderr "$out/stderr.txt" "$exe" || rc=$?
cp "$(dirname "$exe")"/cadoraLog.txt "$out/" 2>/dev/null || true
cat "$out/stdout.txt"
echo "exit code $rc; output, screenshots and logs are in $out"
exit $rc
