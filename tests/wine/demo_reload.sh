# Sourced by demo_case.sh: hotkeys M and R on a private copy of the assets, edited while the demo
# runs. The sky's shader is made to paint magenta and the console's font colour set to green in
# config.ini; M must rebuild the sky's shader (sky.png before/after), R must re-read config.ini
# (the console line's colour, console-before.png/console-after.png).
sky_shader=$top/assets/shaders/sky.hlsl
grep -q 'return float4(color, 1.0);' "$sky_shader" || fail "the sky shader's output line is not where the test edits it"

# The options menu goes first (key 1) so that the console line at the top left has sky behind it.
console=0xC0
# Times from the end of loading.
shots_at=(console-before:4500 before:5500 after:11000 console-after:13500)
# The console is closed again before the driver's Escape, which would only close it.
args=(--expect 1280 720 --start-when "$work/loaded.up" --run-ms 15500 --at 1000 key 0x31 --at 2500 key $console
  --at 5000 key $console --at 6000 mark edit.up --at 7000 key 0x4D --at 8000 key 0x52 --at 11500 key $console
  --at 14000 key $console)
plan_shots
# The edits land while the demo runs, between the first shots and the key presses.
(
  for _ in $(seq 600); do [ -e "$work/edit.up" ] && break; sleep 0.1; done
  sed -i 's/return float4(color, 1.0);/return float4(1.0, 0.0, 1.0, 1.0);/' "$sky_shader"
  printf '[render_init]\nfontColor = 0 1 0 1\n' >>"$work/config.ini"
) &
editor=$!
watch_loaded
run_demo 150 --env MIREL_TRACE=1 "${shotargs[@]}" "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}"
wait "$editor"
origin
keep_shots reload-
rgb() { read -r r g b <<<"$1"; }
check() { awk -v r="$r" -v g="$g" -v b="$b" "BEGIN { exit !($1) }"; }
report() { echo "demo_case reload: $*"; }

# M: the sky in the upper right turns from blue to the edited shader's magenta.
before=$(mean "$work/before.png" 900 200 300 100); after=$(mean "$work/after.png" 900 200 300 100)
report "sky before M $before, after $after"
rgb "$before"; check 'b > r + 20' || fail "no blue sky before M: $before"
rgb "$after"; check 'r > g + 80 && b > g + 80' || fail "the edited sky shader did not take effect after M: $after"

# R: the console line at (10,10) is drawn in the font colour; green only after R.
green_before=$(share "$work/console-before.png" 0 0 80 30 0 255 0 30)
green_after=$(share "$work/console-after.png" 0 0 80 30 0 255 0 30)
report "green in the console line before R $green_before, after $green_after per mille"
[ "$green_before" -le 2 ] || fail "green in the console line before R: $green_before"
[ "$green_after" -ge 6 ] || fail "the console line is not green after R re-read config.ini: $green_after"

for line in "materials reloaded" "config reloaded"; do
  n=$(grep -c "^trace: $line$" "$work/err.txt" || true)
  report "\"$line\" traced $n times"
  [ "$n" -eq 1 ] || fail "\"$line\" traced $n times, not once"
done
