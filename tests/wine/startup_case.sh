#!/usr/bin/env bash
# Start-up under Wine: config.ini beside the program overrides the defaults, the screen caps
# the resolution and, with no refresh from the desktop, the detected maximum becomes the
# monitor refresh. Compares the settled properties with expected/startup_config.props.
#
#   startup_case.sh DEMO_EXE STUB_DLL DRIVER_EXE
set -euo pipefail
exe=$1 stub=$2 driver=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
top=$(mktemp -d "${TMPDIR:-/tmp}/startup-case.XXXXXX")
trap 'rm -rf "$top"' EXIT
# The program finds its assets one level above its folder.
work=$top/bin
mkdir -p "$work"
cp -r "$(readlink -f "$here/../../assets")" "$top/assets"
cp "$exe" "$driver" "$work/"
# The statistics overlay reads its font beside the program.
cp "$(dirname "$exe")/mirelFont.spritefont" "$work/" 2>/dev/null || true
cp "$stub" "$work/tesklib.dll"
printf 'adapter 0\nprimary 0\nmap 0 0 0 1\ntarget 0 0 0\nrange 0 0 47950000 143856000\n' >"$work/stub.cfg"
cat >"$work/config.ini" <<'INI'
# start-up test
[render_init]
fullscreen = false
resolutionX = 4000
max_resolution_X = 800
sunColor = 1, 2, 3, 4
[camera]
rotate_speed = 50
[cadora]
name = "far_too_long_for_a_slot"
INI
rc=0
"$here/../../scripts/wine-run.sh" --cwd "$work" --timeout 60 --env MIREL_DUMP_PROPERTIES=1 \
  --env "TESKLIB_STUB_CONFIG=$work/stub.cfg" --stdout "$work/stdout.txt" --stderr "$work/stderr.txt" \
  "$work/$(basename "$driver")" "$work/$(basename "$exe")" --run-ms 500 || rc=$?
[ "$rc" -eq 0 ] || { echo "startup_case: exit status $rc" >&2; exit 1; }
# The one expected report: the over-long string in config.ini.
reports=$(grep -c "MIREL ERROR" "$work/stderr.txt" || true)
grep -q "Prop Strings are limited to 16 bytes" "$work/stderr.txt" && [ "$reports" -eq 1 ] ||
  { echo "startup_case: expected exactly the string-length report, got:" >&2; cat "$work/stderr.txt" >&2; exit 1; }
tr -d '\r' <"$work/stderr.txt" | awk '/^properties at exit/{exit} /^prop /' | LC_ALL=C sort >"$work/props.txt"
diff -u "$here/expected/startup_config.props" "$work/props.txt"
