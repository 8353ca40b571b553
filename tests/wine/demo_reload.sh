# Sourced by demo_case.sh: hotkeys M and R on a private copy of the assets, edited while the demo
# runs. The sky's shader is made to paint magenta and the console's font colour set to green in
# config.ini; M must rebuild the sky's shader (sky.png before/after), R must re-read config.ini
# (the console line's colour, console-before.png/console-after.png).
sky_shader=$top/assets/shaders/sky.hlsl
grep -q 'return float4(color, 1.0);' "$sky_shader" || fail "the sky shader's output line is not where the test edits it"

# The options menu goes first (key 1) so that the console line at the top left has sky behind it.
console=0xC0
shots_at=(console-before:27500 before:28500 after:34000 console-after:36500)
# The console is closed again before the driver's Escape, which would only close it.
args=(--expect 1280 720 --run-ms 38500 --at 24000 key 0x31 --at 25500 key $console --at 28000 key $console
  --at 29000 mark edit.up --at 30000 key 0x4D --at 31000 key 0x52 --at 34500 key $console --at 37000 key $console)
shotargs=()
for s in "${shots_at[@]}"; do
  name=${s%%:*}
  args+=(--at "${s#*:}" mark "$name.up")
  shotargs+=(--screenshot-when "$work/$name.up" --screenshot "$work/$name.png")
done
# The edits land while the demo runs, between the first shots and the key presses.
(
  for _ in $(seq 600); do [ -e "$work/edit.up" ] && break; sleep 0.1; done
  sed -i 's/return float4(color, 1.0);/return float4(1.0, 0.0, 1.0, 1.0);/' "$sky_shader"
  printf '[render_init]\nfontColor = 0 1 0 1\n' >>"$work/config.ini"
) &
editor=$!
run_demo 120 --env MIREL_TRACE=1 "${shotargs[@]}" "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}"
wait "$editor"
origin
for s in "${shots_at[@]}"; do
  name=${s%%:*}
  [ -s "$work/$name.png" ] || fail "no screenshot $name"
  cp "$work/$name.png" "$shots/reload-$name.png"
done
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
