#!/usr/bin/env bash
# Prepares the Wine 10 runtime once and prints the environment that wine-run.sh uses.
# A system Wine >= 10 is used directly; otherwise a Debian trixie root is built with
# debootstrap and cached outside the repository, keyed by a version stamp.
set -euo pipefail

CACHE="${MIREL_WINE_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/mirel-wine}"
ROOT="$CACHE/trixie"
STAMP_WANT="trixie-minbase-v3: wine64 libwine xvfb xauth libgl1-mesa-dri libglx-mesa0 mesa-vulkan-drivers libvulkan1 fonts-dejavu-core"
PKGS="wine64 libwine xvfb xauth libgl1-mesa-dri libglx-mesa0 mesa-vulkan-drivers libvulkan1 fonts-dejavu-core"

log() { echo "wine-root: $*" >&2; }

system_wine_ok() {
  local w
  for w in wine64 wine; do
    command -v "$w" >/dev/null 2>&1 || continue
    local v
    v=$("$w" --version 2>/dev/null | sed -n 's/^wine-\([0-9]*\).*/\1/p')
    if [ -n "$v" ] && [ "$v" -ge 10 ] && command -v Xvfb >/dev/null; then
      echo "$(command -v "$w")"
      return 0
    fi
  done
  return 1
}

# The Debian mirror this machine already uses; read at run time, never stored.
debian_mirror() {
  local m
  m=$(grep -h -E '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null |
    grep -o -E 'https?://[^ ]*' | grep -v -E 'security|cloud|nodesource|google' | grep -E 'debian' | head -n 1 || true)
  echo "${m:-http://deb.debian.org/debian}"
}

in_root() {
  unshare --mount --fork -- sh -c '
    root="$1"; shift
    mount --bind /dev "$root/dev"
    mount -t proc proc "$root/proc"
    exec chroot "$root" "$@"' sh "$ROOT" "$@"
}

build_root() {
  local mirror tmp
  mirror=$(debian_mirror)
  [ "$(id -u)" -eq 0 ] || { log "building the trixie root needs root (debootstrap, chroot)"; exit 1; }
  tmp="$ROOT.tmp.$$"
  rm -rf "$tmp"
  mkdir -p "$CACHE"
  log "debootstrap trixie into $tmp (mirror $mirror)"
  debootstrap --variant=minbase trixie "$tmp" "$mirror" >"$CACHE/debootstrap.log" 2>&1 ||
    { log "debootstrap failed, see $CACHE/debootstrap.log"; tail -n 20 "$CACHE/debootstrap.log" >&2; exit 1; }
  ROOT="$tmp"
  cp /etc/resolv.conf "$ROOT/etc/resolv.conf" 2>/dev/null || true
  log "installing $PKGS"
  in_root sh -c "export DEBIAN_FRONTEND=noninteractive; apt-get update -qq && apt-get install -y -qq --no-install-recommends $PKGS" \
    >"$CACHE/apt.log" 2>&1 || { log "apt-get in root failed, see $CACHE/apt.log"; tail -n 20 "$CACHE/apt.log" >&2; exit 1; }
  in_root sh -c 'apt-get clean; rm -rf /var/lib/apt/lists/*' >/dev/null 2>&1 || true
  # A template prefix; each run copies it so that parallel runs never share one.
  log "initialising the template Wine prefix"
  in_root env WINEPREFIX=/opt/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    /usr/lib/wine/wine64 wineboot -i >"$CACHE/wineboot.log" 2>&1 || true
  in_root /usr/lib/wine/wine64 --version >"$CACHE/wine-version" 2>/dev/null || true
  [ -d "$ROOT/opt/wineprefix/drive_c" ] || { log "wineboot did not create a prefix, see $CACHE/wineboot.log"; exit 1; }
  echo "$STAMP_WANT" >"$ROOT/.mirel-stamp"
  rm -rf "$CACHE/trixie"
  mv "$ROOT" "$CACHE/trixie"
  ROOT="$CACHE/trixie"
}

main() {
  local w
  if [ -z "${MIREL_FORCE_ROOT:-}" ] && w=$(system_wine_ok); then
    echo "MIREL_WINE_MODE=system"
    echo "MIREL_WINE_BIN=$w"
    return 0
  fi
  mkdir -p "$CACHE"
  exec 9>"$CACHE/.lock"
  flock 9
  if [ ! -f "$ROOT/.mirel-stamp" ] || [ "$(cat "$ROOT/.mirel-stamp")" != "$STAMP_WANT" ]; then
    build_root
  fi
  echo "MIREL_WINE_MODE=root"
  echo "MIREL_WINE_ROOT=$ROOT"
  echo "MIREL_WINE_BIN=/usr/lib/wine/wine64"
}
main "$@"
