# Sourced by demo_case.sh: one file the demo reads is broken in one way, FAULT="PATH KIND [N]": PATH
# as in the run's copy (assets/..., or config.ini and the font beside the program), KIND missing, half (its
# first half) or random (as many seeded random bytes). The demo must load, go on drawing, end on
# Escape (exit code 27) and report the broken file a few times at most (N times where given), not
# once a frame.
# Prints "fault: PATH KIND reports N exit C frames F picture S" (F: frames after loading; S: the
# spread of the screenshot's grey levels, 0 for a uniform picture) before judging.
read -r fpath kind want <<<"$fault"
case $fpath in
config.ini | mirelFont.spritefont) target=$work/$fpath ;;
*) target=$top/$fpath ;;
esac
[ -f "$target" ] || fail "no file $fpath in the run's copy"
size=$(stat -c %s "$target")
case $kind in
missing) rm "$target" ;;
half) truncate -s $((size / 2)) "$target" ;;
random) python3 -c 'import random, sys; random.seed(sys.argv[1]); sys.stdout.buffer.write(random.randbytes(int(sys.argv[2])))' \
  "$fpath" "$size" >"$target" ;;
*) fail "unknown fault kind $kind" ;;
esac
watch_loaded
rc=0
"$here/../../scripts/wine-run.sh" --cwd "$work" --timeout 150 --env MIREL_LOOP_STATS=1 --env MIREL_TRACE=1 \
  --env "TESKLIB_STUB_CONFIG=$work/stub.cfg" --stdout "$work/stdout.txt" --stderr "$work/stderr.txt" \
  --screenshot-when "$work/shot.up" --screenshot "$work/shot.png" \
  "$work/$(basename "$driver")" "$work/$(basename "$exe")" --start-when "$work/loaded.up" --run-ms 3000 \
  --at 2000 mark shot.up || rc=$?
tr -d '\r' <"$work/stderr.txt" >"$work/err.txt"
tag=$(echo "$fpath-$kind" | tr '/' '_')
cp "$work/err.txt" "$shots/fault-$tag-stderr.txt"
[ -s "$work/shot.png" ] && cp "$work/shot.png" "$shots/fault-$tag.png"
reports=$(grep -c "MIREL ERROR" "$work/err.txt" || true)
code=$(sed -nE 's/^driver: exit code ([0-9]+)$/\1/p' "$work/err.txt")
frames=$(sed -nE 's/^loop frames: .* pipelined ([0-9]+) total.*/\1/p' "$work/err.txt")
spread=0
read -r cw ch cx cy < <(sed -nE 's/^driver: client at start ([0-9]+)x([0-9]+) at (-?[0-9]+) (-?[0-9]+).*/\1 \2 \3 \4/p' "$work/err.txt") || true
[ -s "$work/shot.png" ] && [ -n "${cy:-}" ] && spread=$(convert "$work/shot.png" -crop "${cw}x${ch}+$cx+$cy" +repage \
  -colorspace gray -format '%[fx:int(1000*standard_deviation+0.5)]' info:)
echo "fault: $fpath $kind reports $reports exit ${code:--} frames ${frames:--} picture $spread"
[ "${code:-}" = 27 ] || fail "the demo did not end with exit code 27 on Escape (driver status $rc)"
[ "${frames:-0}" -ge 1 ] || fail "no frame after loading"
[ "$spread" -ge 3 ] || fail "nothing drawn: the picture is uniform"
if [ -n "${want:-}" ]; then
  [ "$reports" -eq "$want" ] || fail "$reports reports, expected $want"
else
  [ "$reports" -le "${MIREL_FAULT_MAX_REPORTS:-3}" ] || fail "$reports reports: a flood, not one per broken file"
fi
