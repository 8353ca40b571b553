#!/usr/bin/env bash
# The program's frame under Wine: it opens "Cadora Demo" with the configured client size, runs
# through Loading, WarmUp (exactly four frames) and Pipelined, and ends with exit code 27 on a
# real Escape key press or 0 on WM_CLOSE; a windowed resize reaches the resolution properties.
#
#   frame_case.sh CASE DEMO_EXE DRIVER_EXE
set -euo pipefail
case=$1 exe=$2 driver=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(mktemp -d "${TMPDIR:-/tmp}/frame-case.XXXXXX")
trap 'rm -rf "$top"' EXIT
# The program finds its assets one level above its folder.
work=$top/bin
mkdir -p "$work"
cp -r "$(readlink -f "$here/../../assets")" "$top/assets"
cp "$exe" "$driver" "$work/"
# The statistics overlay reads its font beside the program.
cp "$(dirname "$exe")/mirelFont.spritefont" "$work/" 2>/dev/null || true
fail() { echo "frame_case $case: $*" >&2; echo "--- stdout" >&2; cat "$work/stdout.txt" >&2 || true; echo "--- stderr" >&2; cat "$work/stderr.txt" >&2 || true; exit 1; }

args=() extra=()
case $case in
escape)
  printf '[render_init]\nfullscreen = false\nmax_resolution_X = 1280\nmax_resolution_Y = 720\n' >"$work/config.ini"
  args=(--expect 1280 720 --run-ms 12000) ;;
close)
  printf '[render_init]\nfullscreen = false\nmax_resolution_X = 800\nmax_resolution_Y = 600\n' >"$work/config.ini"
  args=(--expect 800 600 --run-ms 11000 --close) ;;
resize)
  printf '[render_init]\nfullscreen = false\nmax_resolution_X = 1024\nmax_resolution_Y = 768\n' >"$work/config.ini"
  # After loading, so that the options menu and the statistics are up; the second shot once
  # frames at the new size have reached the screen.
  args=(--expect 1024 768 --run-ms 32000 --at 27000 mark menu.up --at 28000 resize 640 480
    --at 31000 mark resized.up)
  extra=(--env MIREL_TRACE=1 --screenshot-when "$work/menu.up" --screenshot "$work/before.png"
    --screenshot-when "$work/resized.up" --screenshot "$work/after.png") ;;
resize_fullscreen)
  printf '[render_init]\nfullscreen = true\nmax_resolution_X = 1024\nmax_resolution_Y = 768\n' >"$work/config.ini"
  args=(--expect 1024 768 --run-ms 10500 --resize 640 480) ;;
absurd_size)
  # Caps of 0 and -5 leave no usable size; the window still opens, as large as the screen allows.
  printf '[render_init]\nfullscreen = false\nmax_resolution_X = 0\nmax_resolution_Y = -5\n' >"$work/config.ini"
  args=(--run-ms 10500) ;;
*) echo "unknown case $case" >&2; exit 2 ;;
esac

rc=0
"$here/../../scripts/wine-run.sh" --cwd "$work" --timeout 120 --env MIREL_LOOP_STATS=1 --env MIREL_DUMP_PROPERTIES=1 \
  ${extra[@]+"${extra[@]}"} --stdout "$work/stdout.txt" --stderr "$work/stderr.txt" --screenshot-when "$work/scene.up" --screenshot "$work/shot.png" \
  "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}" --marker window.up --at 5000 mark scene.up || rc=$?
tr -d '\r' <"$work/stdout.txt" >"$work/out.txt"; tr -d '\r' <"$work/stderr.txt" >"$work/err.txt"
[ "$rc" -eq 0 ] || fail "exit status $rc"
want=27; [ "$case" = close ] && want=0
grep -qx "driver: exit code $want" "$work/err.txt" || fail "no exit code $want"
! grep -q "MIREL ERROR" "$work/err.txt" || fail "assertion reported"

stats=$(grep '^loop frames:' "$work/err.txt") || fail "no loop counters"
read -r loading warmup pipelined total < <(echo "$stats" | sed -E 's/.*loading ([0-9]+) warmup ([0-9]+) pipelined ([0-9]+) total ([0-9]+).*/\1 \2 \3 \4/')
[ "$loading" -ge 1 ] || fail "no Loading frame: $stats"
[ "$warmup" -eq 4 ] || fail "WarmUp ran $warmup frames, not 4: $stats"
[ "$total" -ge 20 ] && [ "$pipelined" -ge 1 ] || fail "too few frames: $stats"

# The window is on the X screen: the bare root is one colour, a window adds its frame and client.
# The shot waits for the first rendered frames: an unpainted full-screen window is one colour too.
[ -s "$work/shot.png" ] || fail "no screenshot"
colours=$(convert "$work/shot.png" -format '%k' info:)
[ "$colours" -ge 2 ] || fail "screenshot shows no window"

exitprop() { awk '/^properties at exit/{on=1;next} on' "$work/err.txt" | grep "^prop render_init.$1 " | awk '{print $4}'; }
case $case in
absurd_size)
  grep -Eq "client at start (1[0-9]{3})x([0-9]{3,4})" "$work/err.txt" || fail "no screen-sized window" ;;
resize)
  grep -q "client after resize 640x480" "$work/err.txt" || fail "window not resized"
  [ "$(exitprop resolutionX)" = 640 ] && [ "$(exitprop resolutionY)" = 480 ] || fail "windowed resize did not reach the resolution"
  grep -q "trace: frame presented at 640x480" "$work/err.txt" || fail "no frame presented at 640x480"
  # Drawn at the right scale the menu's title and the statistics block keep their size in pixels
  # (a stale size in the per-frame block shrinks the menu to 640/1024): bounding boxes of their
  # white pixels, the statistics 350 px from the right edge.
  read -r ox oy < <(sed -nE 's/^driver: client at start [0-9]+x[0-9]+ at (-?[0-9]+) (-?[0-9]+).*/\1 \2/p' "$work/err.txt")
  box() {
    convert "$1" -crop "$4x$5+$((ox + $2))+$((oy + $3))" +repage -fx "min(r, min(g, b)) > $6 ? 1 : 0" -trim \
      -format '%w %h' info:
  }
  [ -s "$work/before.png" ] && [ -s "$work/after.png" ] || fail "no screenshots around the resize"
  m1=$(box "$work/before.png" 15 50 240 45 0.8); m2=$(box "$work/after.png" 15 50 240 45 0.8)
  m1=${m1%% *} m2=${m2%% *}
  s1=$(box "$work/before.png" 674 0 345 230 0.9); s2=$(box "$work/after.png" 290 0 345 230 0.9)
  echo "frame_case resize: menu title $m1 px wide before the resize, $m2 px after; statistics $s1 before, $s2 after"
  [ "$m1" -ge 120 ] || fail "no menu title before the resize ($m1 px)"
  [ $((m1 > m2 ? m1 - m2 : m2 - m1)) -le 4 ] || fail "the menu changed its size with the window: $m1 -> $m2 px"
  sw1=${s1%% *} sh1=${s1##* } sw2=${s2%% *} sh2=${s2##* }
  [ "$sh1" -ge 150 ] || fail "no statistics text before the resize ($s1)"
  [ $((sw1 > sw2 ? sw1 - sw2 : sw2 - sw1)) -le 10 ] && [ $((sh1 > sh2 ? sh1 - sh2 : sh2 - sh1)) -le 4 ] ||
    fail "the statistics text changed its size with the window: $s1 -> $s2" ;;
resize_fullscreen)
  [ "$(exitprop resolutionX)" = 1024 ] && [ "$(exitprop resolutionY)" = 768 ] || fail "full-screen resize changed the resolution" ;;
esac
echo "frame_case $case: $stats"
