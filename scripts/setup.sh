#!/usr/bin/env bash
# Brings a fresh Debian 12 machine (as root) to a built tree: packages,
# pixman's source, and both trees. Quick when everything is in place; on a
# fresh machine it says what it is doing, with the build's progress count.
#   setup.sh          everything, the tests and benchmarks included
#   setup.sh tools    only the libraries and the tools the demo runs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS
say() { echo "setup: $*" >&2; }

# Xorg and its dummy driver: the tests' second session, of two monitors.
# llvm: the objdump and dlltool another toolchain's user would have, for
# the C interface's checks.
packages=(cmake ninja-build meson g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
          wine64 xvfb googletest dpkg-dev xz-utils clang lld llvm clang-format
          xserver-xorg-core xserver-xorg-video-dummy)
# 32-bit Windows programs need Wine's 32-bit loader, which only a kernel
# that runs 32-bit code can use. Elsewhere the 32-bit tests are skipped.
if why=$("$root/scripts/runs-32bit.sh" kernel); then
  packages+=(wine32:i386)
else
  say "no 32-bit Windows programs here ($why); their tests will be skipped"
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  say "installing ${#missing[@]} packages (some minutes on a fresh machine): ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

source "$root/cmake/pixman.pin"
if [ ! -f "$root/build/downloads/pixman_${PIXMAN_VERSION}.orig.tar.gz" ]; then
  say "fetching pixman's source"
fi
"$root/scripts/fetch-pixman.sh"

cd "$root"
# What the demo runs; the rest of each tree is the tests and benchmarks.
declare -A tools=([i686]="paintloader32 paintdemo" [x64]="paintmonitor paintdemo paintworkload controlclient")
# The 64-bit build ships and tests the 32-bit products, so i686 goes first.
for preset in i686 x64; do
  if [ ! -f "build/$preset/build.ninja" ]; then
    say "configuring the $preset tree"
    cmake --preset "$preset" >/dev/null
  fi
  targets=()
  if [ "${1:-}" = tools ]; then
    targets=(--target ${tools[$preset]})
  fi
  # Ninja's own progress count ([done/all]) shows how far the build is.
  cmake --build --preset "$preset" "${targets[@]}" 2>&1 | sed -u '/^ninja: no work to do/d' >&2 ||
    { say "the $preset build failed"; exit 1; }
done
if [ $((SECONDS - started)) -gt 5 ]; then
  say "ready after $((SECONDS - started)) s"
fi
