#!/usr/bin/env bash
# The main job: sets up what it needs, then runs the screen-change monitor,
# with its coverage check, while the demo windows activate, scroll and
# repaint themselves, a window is moved to and fro without being resized,
# and the system's Notepad is typed into and moved, under Xvfb and Wine: the
# 64-bit demo, and the 32-bit one where this machine runs 32-bit programs.
# Given a task of paintworkload, it runs that task alone under the monitor
# instead, and writes the damage map beside the demo's with the task's name.
#   demo.sh [TASK [SECONDS]]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS
"$root/scripts/setup.sh" tools
# The window moved without being resized: the system moves its pixels and
# sends no painting message, which only the damage tracker sees.
cmake --build "$root/build/x64" --target screen_peer 2>&1 | sed -u '/^ninja: no work to do/d' >&2

state="$root/build/wine"
tools="$root/build/x64/tools"
echo "demo: starting the Wine session" >&2
"$root/scripts/wine-session.sh" start "$state"
trap '"$root/scripts/wine-session.sh" stop "$state"' EXIT
run() { "$root/scripts/wine-run.sh" "$state" "$@"; }

echo "paintmonitor: reports as \"left top right bottom\" while the demo windows run" >&2
# The monitor ends when its input closes: a pipe that stays open until the
# demo is done.
coproc input { exec sleep 600 2>/dev/null; }
exec 3<&"${input[0]}"  # a coprocess's own descriptors do not reach subshells
map="$root/build/x64/damage-map${1:+-$1}.png"
run "$tools/paintmonitor.exe" --verify --window-title "Lumo paint demo (64-bit)" \
  --window-title "Lumo paint demo (32-bit)" --window-title "Lumo moved window" \
  --window-title "Untitled - Notepad" \
  --damage-map "Z:$map" <&3 &
monitor=$!
sleep 1
if [ $# -gt 0 ]; then
  # The workload's programs are 64-bit ones, which Wine hooks only once the
  # 32-bit loader, whose hooks went in last, has left.
  if "$root/scripts/runs-32bit.sh" >/dev/null; then
    run "$tools/paintloader32.exe" --close
  fi
  run "$tools/paintworkload.exe" --task "$@"
else
  if why=$("$root/scripts/runs-32bit.sh"); then
    # Under Wine only processes of the bitness whose hooks were installed
    # last are hooked (the 32-bit ones, which the loader installs after the
    # monitor's own): the 32-bit demo runs first, then the loader leaves and
    # the 64-bit demo runs.
    run "$tools/paintdemo32.exe" 3
    run "$tools/paintloader32.exe" --close
  else
    echo "demo: no 32-bit demo window: $why" >&2
  fi
  run "$tools/paintdemo.exe" 3
  run "$root/build/x64/tests/tools/screen_peer.exe" move 700 560 200 150 2
  # A program nobody here wrote, typed into and moved about.
  run "$tools/paintworkload.exe" 4
fi
kill "$input_PID"
wait "$monitor"
echo "damage map: $map" >&2
echo "demo: done after $((SECONDS - started)) s" >&2
