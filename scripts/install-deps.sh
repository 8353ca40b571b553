#!/usr/bin/env bash
# Installs the Debian bookworm packages the build and the tests need; skips those already present.
set -euo pipefail
pkgs=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  debootstrap util-linux imagemagick x11-utils python3 ca-certificates
  libfreetype-dev fonts-dejavu-core libpng-dev
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The posix thread model is what std::thread and the static winpthread link need.
if [ "$(readlink -f "$(command -v x86_64-w64-mingw32-g++)")" != "$(readlink -f /usr/bin/x86_64-w64-mingw32-g++-posix)" ]; then
  command -v update-alternatives >/dev/null && { [ "$(id -u)" -eq 0 ] && update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || true; }
fi
