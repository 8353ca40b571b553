#!/usr/bin/env bash
# Runs CadoraDemo.exe under Wine for one display-detection case and checks what it prints.
#
#   detect_case.sh CASE DEMO_EXE STUB_DLL NOSEND_STUB_DLL DRIVER_EXE
#
# frame_driver.exe starts the program and quits it with Escape once its window is up.
# The program's standard output must equal expected/CASE.txt byte for byte once that file's
# line ends are made the CRLF that text-mode stdout writes on Windows; standard error must hold
# no failed check; the stand-in library must be shut down exactly when it produced a record.
set -euo pipefail

[ $# -eq 5 ] || { echo "usage: detect_case.sh CASE DEMO_EXE STUB_DLL NOSEND_STUB_DLL DRIVER_EXE" >&2; exit 2; }
name=$1 exe=$2 stub=$3 nosend=$4 driver=$5
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
runner=$here/../../scripts/wine-run.sh
expected=$here/expected/$name.txt
[ -f "$expected" ] || { echo "detect_case: no expected output for '$name'" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/detect-case.XXXXXX")
trap 'rm -rf "$work"' EXIT
app=$work/app
# The program finds its assets one level above its folder.
cp -r "$(readlink -f "$(dirname "${BASH_SOURCE[0]}")/../../assets")" "$work/assets"
mkdir -p "$app"
cp "$exe" "$driver" "$app/"
# The statistics overlay reads its font beside the program.
cp "$(dirname "$exe")/mirelFont.spritefont" "$app/" 2>/dev/null || true
[ -f "$(dirname "$exe")/config.ini" ] && cp "$(dirname "$exe")/config.ini" "$app/"
cwd=$app
dll=""

capable() {
  cat <<EOF
adapter 0
primary 0
map 0 0 0 1
target 0 0 0
range 0 0 $1 $2
EOF
}

case $name in
  no_library) ;;
  no_send)
    dll=$nosend
    config=$(capable 48000000 144000000) ;;
  capable_primary)
    dll=$stub
    config=$(capable 47950000 143856000) ;;
  multi_gpu)
    dll=$stub
    config="$(capable 35000000 60000000)
multigpu 1" ;;
  two_displays)
    # Two displays on the primary adapter; the map's first target (index 1) is the primary.
    dll=$stub
    config="adapter 0
adapter 1
primary 0
map 0 0 1 2
target 0 3 0
target 0 5 0
range 0 3 40000000 75000000
range 0 5 48000000 144000000
map 1 1 0 1
target 1 2 1" ;;
  unreliable_library)
    # More targets on the second look than counted, a refused map query, a refused state query.
    dll=$stub
    config="adapter 0
adapter 1
adapter 2
primary 2
map 0 0 0 1
target 0 0 0
extra-targets 0 8
range 0 0 50000000 100000000
fail state 0 0
map 1 1 0 1
target 1 0 1
fail maps 1
map 2 2 0 1
target 2 1 2
range 2 1 40000000 60000000" ;;
  planted_in_cwd)
    # A library in the working directory only: it must not be loaded.
    cwd=$work/cwd
    mkdir -p "$cwd"
    cp "$stub" "$cwd/tesklib.dll"
    config=$(capable 48000000 144000000) ;;
  *) echo "detect_case: unknown case '$name'" >&2; exit 2 ;;
esac

[ -z "$dll" ] || cp "$dll" "$app/tesklib.dll"
# Stub files sit in the working directory: that one is visible inside the runner's sandbox.
printf '%s\n' "${config:-}" >"$cwd/stub.cfg"

rc=0
"$runner" --cwd "$cwd" --timeout 60 \
  --env "TESKLIB_STUB_CONFIG=$cwd/stub.cfg" --env "TESKLIB_STUB_LOG=$cwd/stub.log" \
  --stdout "$work/stdout.txt" --stderr "$work/stderr.txt" "$app/frame_driver.exe" "$app/CadoraDemo.exe" --run-ms 300 || rc=$?

fail=0
if [ "$rc" -ne 0 ]; then
  echo "detect_case[$name]: exit status $rc" >&2
  fail=1
fi
sed 's/$/\r/' "$expected" >"$work/expected.txt"
if ! cmp -s "$work/expected.txt" "$work/stdout.txt"; then
  echo "detect_case[$name]: standard output differs from expected/$name.txt" >&2
  diff <(cat -A "$work/expected.txt") <(cat -A "$work/stdout.txt") >&2 || true
  fail=1
fi
if ! grep -q "driver: exit code 27" "$work/stderr.txt"; then
  echo "detect_case[$name]: the program did not end with exit code 27 (Escape):" >&2
  cat "$work/stderr.txt" >&2
  fail=1
fi
if grep -q "MIREL ERROR" "$work/stderr.txt"; then
  echo "detect_case[$name]: failed check reported:" >&2
  cat "$work/stderr.txt" >&2
  fail=1
fi
want_destroy=0
[ -s "$expected" ] && want_destroy=1
got_destroy=$(grep -c '^Tesk_Main_Control_Destroy$' "$cwd/stub.log" 2>/dev/null || true)
if [ "${got_destroy:-0}" -ne "$want_destroy" ]; then
  echo "detect_case[$name]: library shut down ${got_destroy:-0} times, expected $want_destroy" >&2
  fail=1
fi
exit $fail
