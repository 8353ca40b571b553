# Sourced by demo_case.sh: the windmill's sails are missing from a private copy of the assets.
# One report names the file; the demo goes on drawing the rest of the scene and ends on Escape.
rm "$top/assets/models/windmill_blades.model"
expected_errors=1
run_demo 90 --screenshot-when "$work/scene.up" --screenshot "$work/scene.png" \
  "$work/$(basename "$driver")" "$work/$(basename "$exe")" --expect 1280 720 --run-ms 27000 --at 25000 mark scene.up
origin
[ -s "$work/scene.png" ] || fail "no screenshot scene"
cp "$work/scene.png" "$shots/nomodel-scene.png"
grep -A5 "MIREL ERROR" "$work/err.txt" | grep -q "Mesh data failed to load: windmill_blades" ||
  fail "the report does not name the missing model"
rgb() { read -r r g b <<<"$1"; }
check() { awk -v r="$r" -v g="$g" -v b="$b" "BEGIN { exit !($1) }"; }
sky=$(mean "$work/scene.png" 900 200 300 100); field=$(mean "$work/scene.png" 600 620 600 80)
echo "demo_case nomodel: sky $sky, field $field"
rgb "$sky"; check 'b > r + 20 && b > 100' || fail "no sky in the upper right: $sky"
rgb "$field"; check 'g > b + 10 && g >= r' || fail "no field at the bottom: $field"
