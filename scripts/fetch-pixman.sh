#!/usr/bin/env bash
# Fetches Debian's pristine pixman source into build/downloads and checks it
# against the pinned hash. Needs root for the apt source entry.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/cmake/pixman.pin"
version=$PIXMAN_VERSION
sha256=$PIXMAN_SHA256
dest="$root/build/downloads"
tarball="$dest/pixman_${version}.orig.tar.gz"

if [ -f "$tarball" ] && echo "$sha256  $tarball" | sha256sum --check --status; then
  exit 0
fi

# The machine's apt entries are binary-only: add the same archive as deb-src,
# from the deb822 entry where there is one, otherwise from sources.list.
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  src_list=/etc/apt/sources.list.d/debian-src.sources
  [ -f "$src_list" ] || {
    sed -E 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources > "$src_list"
    apt-get update -qq
  }
else
  src_list=/etc/apt/sources.list.d/debian-src.list
  [ -f "$src_list" ] || {
    sed -nE 's/^deb (.*)/deb-src \1/p' /etc/apt/sources.list > "$src_list"
    apt-get update -qq
  }
fi

mkdir -p "$dest"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as its own unprivileged user where it can.
chown _apt "$work" 2>/dev/null || true
(cd "$work" && apt-get source --download-only --tar-only "pixman=${version}-*" >/dev/null 2>&1 \
  || apt-get source --download-only --tar-only pixman >/dev/null)
if [ ! -f "$work/pixman_${version}.orig.tar.gz" ]; then
  echo "fetch-pixman: apt did not provide pixman_${version}.orig.tar.gz" >&2
  exit 1
fi
echo "$sha256  $work/pixman_${version}.orig.tar.gz" | sha256sum --check --status \
  || { echo "fetch-pixman: pixman_${version}.orig.tar.gz does not match the pinned hash" >&2; exit 1; }
mv "$work/pixman_${version}.orig.tar.gz" "$tarball"
