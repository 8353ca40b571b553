# Sourced by demo_case.sh: every options-menu widget and every hotkey of the README's table
# (console, pad and resize have runs of their own), driven by real input once the demo has
# loaded, each judged from the demo's trace lines, its controller log or a screenshot.
printf '[debug]\nhotkey = "true"\n' >>"$work/config.ini"

# Client coordinates of the widgets (the menu's frame starts at 10,10).
vrr="222 102" vsync="222 160" sweep="96 341" fps55="35 270"
orbit="173 393" sway="173 429" free="173 465" redbar="228 627"
steps=(
  "click $vrr" "click $vrr" "click $vsync" "click $sweep" "click $fps55"
  "click $orbit" "click $sway" "click $free" "drag left 60 571 300 571"
  "click $redbar" "click $redbar"
  "key 0x31" "hold 0x57 1500" "hold 0x53 800" "hold 0x41 800" "hold 0x44 800"
  "drag left 640 360 660 360" "drag middle 640 360 640 358"
  "key 0x5A" "key 0x5A" "key 0x5A"
  "mark $work/noshadow.up" "key 0x54" "mark $work/shadow.up" "key 0x54"
  "ctrl-key 0x32" "ctrl-key 0x32" "ctrl-key 0x33" "ctrl-key 0x33"
  "ctrl-key 0x34" "ctrl-key 0x36" "ctrl-key 0x38"
  "key 0x4D" "key 0x52" "key 0x31" "mark $work/end.up"
)
# Far enough apart for the camera to come to rest (half a second) between two actions: each
# step gets its own duration (a held key, a drag of about 1.5 s) and 1.5 s more.
args=(--expect 1280 720 --start-when "$work/loaded.up")
t=1500
for s in "${steps[@]}"; do
  # shellcheck disable=SC2206
  args+=(--at "$t" $s)
  case "$s" in
  hold*) t=$((t + ${s##* } + 1500)) ;;
  drag*) t=$((t + 3000)) ;;
  *) t=$((t + 1500)) ;;
  esac
done
args+=(--run-ms $((t + 1500)))

watch_loaded
run_demo 200 --env MIREL_TRACE=1 --screenshot-when "$work/loaded.up" --screenshot "$work/features-menu.png" \
  --screenshot-when "$work/noshadow.up" --screenshot "$work/features-noshadow.png" \
  --screenshot-when "$work/shadow.up" --screenshot "$work/features-shadow.png" \
  --screenshot-when "$work/end.up" --screenshot "$work/features-end.png" \
  "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}"
wait
origin
for f in features-menu features-noshadow features-shadow features-end; do
  [ -s "$work/$f.png" ] || fail "no screenshot $f"
  cp "$work/$f.png" "$shots/"
done

report() { echo "demo_case features: $*"; }
# The trace lines of one kind, in order, each as its last field(s).
traced() { sed -nE "s/^trace: $1 (.*)$/\1/p" "$work/err.txt" | tr '\n' ' ' | sed 's/ $//'; }
expect_trace() {
  local got
  got=$(traced "$1")
  report "$1: $got"
  [ "$got" = "$2" ] || fail "$1 went '$got', expected '$2'"
}

# The menu's boxes and the hotkeys that flip a switch: each value in the order the input set it.
expect_trace "variable refresh box" "1 0 1"
expect_trace "sweep" "0 1 0"
expect_trace "camera mode" "2 0 1 2"
expect_trace "red bar" "0 1 0"
expect_trace "menu shown" "1 0 1"
expect_trace "controlled camera" "mainCamera sunCamera shadowCam mainCamera"
expect_trace "debug texture" "-1 0 -1"
expect_trace "statistics" "0 1 0"
expect_trace "graph" "0 1 0"
vs=$(traced "vsync interval")
report "vsync interval: $vs"
case "$vs" in "1 0" | "0 1") ;; *) fail "the VSYNC box did not switch the device's sync interval: '$vs'" ;; esac
for timer in frame present update; do
  grep -q "^trace: $timer timer reset" "$work/err.txt" || fail "control+key did not reset the $timer timer"
done

# The fps boxes: the sweep moves the logged target, the 55 box brings back 1000/55 ms.
log=$(tr -d '\r' <"$work/cadoraLog.txt" | sed -nE 's/^(\[[^]]*\])?TargetMs: ([0-9.]+),.*/\2/p')
spread=$(echo "$log" | awk 'NR == 1 { lo = hi = $1 } { if ($1 < lo) lo = $1; if ($1 > hi) hi = $1 } END { printf "%.2f", hi - lo }')
last=$(echo "$log" | tail -1)
report "logged targets spread over $spread ms, last $last ms"
awk -v s="$spread" 'BEGIN { exit !(s > 1.0) }' || fail "the sweep did not move the target"
awk -v t="$last" 'BEGIN { exit !(t > 18.1 && t < 18.3) }' || fail "the 55 fps box did not set 18.18 ms"

# ANIMATION SPEED dragged toward FAST: the blades turn faster than the default 65 degrees/s.
speed=$(traced "blade speed" | awk '{ print $NF }')
report "blade speed after the drag: $speed"
[ "${speed:-0}" -gt 80 ] || fail "the animation-speed slider did not speed up the blades"

# The free camera at rest after each movement: W forward, S back, A and D sideways (position
# only), a left drag turns it (rotation only), a middle drag lifts it (height only). The pose
# before action k is the main camera's last pose at rest when the driver begins action k.
mapfile -t snaps < <(awk '/^trace: camera mainCamera at rest at / { sub(/^.* at rest at /, ""); sub(/ turned /, " "); pose = $0 }
  /^driver: begin at / { print pose }' "$work/err.txt")
pose_at() { # the pose before the step whose text is $1
  local i
  for i in "${!steps[@]}"; do [ "${steps[$i]}" = "$1" ] && { echo "${snaps[$i]}"; return; }; done
}
[ "${#snaps[@]}" -eq "${#steps[@]}" ] || fail "the driver began ${#snaps[@]} of ${#steps[@]} actions"
moved() { # moved A B: 1 when the ground position differs, 2 when the rotation does, 4 for the height
  awk -v a="$1" -v b="$2" 'BEGIN { split(a, x, " "); split(b, y, " "); m = 0
    if ((x[1] - y[1]) ^ 2 + (x[3] - y[3]) ^ 2 > 0.01) m += 1
    if ((x[4] - y[4]) ^ 2 + (x[5] - y[5]) ^ 2 > 0.01) m += 2
    if ((x[2] - y[2]) ^ 2 > 0.01) m += 4
    print m }'
}
moves=("hold 0x57 1500:W:1" "hold 0x53 800:S:1" "hold 0x41 800:A:1" "hold 0x44 800:D:1"
  "drag left 640 360 660 360:turn:2" "drag middle 640 360 640 358:lift:4" "key 0x5A:Z:0")
for i in 0 1 2 3 4 5; do
  IFS=: read -r step name want <<<"${moves[$i]}"
  before=$(pose_at "$step") after=$(pose_at "${moves[$((i + 1))]%%:*}")
  m=$(moved "$before" "$after")
  report "$name: $before -> $after (change $m)"
  # Looking slightly down, W and S change the height with the ground position.
  case $name in
  W | S) [ $((m & 3)) -eq 1 ] || fail "$name did not move the camera alone (change $m)" ;;
  *) [ "$m" -eq "$want" ] || fail "$name changed $m, expected $want" ;;
  esac
done
# S undoes part of W's travel; D goes the other way from A.
farther() { awk -v a="$1" -v b="$2" -v c="$3" 'BEGIN { split(a, x, " "); split(b, y, " "); split(c, z, " ")
  exit !((z[1] - x[1]) ^ 2 + (z[3] - x[3]) ^ 2 < (y[1] - x[1]) ^ 2 + (y[3] - x[3]) ^ 2) }'; }
farther "$(pose_at "hold 0x57 1500")" "$(pose_at "hold 0x53 800")" "$(pose_at "hold 0x41 800")" ||
  fail "S did not move the camera back"
farther "$(pose_at "hold 0x41 800")" "$(pose_at "hold 0x44 800")" "$(pose_at "drag left 640 360 660 360")" ||
  fail "D did not move the camera the other way from A"

# T: the shadow map fills the lower left quarter; the upper right stays the scene.
read -r r1 g1 b1 <<<"$(mean "$work/features-noshadow.png" 40 400 560 280)"
read -r r2 g2 b2 <<<"$(mean "$work/features-shadow.png" 40 400 560 280)"
d=$(( (r1 > r2 ? r1 - r2 : r2 - r1) + (g1 > g2 ? g1 - g2 : g2 - g1) + (b1 > b2 ? b1 - b2 : b2 - b1) ))
report "lower left quarter without the shadow map $r1 $g1 $b1, with it $r2 $g2 $b2 (difference $d)"
[ "$d" -ge 30 ] || fail "T did not show the shadow map"
