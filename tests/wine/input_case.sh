#!/usr/bin/env bash
# Input and reports in the whole program under Wine, driven by real input from frame_driver.exe:
#   pad               a stand-in xinput1_4.dll beside the program plays scripted sticks; after
#                     loading they move the camera, and a held stick stops when the focus goes
#   console           the console typed as keys: hold, close and reopen with the console key,
#                     unhold; Escape is refused while locked and quits after
#   fullscreen_report full screen with a texture missing: full screen is left before the report
#
#   input_case.sh CASE DEMO_EXE DRIVER_EXE XINPUT_STUB
set -euo pipefail
case=$1 exe=$2 driver=$3 stub=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(mktemp -d "${TMPDIR:-/tmp}/input-case.XXXXXX")
trap 'rm -rf "$top"' EXIT
work=$top/bin
mkdir -p "$work"
cp "$exe" "$driver" "$work/"
cp "$(dirname "$exe")/mirelFont.spritefont" "$work/" 2>/dev/null || true
fail() { echo "input_case $case: $*" >&2; echo "--- stderr" >&2; grep -v '^prop ' "$work/err.txt" >&2 || true; exit 1; }
windowed='[render_init]\nfullscreen = false\nmax_resolution_X = 1024\nmax_resolution_Y = 768\n'

env=(--env MIREL_TRACE=1)
case $case in
pad)
  cp -r "$(readlink -f "$here/../../assets")" "$top/assets"
  printf "$windowed" >"$work/config.ini"
  cp "$stub" "$work/xinput1_4.dll"
  # The pad's and the driver's times both count from the end of loading. Key 1 hides the
  # options menu, which hands the free camera to the user. Forward, rest, forward and turning
  # (A held) through the focus going and coming back, rest.
  printf '0 0 0 0 0 0 0 0\n2000 0 0 0 0 32767 0 0\n4000 0 0 0 0 0 0 0\n5000 0x1000 0 0 0 32767 20000 0\n12000 0 0 0 0 0 0 0\n' >"$work/pad.txt"
  env+=(--env XINPUT_STUB_SCRIPT=pad.txt --env "XINPUT_STUB_START=$work/loaded.up"
    --env "WINEDLLOVERRIDES=mscoree,mshtml=;xinput1_4=n")
  args=(--start-when "$work/loaded.up" --run-ms 13000 --at 0 key 0x31 --at 7000 focus other --at 10000 focus demo) ;;
console)
  cp -r "$(readlink -f "$here/../../assets")" "$top/assets"
  printf "$windowed" >"$work/config.ini"
  args=(--start-when "$work/loaded.up" --run-ms 11500 --at 0 key 0xC0 --at 1000 type plq_hold --at 2500 key 0x0D
    --at 3500 key 0xC0 --at 4500 key 0x1B --at 5500 key 0xC0 --at 6500 type plq_unhold --at 8000 key 0x0D
    --at 9000 key 0xC0 --at 10500 mark console.done) ;;
fullscreen_report)
  cp -rL "$here/../../assets" "$top/assets"
  rm "$top/assets/textures/ground.dds"
  printf '[render_init]\nfullscreen = true\nmax_resolution_X = 1024\nmax_resolution_Y = 768\n' >"$work/config.ini"
  args=(--run-ms 9000) ;;
*) echo "unknown case $case" >&2; exit 2 ;;
esac

# Timelines start once the demo has loaded (the first step after loading traces the menu).
if [ "$case" != fullscreen_report ]; then
  ( for _ in $(seq 1 900); do
      grep -aq "trace: menu shown 1" "$work/stderr.txt" 2>/dev/null && break
      sleep 0.1
    done
    touch "$work/loaded.up" ) &
fi
rc=0
"$here/../../scripts/wine-run.sh" --cwd "$work" --timeout 120 "${env[@]}" --stdout "$work/stdout.txt" \
  --stderr "$work/stderr.txt" "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}" || rc=$?
wait
tr -d '\r' <"$work/stderr.txt" >"$work/err.txt"
# The driver checks the exit code of the way it quit (27 after Escape).
[ "$rc" -eq 0 ] || fail "exit status $rc"
[ "$case" = fullscreen_report ] || ! grep -q "MIREL ERROR" "$work/err.txt" || fail "assertion reported"

case $case in
pad)
  # The camera's position lines ("once a second while it moves") in three spans: the first push,
  # the focus away with the stick held, and the focus back.
  read -r pushed away back < <(awk '
    /^trace: pad .* left 0.00 1.00/ && !p1 { p1 = 1; span = "push" }
    /^trace: pad .* left 0.00 0.00/ && span == "push" { span = "" }
    /^driver: at [0-9]+ ms f/ { f++; span = f == 1 ? "away" : "back" }
    /^trace: camera at / { if (span == "push" && $0 != last) n1++; if (span == "away") n2++; if (span == "back") n3++; last = $0 }
    END { print n1 + 0, n2 + 0, n3 + 0 }' "$work/err.txt")
  echo "input_case pad: camera lines while pushed $pushed, focus away $away, focus back $back"
  grep -q "^trace: pad connected buttons 0x1000 left 0.00 1.00 right 0.61 0.00" "$work/err.txt" || fail "the pad's second push was never read"
  [ "$pushed" -ge 1 ] || fail "the left stick did not move the camera after loading"
  [ "$away" -le 1 ] || fail "a held stick kept moving the camera without the focus ($away lines)"
  [ "$back" -ge 1 ] || fail "the stick did not move the camera once the focus came back" ;;
console)
  grep -q "^trace: console: keyboard locked" "$work/err.txt" || fail "plq_hold did not lock the keyboard"
  grep -q "^trace: console: keyboard unlocked" "$work/err.txt" || fail "plq_unhold did not unlock the keyboard"
  [ -e "$work/console.done" ] || fail "the demo ended before the unlock: Escape quit while locked" ;;
fullscreen_report)
  first_report=$(grep -n -m1 "MIREL ERROR" "$work/err.txt" | cut -d: -f1) || fail "no report of the missing texture"
  left=$(grep -n -m1 "^trace: left full screen" "$work/err.txt" | cut -d: -f1) || fail "full screen was not left for the report"
  [ "$left" -lt "$first_report" ] || fail "full screen was left only after the report" ;;
esac
echo "input_case $case: passed"
