#!/usr/bin/env bash
# Brings a fresh Debian 12 machine (as root) to a built tree: packages,
# pixman's source, and both targets. Quick when everything is in place.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake ninja-build meson g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
          wine64 xvfb googletest dpkg-dev xz-utils clang lld clang-format)
# 32-bit Windows programs need Wine's 32-bit loader, which only a kernel
# that runs 32-bit code can use. Elsewhere the 32-bit tests are skipped.
if why=$("$root/scripts/runs-32bit.sh" kernel); then
  packages+=(wine32:i386)
else
  echo "setup: no 32-bit Windows programs here ($why); their tests will be skipped" >&2
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

"$root/scripts/fetch-pixman.sh"

cd "$root"
# The 64-bit build ships and tests the 32-bit products, so i686 goes first.
for preset in i686 x64; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
done
