#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds the example consumers
# against it as a user would, and runs the C++ consumer twice under Wine.
#   consumer_test.sh BUILD_DIR SOURCE_DIR TOOLCHAIN_FILE WINE_RUN
set -euo pipefail
build=$1 source=$2 toolchain=$3 wine_run=$4
work="$build/package-test"
rm -rf "$work"
mkdir -p "$work/data"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
# The hook libraries' symbol files, found by the images' debug links.
for image in paintwatch64.dll paintwatch32.dll; do
  [ -f "$work/prefix/bin/.debug/$image.debug" ] ||
    { echo "consumer_test: no symbol file for $image" >&2; exit 1; }
done
hooks="$work/prefix/bin/paintwatch64.dll"
read -r base entry < <(x86_64-w64-mingw32-objdump -p "$hooks" |
  awk '$1 == "ImageBase" { b = $2 } $1 == "AddressOfEntryPoint" { e = $2 } END { print b, e }')
entryName=$(x86_64-w64-mingw32-addr2line -f -e "$hooks" "$(printf '0x%x' $((16#$base + 16#$entry)))" | head -1)
[ "$entryName" = DllMain ] ||
  { echo "consumer_test: the installed hook library's entry point is named \"$entryName\"" >&2; exit 1; }
cmake -S "$source/examples/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -Dlumo_DIR="$work/prefix/lib/cmake/lumo" >/dev/null
cmake --build "$work/consumer" >/dev/null
# Where the screen source looks for its hooks and the 32-bit loader.
cp "$work/prefix/bin/"{paintwatch64.dll,paintwatch32.dll,paintloader32.exe} "$work/consumer/"
# The C example, built with warnings as errors, which copies the source's
# DLL and hook library beside itself; source_c_example runs it in the build.
cmake -S "$source/examples/c_consumer" -B "$work/c_consumer" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
  -DCMAKE_C_FLAGS="-Wall -Wextra -pedantic" -Dlumo_DIR="$work/prefix/lib/cmake/lumo" >/dev/null
cmake --build "$work/c_consumer" >/dev/null

run() { "$wine_run" "$work/consumer/lumo_consumer.exe" "Z:$work/data" lumo-package-test-no-pipe; }
first=$(run | tr -d '\r')
second=$(run | tr -d '\r')
echo "$first"
echo "$second"

expect() {
  grep -qxF "$2" <<<"$1" || { echo "consumer_test: missing line \"$2\"" >&2; exit 1; }
}
expect "$first" "service control pipe: lumoserver-4.0-service-control"
expect "$first" "hook update message: registered"
expect "$first" "settings: written (1)"
expect "$second" "settings: written (2)"
expect "$first" "screen source: frame 1, the whole screen, all of its pixels sent"
# No server listens on that pipe: a local failure.
expect "$first" "control request: 1"
