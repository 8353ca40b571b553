#!/usr/bin/env bash
# Runs a Windows program under Wine 10 on a private Xvfb display with a private Wine prefix.
#
#   wine-run.sh [--cwd DIR] [--env NAME=VALUE]... [--timeout SECONDS]
#               [--stdout FILE] [--stderr FILE]
#               [--screenshot FILE [--screenshot-after SECONDS | --screenshot-when MARKER |
#                                   --screenshot-on TEXT]]...
#               [--use-display]
#               PROGRAM.exe [ARGS...]
#
# --screenshot-when takes the next screenshot once the file MARKER exists (the program under
# test writes it when there is something to see), rather than after a fixed delay.
# --use-display shows the program on $DISPLAY instead of a private Xvfb.
#
# Exit status: the program's own, 124 on time-out. Standard output and standard error stay
# separate (to the files given, else to this script's own). Every run sets MIREL_ASSERT_STDERR=1
# so that failed checks are printed instead of blocking in a message box.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cwd=$PWD
timeout_s=60
out_file=""
err_file=""
shots=()
shot_after=3
envs=(MIREL_ASSERT_STDERR=1)
use_display=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cwd) cwd=$2; shift 2 ;;
    --env) envs+=("$2"); shift 2 ;;
    --timeout) timeout_s=$2; shift 2 ;;
    --stdout) out_file=$2; shift 2 ;;
    --stderr) err_file=$2; shift 2 ;;
    --screenshot) shots+=("$shot_after"$'\t'"$2"); shift 2 ;;
    --screenshot-after) shot_after=$2; shift 2 ;;
    --screenshot-when) shot_after=@$2; shift 2 ;;
    --screenshot-on) shot_after=%$2; shift 2 ;;
    --use-display) use_display=${DISPLAY:?--use-display needs DISPLAY}; shift ;;
    --) shift; break ;;
    -*) echo "wine-run: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: wine-run.sh [options] PROGRAM.exe [ARGS...]" >&2; exit 2; }
prog=$(readlink -f "$1"); shift
[ -z "$err_file" ] || err_file=$(readlink -f "$err_file")
cwd=$(readlink -f "$cwd")
[ -f "$prog" ] || { echo "wine-run: no such program: $prog" >&2; exit 2; }

eval "$("$here/wine-root.sh")"

work=$(mktemp -d "${TMPDIR:-/tmp}/mirel-wine.XXXXXX")
cleanup() { rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/tmp" "$work/xdg"
chmod 700 "$work/xdg"

if [ "$MIREL_WINE_MODE" = root ]; then
  template="$MIREL_WINE_ROOT/opt/wineprefix"
else
  template="${MIREL_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/mirel-wine}/system-prefix"
  if [ ! -d "$template/drive_c" ]; then
    mkdir -p "$(dirname "$template")"
    (exec 9>"$template.lock"; flock 9; [ -d "$template/drive_c" ] ||
      WINEPREFIX="$template" WINEDEBUG=-all DISPLAY= "$MIREL_WINE_BIN" wineboot -i >/dev/null 2>&1 || true)
  fi
fi
# Hard links keep the copy cheap; the registry files are rewritten by Wine, so they are real copies.
mkdir "$work/prefix"
cp -al "$template/drive_c" "$template/dosdevices" "$work/prefix/"
cp "$template"/*.reg "$template/.update-timestamp" "$work/prefix/" 2>/dev/null || true

# Everything below runs in its own mount namespace so the binds vanish with the run.
export MIREL_RUN_PROG="$prog" MIREL_RUN_CWD="$cwd" MIREL_RUN_TIMEOUT="$timeout_s" MIREL_RUN_WORK="$work"
export MIREL_RUN_ENVS="$(printf '%s\n' "${envs[@]}")" MIREL_RUN_SHOTS="$(printf '%s\n' ${shots[@]+"${shots[@]}"})"
export MIREL_RUN_ARGS="$(printf '%s\n' "$@")" MIREL_RUN_USE_DISPLAY="$use_display"
export MIREL_RUN_XAUTH="${XAUTHORITY:-$HOME/.Xauthority}" MIREL_RUN_ERR="$err_file"
inner() {
  set -euo pipefail
  local root="" wine="$MIREL_WINE_BIN" xvfb=Xvfb
  if [ "$MIREL_WINE_MODE" = root ]; then
    root=$MIREL_WINE_ROOT
    mount --rbind /dev "$root/dev"
    mount -t proc proc "$root/proc" 2>/dev/null || mount --rbind /proc "$root/proc"
    mount --bind "$MIREL_RUN_WORK/tmp" "$root/tmp"
    local d
    for d in "$MIREL_RUN_WORK" "$(dirname "$MIREL_RUN_PROG")" "$MIREL_RUN_CWD"; do
      mkdir -p "$root$d"
      mount --bind "$d" "$root$d"
    done
    # A program finds its assets one level above its folder, often through a link.
    local assets
    assets="$(dirname "$(dirname "$MIREL_RUN_PROG")")/assets"
    if [ -d "$assets" ]; then
      mkdir -p "$root$assets"
      mount --bind "$(readlink -f "$assets")" "$root$assets"
    fi
  fi
  run_in() { if [ -n "$root" ]; then chroot "$root" "$@"; else "$@"; fi; }

  local disp xpid=""
  if [ -n "$MIREL_RUN_USE_DISPLAY" ]; then
    disp=${MIREL_RUN_USE_DISPLAY#*:}
    if [ -n "$root" ]; then
      mkdir -p "$root/tmp/.X11-unix"
      [ -d /tmp/.X11-unix ] && mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
      if [ -f "$MIREL_RUN_XAUTH" ]; then
        cp "$MIREL_RUN_XAUTH" "$MIREL_RUN_WORK/Xauthority"
      fi
    fi
  else
  # -displayfd makes Xvfb pick a display number nobody else holds.
  # Started directly, not through run_in: a backgrounded function is a subshell, and killing
  # its pid would leave the X server running after the run.
  local -a xcmd=($xvfb -displayfd 8 -screen 0 1920x1080x24 +extension GLX -nolisten tcp -ac)
  [ -z "$root" ] || xcmd=(chroot "$root" "${xcmd[@]}")
  "${xcmd[@]}" 8>"$MIREL_RUN_WORK/display" >"$MIREL_RUN_WORK/xvfb.log" 2>&1 &
  xpid=$!
  local i
  for i in $(seq 1 100); do
    [ -s "$MIREL_RUN_WORK/display" ] && break
    sleep 0.1
  done
  disp=$(head -n 1 "$MIREL_RUN_WORK/display" | tr -dc '0-9')
  [ -n "$disp" ] || { echo "wine-run: Xvfb did not start" >&2; cat "$MIREL_RUN_WORK/xvfb.log" >&2; exit 3; }
  fi

  local shot
  local -a shotpids=()
  while IFS= read -r shot; do
    [ -n "$shot" ] || continue
    ( when=${shot%%$'\t'*}
      if [ "${when#@}" != "$when" ]; then
        for _ in $(seq 1 $((MIREL_RUN_TIMEOUT * 10))); do [ -e "${when#@}" ] && break; sleep 0.1; done
      elif [ "${when#%}" != "$when" ]; then
        for _ in $(seq 1 $((MIREL_RUN_TIMEOUT * 10))); do
          [ -n "$MIREL_RUN_ERR" ] && grep -aqF -- "${when#%}" "$MIREL_RUN_ERR" 2>/dev/null && break
          sleep 0.1
        done
      else
        sleep "$when"
      fi
      DISPLAY=:$disp import -window root "${shot#*$'\t'}" >/dev/null 2>&1 || echo "wine-run: screenshot failed" >&2 ) &
    shotpids+=($!)
  done <<<"$MIREL_RUN_SHOTS"

  local -a envargs=(DISPLAY=:$disp WINEPREFIX="$MIREL_RUN_WORK/prefix" WINEDEBUG=-all
    XDG_RUNTIME_DIR="$MIREL_RUN_WORK/xdg" WINEDLLOVERRIDES="mscoree,mshtml=" HOME="$MIREL_RUN_WORK")
  [ -f "$MIREL_RUN_WORK/Xauthority" ] && envargs+=(XAUTHORITY="$MIREL_RUN_WORK/Xauthority")
  local e
  while IFS= read -r e; do [ -n "$e" ] && envargs+=("$e"); done <<<"$MIREL_RUN_ENVS"
  local -a args=()
  while IFS= read -r e; do [ -n "$e" ] && args+=("$e"); done <<<"$MIREL_RUN_ARGS"

  local rc=0
  run_in env "${envargs[@]}" sh -c 'cd "$1" && shift && exec timeout --kill-after=5 "$@"' sh \
    "$MIREL_RUN_CWD" "$MIREL_RUN_TIMEOUT" "$wine" "$MIREL_RUN_PROG" ${args[@]+"${args[@]}"} </dev/null || rc=$?
  [ ${#shotpids[@]} -eq 0 ] || wait "${shotpids[@]}" 2>/dev/null || true
  run_in env WINEPREFIX="$MIREL_RUN_WORK/prefix" "$(dirname "$wine")/wineserver" -k >/dev/null 2>&1 || true
  if [ -n "$xpid" ]; then
    kill "$xpid" 2>/dev/null || true
    wait "$xpid" 2>/dev/null || true
  fi
  return $rc
}
export -f inner
export MIREL_WINE_MODE MIREL_WINE_BIN MIREL_WINE_ROOT="${MIREL_WINE_ROOT:-}"

rc=0
if [ -n "$out_file" ] && [ -n "$err_file" ]; then
  unshare --mount --fork bash -c inner >"$out_file" 2>"$err_file" || rc=$?
elif [ -n "$out_file" ]; then
  unshare --mount --fork bash -c inner >"$out_file" || rc=$?
elif [ -n "$err_file" ]; then
  unshare --mount --fork bash -c inner 2>"$err_file" || rc=$?
else
  unshare --mount --fork bash -c inner || rc=$?
fi
exit $rc
