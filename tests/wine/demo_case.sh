#!/usr/bin/env bash
# The whole demo under Wine, seen from outside: screenshots probed in regions, the controller's
# log, and a soak run watching memory and the frame counter.
#
#   demo_case.sh screens DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR
#   demo_case.sh overlays DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR
#   demo_case.sh soak    DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR [SECONDS]
#   demo_case.sh features DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR   (every widget and hotkey)
#   demo_case.sh reload|nomodel DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR   (on a copy of the assets)
#   demo_case.sh devicelost DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR   (a removed device, forced)
#   demo_case.sh fault DEMO_EXE DRIVER_EXE STUB_DLL SHOTS_DIR "PATH KIND"   (one broken file)
# Screenshots and logs are kept in SHOTS_DIR for people to look at.
set -euo pipefail
case=$1 exe=$2 driver=$3 stub=$4 shots=$5
seconds=${6:-60}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(mktemp -d "${TMPDIR:-/tmp}/demo-case.XXXXXX")
trap 'rm -rf "$top"' EXIT
work=$top/bin
mkdir -p "$work" "$shots"
cp -r "$(readlink -f "$here/../../assets")" "$top/assets"
cp "$exe" "$driver" "$work/"
cp "$stub" "$work/tesklib.dll"
cp "$(dirname "$exe")/mirelFont.spritefont" "$work/" 2>/dev/null || true
printf 'adapter 0\nprimary 0\nmap 0 0 0 1\ntarget 0 0 0\nrange 0 0 48000000 144000000\n' >"$work/stub.cfg"
cat >"$work/config.ini" <<'INI'
[render_init]
fullscreen = false
max_resolution_X = 1280
max_resolution_Y = 720
[debug]
logThreads = "true"
INI

fail() {
  echo "demo_case $case: $*" >&2
  echo "--- stderr (tail)" >&2; tail -40 "$work/err.txt" >&2 2>/dev/null || true
  exit 1
}
finish_run() {
  tr -d '\r' <"$work/stderr.txt" >"$work/err.txt"
  cp "$work/err.txt" "$shots/$case-stderr.txt"
  cp "$work/cadoraLog.txt" "$shots/$case-cadoraLog.txt" 2>/dev/null || true
  grep -q "driver: exit code ${expected_exit:-27}$" "$work/err.txt" ||
    fail "the demo did not end with exit code ${expected_exit:-27} (27: Escape)"
  local errors
  errors=$(grep -c "MIREL ERROR" "$work/err.txt" || true)
  if [ "$errors" -ne "${expected_errors:-0}" ]; then
    grep -A4 "MIREL ERROR" "$work/err.txt" >&2
    fail "$errors assertions reported, expected ${expected_errors:-0}"
  fi
}

# Mean colour "R G B" (0-255) of a region given in client coordinates of the demo's window.
ox=0 oy=0
mean() {
  convert "$1" -crop "$4x$5+$((ox + $2))+$((oy + $3))" +repage -scale '1x1!' \
    -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:
}
# Share in per mille (0-1000) of pixels in a region whose colour is close to R G B.
share() {
  local f=$1 x=$2 y=$3 w=$4 h=$5 r=$6 g=$7 b=$8 fuzz=${9:-20}
  # Everything else goes black first, so that pixels already white are not counted.
  convert "$f" -crop "${w}x${h}+$((ox + x))+$((oy + y))" +repage -fuzz "$fuzz%" -fill black \
    +opaque "rgb($r,$g,$b)" -fill white -opaque "rgb($r,$g,$b)" -format '%[fx:int(1000*mean+0.5)]' info:
}
origin() {
  read -r ox oy < <(sed -nE 's/^driver: client at start [0-9]+x[0-9]+ at (-?[0-9]+) (-?[0-9]+).*/\1 \2/p' "$work/err.txt")
  [ -n "$ox" ] || fail "no window origin"
}
# For each NAME:MS of shots_at the driver makes NAME.up at MS and a screenshot NAME.png is taken
# when it appears (plan_shots adds to args and sets shotargs); keep_shots PREFIX checks and keeps them.
plan_shots() {
  shotargs=()
  local s
  for s in "${shots_at[@]}"; do
    args+=(--at "${s#*:}" mark "${s%%:*}.up")
    shotargs+=(--screenshot-when "$work/${s%%:*}.up" --screenshot "$work/${s%%:*}.png")
  done
}
keep_shots() {
  local s
  for s in "${shots_at[@]}"; do
    [ -s "$work/${s%%:*}.png" ] || fail "no screenshot ${s%%:*}"
    cp "$work/${s%%:*}.png" "$shots/$1${s%%:*}.png"
  done
}
# Makes $work/loaded.up once the demo reports its first step after loading (needs MIREL_TRACE=1);
# a driver started with --start-when on that file counts its action times from there.
watch_loaded() {
  ( for _ in $(seq 1 1200); do
      grep -aq "trace: menu shown 1" "$work/stderr.txt" 2>/dev/null && break
      sleep 0.1
    done
    touch "$work/loaded.up" ) &
}
run_demo() {
  local timeout=$1; shift
  local rc=0
  "$here/../../scripts/wine-run.sh" --cwd "$work" --timeout "$timeout" --env MIREL_LOOP_STATS=1 \
    --env "TESKLIB_STUB_CONFIG=$work/stub.cfg" --stdout "$work/stdout.txt" --stderr "$work/stderr.txt" \
    "$@" || rc=$?
  finish_run
  [ "$rc" -eq 0 ] || fail "exit status $rc"
}

case $case in
screens) . "$here/demo_screens.sh" ;;
overlays) . "$here/demo_overlays.sh" ;;
soak) . "$here/demo_soak.sh" ;;
features) . "$here/demo_features.sh" ;;
reload) . "$here/demo_reload.sh" ;;
nomodel) . "$here/demo_nomodel.sh" ;;
devicelost) . "$here/demo_devicelost.sh" ;;
fault) fault=$6 && . "$here/demo_fault.sh" ;;
*) echo "unknown case $case" >&2; exit 2 ;;
esac
