#!/usr/bin/env bash
# Installs the build into a fresh prefix, builds the example consumer against
# it as a user would, and runs the consumer twice under Wine.
#   consumer_test.sh BUILD_DIR SOURCE_DIR TOOLCHAIN_FILE WINE_RUN
set -euo pipefail
build=$1 source=$2 toolchain=$3 wine_run=$4
work="$build/package-test"
rm -rf "$work"
mkdir -p "$work/data"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/examples/consumer" -B "$work/consumer" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -Dlumo_DIR="$work/prefix/lib/cmake/lumo" >/dev/null
cmake --build "$work/consumer" >/dev/null

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
# Two reports that cover the screen between them, merged.
expect "$first" "damage tracker: 1 rectangle, the whole screen"
# No server listens on that pipe: a local failure.
expect "$first" "control request: 1"
