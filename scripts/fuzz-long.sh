#!/usr/bin/env bash
# Runs the fuzz targets for longer than CI does: scripts/fuzz-long.sh [SECONDS_EACH]
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
secs=${1:-600}
[ -f build/fuzz/CMakeCache.txt ] || cmake --preset fuzz >/dev/null
cmake --build build/fuzz
for t in textparser config; do
  mkdir -p "build/fuzz/tests/fuzz/fuzz_$t.corpus"
  (cd build/fuzz/tests/fuzz && ./fuzz_$t -max_total_time="$secs" -max_len=4096 "fuzz_$t.corpus" "../../../../tests/fuzz/corpus/$t")
done
# The material and shader targets also start from the shipped files.
for t in material:materials matcfg:materials shaderexpand:shaders; do
  name=${t%%:*} seeds=${t##*:}
  mkdir -p "build/fuzz/tests/fuzz/fuzz_$name.corpus"
  (cd build/fuzz/tests/fuzz && ./fuzz_$name -max_total_time="$secs" -max_len=4096 "fuzz_$name.corpus" \
    "../../../../tests/fuzz/corpus/$name" "../../../../assets/$seeds")
done
