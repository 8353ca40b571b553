# Sourced by demo_case.sh: the frame-time graph and the red bar's fade in the running demo, at a
# pinned 5 fps target that a software rasteriser reaches with the scene (the graph's band is
# +-0.5 ms around the target, so at the menu's 55 fps its line would sit on the top edge).
#   control+3          -> graph.png: the graph's line in its band, the upper right (x from the
#                         middle to 0.97 of the right half, y from the top to 0.15 of the height)
#   RED BAR on, off    -> after.png: the picture as bright as before the bar was ever on
printf '[debug]\nhotkey = "true"\nfixedFps = 5\n' >>"$work/config.ini"

redbar_x=215 redbar_y=615
# Times from the end of loading; the graph needs 32 frames of samples first.
shots_at=(graph:12000 on:16000 after:22000)
args=(--expect 1280 720 --start-when "$work/loaded.up" --run-ms 24000 --at 1000 ctrl-key 0x33
  --at 13000 click $redbar_x $redbar_y --at 17500 click $redbar_x $redbar_y)
plan_shots
watch_loaded
run_demo 200 --env MIREL_TRACE=1 "${shotargs[@]}" "$work/$(basename "$driver")" "$work/$(basename "$exe")" "${args[@]}"
wait
origin
keep_shots overlays-
report() { echo "demo_case overlays: $*"; }

# Per mille of pixels clearly redder than green and blue: the graph's half-transparent red over
# the sky; the sky, the white text and the grey windmill have none.
reddish() {
  convert "$1" -crop "$4x$5+$((ox + $2))+$((oy + $3))" +repage -fx 'r - max(g, b) > 0.2 ? 1 : 0' \
    -format '%[fx:int(1000*mean+0.5)]' info:
}
band=$(reddish "$work/graph.png" 660 0 580 108); below=$(reddish "$work/graph.png" 660 130 580 100)
report "graph: reddish in its band $band, below it $below per mille"
[ "$band" -ge 5 ] || fail "control+3 showed no graph in its band"
[ "$below" -le 1 ] || fail "red below the graph's band: $below"

top_red=$(share "$work/on.png" 0 0 1280 100 255 0 0 25)
report "red bar on: red in the top rows $top_red per mille"
[ "$top_red" -ge 10 ] || fail "no red bar after the click on RED BAR"

# Sky and field beside the windmill (the camera stands still): the same before and after.
for region in "950 250 300 80" "1050 620 220 90"; do
  # shellcheck disable=SC2086
  m1=$(mean "$work/graph.png" $region); m2=$(mean "$work/after.png" $region)
  report "region $region before the red bar $m1, after it was switched off $m2"
  read -r r1 g1 b1 <<<"$m1"; read -r r2 g2 b2 <<<"$m2"
  d=$(( (r1 > r2 ? r1 - r2 : r2 - r1) + (g1 > g2 ? g1 - g2 : g2 - g1) + (b1 > b2 ? b1 - b2 : b2 - b1) ))
  [ "$d" -le 4 ] || fail "the picture changed by $d after the red bar was switched off ($m1 -> $m2)"
done
