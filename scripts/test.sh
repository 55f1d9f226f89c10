#!/usr/bin/env bash
# Sets everything up, then runs the whole test suite under Xvfb and Wine.
# The ctest fixtures start and stop the Wine session.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" >/dev/null
cd "$root/build/x64"
ctest --output-on-failure -j2
