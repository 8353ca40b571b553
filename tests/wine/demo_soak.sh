# Sourced by demo_case.sh: the demo runs for $seconds with no assertion report, its resident
# memory stays within a small bound after warm-up, the frame counter keeps advancing, and at
# least 300 frames go through Loading, the four WarmUp frames and Pipelined.
samples=$top/rss.txt
: >"$samples"
(
  # The Wine process of this run's demo (its folder's name is unique: other runs may go on beside
  # it), not the driver whose command line names it.
  for _ in $(seq 1 $((seconds + 60))); do
    pid=$(pgrep -f "$(basename "$top").bin.CadoraDemo\.exe" | while read -r p; do
      grep -qa frame_driver "/proc/$p/cmdline" 2>/dev/null || echo "$p"; done | head -1)
    if [ -n "$pid" ]; then
      kb=$(awk '/^VmRSS:/{print $2}' "/proc/$pid/status" 2>/dev/null || true)
      [ -n "$kb" ] && echo "$(date +%s) $kb" >>"$samples"
    fi
    sleep 1
  done
) &
sampler=$!
run_demo $((seconds + 60)) "$work/$(basename "$driver")" "$work/$(basename "$exe")" --run-ms $((seconds * 1000))
kill "$sampler" 2>/dev/null || true
cp "$samples" "$shots/soak-rss.txt"

counts=$(sed -nE 's/^frame counter ([0-9]+).*/\1/p' "$work/err.txt")
n=$(echo "$counts" | grep -c . || true)
[ "$n" -ge $((seconds / 10 - 2)) ] || fail "only $n frame-counter reports in $seconds s"
prev=-1
for c in $counts; do [ "$c" -gt "$prev" ] || fail "frame counter did not advance: $counts"; prev=$c; done

# Warm-up: the first 20 s (device, shaders, scene); then growth must stay under the bound.
bound_kb=${MIREL_SOAK_BOUND_KB:-32768}
t0=$(head -1 "$samples" | cut -d' ' -f1)
[ -n "$t0" ] || fail "no memory samples of the demo process"
read -r base at60 peak last < <(awk -v t0="$t0" '$1 - t0 >= 20 { if (!b) b = $2; if ($2 > p) p = $2; l = $2 }
  $1 - t0 >= 60 && !m { m = $2 } END { print b, (m ? m : "-"), p, l }' "$samples")
[ -n "$base" ] || fail "the run was too short to sample after warm-up"
growth=$((peak - base))
stats=$(grep '^loop frames:' "$work/err.txt") || fail "no loop counters"
# All three loop modes, with enough frames to matter.
read -r loading warmup total < <(echo "$stats" | sed -E 's/.*loading ([0-9]+) warmup ([0-9]+) pipelined [0-9]+ total ([0-9]+).*/\1 \2 \3/')
[ "$loading" -ge 1 ] && [ "$warmup" -eq 4 ] && [ "$total" -ge 300 ] || fail "loop modes: $stats"
reports=$(grep -c "MIREL ERROR" "$work/err.txt" || true)
echo "demo_case soak: ${seconds} s, $stats, $reports reports, resident at 20 s ${base} kB, at 60 s ${at60} kB, peak ${peak} kB, last ${last} kB, growth ${growth} kB (bound ${bound_kb} kB)" | tee "$shots/soak-summary.txt"
[ "$growth" -le "$bound_kb" ] || fail "resident memory grew by $growth kB after warm-up"
