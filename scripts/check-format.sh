#!/usr/bin/env bash
# Fails, naming the files, when a C++ source is not in the house style of
# .clang-format. `scripts/check-format.sh --fix` formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = --fix ]; then
  clang-format -i "${sources[@]}"
  exit 0
fi
unformatted=()
for source in "${sources[@]}"; do
  clang-format --dry-run --Werror "$source" >/dev/null 2>&1 || unformatted+=("$source")
done
if [ ${#unformatted[@]} -gt 0 ]; then
  echo "check-format: not in the house style (scripts/check-format.sh --fix): ${unformatted[*]}" >&2
  exit 1
fi
