#!/usr/bin/env bash
# Mutation check: applies each small plausible bug of scripts/mutants.txt, one at a time, rebuilds
# the tests that should notice, runs them, restores the file, and prints killed / survived and
# the score. A mutant whose line no longer holds its text is stale and not counted; one that does
# not compile is reported as such and not counted either.
#
#   scripts/mutants.sh [LIST] [FILTER]     FILTER: only mutants whose file matches this regex
#
# It edits the working tree while it runs (each file is restored, also on interrupt), so run it
# in a tree nobody else is building. Build trees: build/<preset>, configured on first use.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
list=${1:-scripts/mutants.txt}
filter=${2:-.}
jobs=${MIREL_JOBS:-$(nproc)}

restore() {
  if [ -n "${saved:-}" ] && [ -f "$saved" ]; then
    cp "$saved" "$target" && rm -f "$saved"
  fi
}
trap 'restore; exit 130' INT TERM

killed=0 survived=0 stale=0 broken=0 n=0
declare -A configured=()
printf '%-4s %-8s %-44s %-5s %-9s %s\n' "#" preset file line result mutant
while IFS='|' read -r preset target line from to tests; do
  case "$preset" in ''|'#'*) continue ;; esac
  [[ "$target" =~ $filter ]] || continue
  n=$((n + 1))
  desc="'$from' -> '$to'"
  actual=$(sed -n "${line}p" "$target" 2>/dev/null)
  if [[ "$actual" != *"$from"* ]]; then
    stale=$((stale + 1))
    printf '%-4s %-8s %-44s %-5s %-9s %s\n' "$n" "$preset" "$target" "$line" stale "$desc"
    continue
  fi
  if [ -z "${configured[$preset]:-}" ]; then
    [ -f "build/$preset/CMakeCache.txt" ] || cmake --preset "$preset" >/dev/null
    configured[$preset]=1
  fi
  saved=$(mktemp)
  cp -p "$target" "$saved"
  # Replace the first occurrence on that line only; the texts are taken literally.
  MUT_FROM=$from MUT_TO=$to MUT_LINE=$line perl -i -pe \
    'if ($. == $ENV{MUT_LINE}) { my $i = index($_, $ENV{MUT_FROM}); substr($_, $i, length $ENV{MUT_FROM}) = $ENV{MUT_TO} if $i >= 0; }' \
    "$target"
  # Build what the matching tests need: their targets (CTest names minus the preset prefix).
  targets=()
  for t in ${tests//,/ }; do
    case "$t" in wine_*) targets+=(CadoraDemo frame_driver) ;; *) targets+=("$t") ;; esac
  done
  if ! cmake --build "build/$preset" -j "$jobs" --target "${targets[@]}" >/tmp/mutant.build.log 2>&1; then
    result=nocompile
    broken=$((broken + 1))
  else
    regex=$(printf '%s|' ${tests//,/ })
    if ctest --test-dir "build/$preset" -R "^$preset\\.(${regex%|})\$" -j "$jobs" --timeout 300 >/tmp/mutant.test.log 2>&1; then
      result=SURVIVED
      survived=$((survived + 1))
    else
      result=killed
      killed=$((killed + 1))
    fi
  fi
  restore
  saved=
  printf '%-4s %-8s %-44s %-5s %-9s %s\n' "$n" "$preset" "$target" "$line" "$result" "$desc"
done <"$list"

valid=$((killed + survived))
echo "mutants: $n, stale: $stale, not compiling: $broken, valid: $valid, killed: $killed, survived: $survived"
if [ "$valid" -gt 0 ]; then
  echo "score: $((100 * killed / valid)) % ($killed of $valid)"
fi
# The restored sources are rebuilt so that the trees match the code again.
for p in "${!configured[@]}"; do cmake --build "build/$p" -j "$jobs" >/dev/null 2>&1 || true; done
# Passes when at least MIREL_MUTANT_SCORE percent (default 95) of the valid mutants are killed.
[ "$valid" -gt 0 ] && [ $((100 * killed)) -ge $((${MIREL_MUTANT_SCORE:-95} * valid)) ]
