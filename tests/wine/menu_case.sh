#!/usr/bin/env bash
# The options menu as the program builds it, seen from outside under Wine.
#
#   menu_case.sh CASE DEMO_EXE DRIVER_EXE STUB_DLL
#
# Both cases: frame_driver.exe runs the demo as its debugger; the debugger lines (the seven
# fps-choice lines, sent when the menu is built) must equal expected/fps_lines_CASE.txt byte for
# byte. capable: the stand-in library reports a 48-144 Hz display, and the run goes past loading:
# with vsyncOn the device keeps presenting with sync interval 1 until a real click on the VSYNC
# box, then 0 (the "trace: vsync interval N" lines). no_library: no display library.
set -euo pipefail
case=$1 exe=$2 driver=$3 stub=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
expected=$here/expected/fps_lines_$case.txt
[ -f "$expected" ] || { echo "menu_case: no expected lines for '$case'" >&2; exit 2; }
top=$(mktemp -d "${TMPDIR:-/tmp}/menu-case.XXXXXX")
trap 'rm -rf "$top"' EXIT
# The program finds its assets one level above its folder.
work=$top/bin
mkdir -p "$work"
cp -r "$(readlink -f "$here/../../assets")" "$top/assets"
cp "$exe" "$driver" "$work/"
cp "$(dirname "$exe")/mirelFont.spritefont" "$work/" 2>/dev/null || true
printf '[render_init]\nfullscreen = false\nvsyncOn = true\nmax_resolution_X = 1280\nmax_resolution_Y = 720\n' \
  >"$work/config.ini"
fail() { echo "menu_case $case: $*" >&2; echo "--- stderr (tail)" >&2; tail -40 "$work/err.txt" >&2 || true; exit 1; }

# The VSYNC box: the menu's frame at (10,10), the box 26 x 26 at +(200,138) in client pixels.
vsync_x=223 vsync_y=161
case $case in
capable)
  cp "$stub" "$work/tesklib.dll"
  printf 'adapter 0\nprimary 0\nmap 0 0 0 1\ntarget 0 0 0\nrange 0 0 48000000 144000000\n' >"$work/stub.cfg"
  args=(--expect 1280 720 --run-ms 33000 --at 30000 click $vsync_x $vsync_y) ;;
no_library) args=(--run-ms 300) ;;
*) echo "unknown case $case" >&2; exit 2 ;;
esac

rc=0
"$here/../../scripts/wine-run.sh" --cwd "$work" --timeout 120 --env MIREL_TRACE=1 \
  --env "TESKLIB_STUB_CONFIG=$work/stub.cfg" --stdout "$work/stdout.txt" --stderr "$work/stderr.txt" \
  "$work/$(basename "$driver")" "$work/$(basename "$exe")" --debug-out "$work/debug.txt" "${args[@]}" || rc=$?
tr -d '\r' <"$work/stderr.txt" >"$work/err.txt"
[ "$rc" -eq 0 ] || fail "exit status $rc"
grep -qx "driver: exit code 27" "$work/err.txt" || fail "the demo did not end with exit code 27 (Escape)"
! grep -q "MIREL ERROR" "$work/err.txt" || fail "assertion reported"

if ! cmp -s "$expected" "$work/debug.txt"; then
  diff <(cat -A "$expected") <(cat -A "$work/debug.txt") >&2 || true
  fail "debugger lines differ from expected/fps_lines_$case.txt"
fi

if [ "$case" = capable ]; then
  # Sync intervals handed to the device, in order, and whether each came before the click.
  seq=$(awk '/^driver: at [0-9]+ ms c$/ { clicked = 1 }
    /^trace: vsync interval / { printf "%s%s ", $4, clicked ? "after" : "before" }' "$work/err.txt")
  echo "menu_case capable: vsync intervals: $seq"
  [ "$seq" = "1before 0after " ] || fail "expected interval 1 from loading until the click on VSYNC, then 0: $seq"
fi
echo "menu_case $case: passed"
