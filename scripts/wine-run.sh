#!/usr/bin/env bash
# Runs a Windows program in the build tree's Wine session, starting the
# session first if it is not up.
#   wine-run.sh [--32] [--two-monitors] STATE_DIR PROGRAM [ARGS...]
# Where this machine cannot run 32-bit Windows programs, LUMO_NO_32BIT tells
# the program why, so that tests can skip what needs them; with --32 (the
# program is a 32-bit one) the reason is printed instead and the exit code
# is 77, which ctest counts as skipped. --two-monitors starts the session
# so (see wine-session.sh); where it cannot start, the exit code is 77 too.
set -euo pipefail
bits=64
if [ "$1" = --32 ]; then
  bits=32
  shift
fi
session=()
if [ "$1" = --two-monitors ]; then
  session=(--two-monitors)
  shift
fi
state=$1
shift
if why=$("$(dirname "$0")/runs-32bit.sh"); then
  unset LUMO_NO_32BIT
else
  if [ $bits = 32 ]; then
    echo "skipped: $why"
    exit 77
  fi
  export LUMO_NO_32BIT="$why"
fi
"$(dirname "$0")/wine-session.sh" start "$state" "${session[@]}"
state=$(cd "$state" && pwd)
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=":$(head -n 1 "$state/display")"
if [ $bits = 32 ]; then
  exec /usr/lib/wine/wine "$@"
fi
exec /usr/lib/wine/wine64 "$@"
