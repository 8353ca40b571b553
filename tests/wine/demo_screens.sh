# Sourced by demo_case.sh: what a user sees, probed in regions of screenshots of one run.
#   load*.png   while loading: the dark load screen with its red progress bar
#   scene.png   the scene (sky above, field below, the windmill) with the options menu open
#   click on the 60 fps box of the menu -> the controller's target becomes 16.67 ms
#   key 1       -> menu.png: the menu is gone, the scene shows where it was
#   control+2   -> stats.png: the debug figures in red appear (the debug hotkeys are on)
#   the menu again, a click on RED BAR, control+3 -> overlays.png: the red bar and the graph
printf '[debug]\nhotkey = "true"\n' >>"$work/config.ini"

# Client coordinates of the options menu: the frame from (10,10); the fps boxes in a row at
# y 255, 85 px apart. With a 48-144 Hz display the choices are 55 (the default) and 60 fps.
fps60_x=140 fps60_y=270
redbar_x=215 redbar_y=615
shots_at=(load1:1500 load2:3000 load3:5000 load4:8000 scene:25000 menu:30000 stats:33000 overlays:39000)
args=(--expect 1280 720 --run-ms 40000 --at 26000 click $fps60_x $fps60_y --at 28000 key 0x31 --at 31000 ctrl-key 0x32
  --at 34000 ctrl-key 0x32 --at 34500 key 0x31 --at 35500 click $redbar_x $redbar_y --at 36000 ctrl-key 0x33
  --at 36500 key 0x31)
plan_shots
run_demo 150 "${shotargs[@]}" "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}"
origin
keep_shots ""

# Channels of a mean colour, and an awk test over them.
rgb() { read -r r g b <<<"$1"; }
check() { awk -v r="$r" -v g="$g" -v b="$b" "BEGIN { exit !($1) }"; }
report() { echo "demo_case screens: $*"; }

# Loading: the image is dark and the progress bar along its lower edge is red, in at least one
# of the early shots (the window may not be painted at the first one on a slow machine).
loaded=0
for name in load1 load2 load3 load4; do
  m=$(mean "$work/$name.png" 0 0 1280 720); red=$(share "$work/$name.png" 0 600 1280 120 220 30 30 25)
  report "$name mean $m, red in the lower band $red per mille"
  rgb "$m"
  if check 'r + g + b < 3 * 90' && [ "$red" -ge 30 ]; then loaded=1; fi
done
[ "$loaded" -eq 1 ] || fail "no shot of the load screen with its bar"

# The scene: sky above the horizon on the right of the menu, a green field at the bottom.
sky=$(mean "$work/menu.png" 900 200 300 100); field=$(mean "$work/menu.png" 600 620 600 80)
report "sky $sky, field $field"
rgb "$sky"; check 'b > r + 20 && b > 100' || fail "no sky in the upper right: $sky"
rgb "$field"; check 'g > b + 10 && g >= r' || fail "no field at the bottom: $field"
# The windmill's tower stands in the middle from the start position of the camera (the sails
# sweep above this patch): pale stone, neither sky nor grass.
tower=$(mean "$work/menu.png" 610 620 40 60)
report "tower $tower"
rgb "$tower"; check 'r > 100 && r >= b + 5 && g <= r + 5' || fail "no windmill tower in the middle: $tower"

# The menu: its region differs clearly between the shot with it and the one without.
with=$(mean "$work/scene.png" 20 250 360 60); without=$(mean "$work/menu.png" 20 250 360 60)
report "menu region with the menu $with, without $without"
read -r r1 g1 b1 <<<"$with"; read -r r2 g2 b2 <<<"$without"
diff=$(( (r1 > r2 ? r1 - r2 : r2 - r1) + (g1 > g2 ? g1 - g2 : g2 - g1) + (b1 > b2 ? b1 - b2 : b2 - b1) ))
[ "$diff" -ge 30 ] || fail "key 1 did not hide the menu (difference $diff)"

# The click on the 60 fps box: the target goes from 1000/55 to 1000/60 ms.
log=$(tr -d '\r' <"$work/cadoraLog.txt" | sed -nE 's/^(\[[^]]*\])?TargetMs: ([0-9.]+),.*/\2/p')
before=$(echo "$log" | awk '$1 > 18.1 && $1 < 18.3' | wc -l)
after=$(echo "$log" | awk '$1 > 18.1 && $1 < 18.3 { seen = 1 } seen && $1 > 16.6 && $1 < 16.7' | wc -l)
report "frames at the 55 fps target $before, at the 60 fps target $after"
[ "$before" -ge 10 ] || fail "the default target of 55 fps was not logged"
[ "$after" -ge 10 ] || fail "the click on the 60 fps box did not change the target"
last=$(echo "$log" | tail -1)
awk -v t="$last" 'BEGIN { exit !(t > 16.6 && t < 16.7) }' || fail "the last target is $last ms, not 16.67"

# Control+2: the debug figures are drawn in red, at the top right and across the middle.
for region in "920 30 360 100" "360 420 900 140"; do
  # shellcheck disable=SC2086
  red_before=$(share "$work/menu.png" $region 255 0 0 25); red_after=$(share "$work/stats.png" $region 255 0 0 25)
  report "red in $region before control+2 $red_before, after $red_after per mille"
  [ "$red_after" -ge $((red_before + 8)) ] || fail "control+2 showed no red debug figures in $region"
done

# RED BAR on: a full-height red bar somewhere across the picture (it sweeps), as much red in
# the top rows as in the bottom ones. (The frame-time graph's band is around the target frame
# time; at a software rasteriser's frame times its line lies outside the picture, so the graph
# is judged by its own view test.)
top_red=$(share "$work/overlays.png" 0 0 1280 100 255 0 0 25); bottom_red=$(share "$work/overlays.png" 0 620 1280 100 255 0 0 25)
report "red bar: red in the top rows $top_red, in the bottom rows $bottom_red per mille"
[ "$top_red" -ge 10 ] && [ "$bottom_red" -ge 10 ] || fail "no red bar after the click on RED BAR"
[ $((top_red > bottom_red ? top_red - bottom_red : bottom_red - top_red)) -le 20 ] || fail "the red bar is not a full-height bar"
