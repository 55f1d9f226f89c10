#!/usr/bin/env bash
# The main job: sets everything up, then runs the screen-change monitor while
# the demo window activates, scrolls and repaints itself, under Xvfb and Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" >/dev/null

build="$root/build/x64"
state="$build/wine"
"$root/scripts/wine-session.sh" start "$state"
trap '"$root/scripts/wine-session.sh" stop "$state"' EXIT
run() { "$root/scripts/wine-run.sh" "$state" "$@"; }

echo "paintmonitor: reports as \"left top right bottom\" while paintdemo runs" >&2
# A pipe that stays open keeps the monitor's input from closing before its
# duration ends.
coproc input { exec sleep 600 2>/dev/null; }
exec 3<&"${input[0]}"  # a coprocess's own descriptors do not reach subshells
map="$build/damage-map.png"
run "$build/tools/paintmonitor.exe" --duration 5 --window-title "Lumo paint demo" \
  --damage-map "Z:$map" <&3 &
monitor=$!
sleep 0.5
run "$build/tools/paintdemo.exe" 3
wait "$monitor"
kill "$input_PID"
echo "damage map: $map" >&2
