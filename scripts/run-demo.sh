#!/usr/bin/env bash
# Builds the Windows program and runs it under Wine 10: on the user's display when there is
# one, otherwise headless under Xvfb for a short while, leaving its output and screenshots in
# a folder this script names.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/install-deps.sh
scripts/wine-root.sh >/dev/null
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake --build build/mingw --target CadoraDemo tesklib_stub frame_driver

# Windows has the display maker's library; this machine has none. Unless
# MIREL_DEMO_STUB=0, the run gets the project's stand-in beside a staged copy of the program,
# answering as a 48-144 Hz variable-refresh primary display (see tools/tesklib_stub).
out=$(readlink -f out)/demo-$(date +%Y%m%d-%H%M%S)
mkdir -p "$out/bin"
cp build/mingw/bin/CadoraDemo.exe build/mingw/bin/config.ini build/mingw/bin/mirelFont.spritefont "$out/bin/"
[ -d assets ] && ln -sfn "$(readlink -f assets)" "$out/assets"
envs=()
if [ "${MIREL_DEMO_STUB:-1}" != 0 ]; then
  cp build/mingw/tools/tesklib_stub/tesklib.dll "$out/bin/"
  printf 'adapter 0\nprimary 0\nmap 0 0 0 1\ntarget 0 0 0\nrange 0 0 48000000 144000000\n' >"$out/bin/stub.cfg"
  envs=(--env "TESKLIB_STUB_CONFIG=$out/bin/stub.cfg")
  echo "(display library: the project's stand-in, simulating a 48-144 Hz display)"
fi
exe=$out/bin/CadoraDemo.exe

if [ -n "${DISPLAY:-}" ] && command -v xdpyinfo >/dev/null && xdpyinfo >/dev/null 2>&1; then
  exec scripts/wine-run.sh --use-display "${envs[@]}" --timeout "${MIREL_DEMO_SECONDS:-3600}" --cwd "$(dirname "$exe")" "$exe"
fi

secs=${MIREL_DEMO_SECONDS:-40}
# Headless: windowed at 1280x720 with every frame logged, so the plot shows the controller; a
# driver presses Escape near the end, so the demo shuts down the ordinary way.
printf '[render_init]\nfullscreen = false\nmax_resolution_X = 1280\nmax_resolution_Y = 720\n[debug]\nlogThreads = "true"\n' >>"$out/bin/config.ini"
cp build/mingw/tests/wine/frame_driver.exe "$out/bin/"
# The first shot waits for the load screen to be up (a fixed delay showed a white window on
# a slow start); the others are timed from the start.
shots=(--screenshot-on "trace: scene build started" --screenshot "$out/screenshot-loading.png")
[ "$secs" -gt 27 ] && shots+=(--screenshot-after 25 --screenshot "$out/screenshot-25s.png")
shots+=(--screenshot-after $((secs - 2)) --screenshot "$out/screenshot-end.png")
rc=0
scripts/wine-run.sh "${envs[@]}" --env MIREL_LOOP_STATS=1 --env MIREL_TRACE=1 --cwd "$(dirname "$exe")" \
  --timeout $((secs + 30)) "${shots[@]}" --stdout "$out/stdout.txt" --stderr "$out/stderr.txt" \
  "$out/bin/frame_driver.exe" "$exe" --run-ms $(((secs - 1) * 1000)) || rc=$?
# The shots are of the whole X screen: cut them to the demo's client area.
read -r cw ch cx cy < <(sed -nE 's/^driver: client at start ([0-9]+)x([0-9]+) at (-?[0-9]+) (-?[0-9]+).*/\1 \2 \3 \4/p' \
  "$out/stderr.txt" | tr -d '\r') || true
if [ -n "${cw:-}" ]; then
  for f in "$out"/screenshot-*.png; do
    [ -f "$f" ] && convert "$f" -crop "${cw}x${ch}+${cx}+${cy}" +repage "$f"
  done
fi
grep -a '^loop frames' "$out/stderr.txt" || true
if [ -f "$out/bin/cadoraLog.txt" ]; then
  cp "$out/bin/cadoraLog.txt" "$out/"
  # The plot tool is portable: built natively.
  [ -f build/native/CMakeCache.txt ] || cmake --preset native >/dev/null
  if cmake --build build/native --target plotlog >/dev/null; then
    build/native/tools/plotlog/plotlog "$out/cadoraLog.txt" "$out/cadoraLog.png" || true
  fi
fi
cat "$out/stdout.txt"
echo "exit code $rc; output, screenshots, cadoraLog.txt and its plot cadoraLog.png are in $out"
exit $rc
