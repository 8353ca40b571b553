#!/usr/bin/env bash
# Every file the demo reads, broken in turn: missing, cut to its first half, replaced by as many
# random bytes. Each run is the whole demo under Wine, ended by Escape (tests/wine/demo_fault.sh
# judges it). Prints a table (file, case, reports, exit code, frames after loading, result) and
# leaves it with every run's stderr and screenshot in out/faults-<date>-<time>/.
#
#   scripts/fault-campaign.sh [FILE-REGEX] [KINDS]     e.g. scripts/fault-campaign.sh 'textures/' missing
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
regex=${1:-.}
kinds=${2:-missing half random}
scripts/install-deps.sh
scripts/wine-root.sh >/dev/null
[ -f build/mingw/CMakeCache.txt ] || cmake --preset mingw >/dev/null
cmake --build build/mingw --target CadoraDemo tesklib_stub frame_driver
out=$(readlink -f out)/faults-$(date +%Y%m%d-%H%M%S)
mkdir -p "$out"
# The font is read from beside the program, where the build puts a copy.
files=$( (git ls-files assets | grep -v '^assets/fonts/'; echo config.ini mirelFont.spritefont | tr ' ' '\n') |
  grep -E -- "$regex")
table=$out/table.md
{
  echo "| file | case | reports | exit code | frames after loading | result |"
  echo "|---|---|---:|---:|---:|---|"
} >"$table"
failed=0
for f in $files; do
  for k in $kinds; do
    log=$out/run.log
    result=pass
    # A shared include breaks every file that includes it: one compile or parse report each. The
    # camera path reports each bad line.
    bound=$((3 + 2 * $( (grep -rlE "^@include .*$(basename "$f")" assets || true) | wc -l)))
    case $f in *camera_back_forth.txt) bound=$((bound + $(wc -l <"$f"))) ;; esac
    MIREL_FAULT_MAX_REPORTS=$bound bash tests/wine/demo_case.sh fault build/mingw/bin/CadoraDemo.exe build/mingw/tests/wine/frame_driver.exe \
      build/mingw/tools/tesklib_stub/tesklib.dll "$out" "$f $k" >"$log" 2>&1 || result=fail
    if [ $result = fail ]; then
      failed=$((failed + 1))
      result="fail: $(sed -nE 's/^demo_case fault: //p' "$log" | head -1)"
    fi
    read -r reports code frames < <(sed -nE 's/^fault: .* reports ([0-9]+) exit ([0-9-]+) frames ([0-9-]+) .*/\1 \2 \3/p' "$log")
    echo "| $f | $k | ${reports:--} | ${code:--} | ${frames:--} | $result |" | tee -a "$table"
  done
done
echo "fault campaign: $failed failed; table, stderr and screenshots in $out"
[ "$failed" -eq 0 ]
