#!/usr/bin/env bash
# Runs a Windows program in the build tree's Wine session, starting the
# session first if it is not up.
#   wine-run.sh STATE_DIR PROGRAM [ARGS...]
set -euo pipefail
state=$1
shift
"$(dirname "$0")/wine-session.sh" start "$state"
state=$(cd "$state" && pwd)
export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=":$(head -n 1 "$state/display")"
exec /usr/lib/wine/wine64 "$@"
