#!/usr/bin/env bash
# A DLL that servers built with other compilers load imports system DLLs
# only: no MinGW runtime (libstdc++, libgcc_s, libwinpthread) has to travel
# with it, nor meet another copy of itself in the server.
#   dll_imports_test.sh OBJDUMP IMAGE
set -euo pipefail
objdump=$1 image=$2
allowed=(kernel32.dll user32.dll gdi32.dll advapi32.dll msvcrt.dll)

imports=$("$objdump" -p "$image" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]')
[ -n "$imports" ] || { echo "$image: no import table read" >&2; exit 1; }
status=0
for name in $imports; do
  [[ " ${allowed[*]} " == *" $name "* ]] || { echo "$image imports $name" >&2; status=1; }
done
[ $status -eq 0 ] && echo "$image imports" $imports
exit $status
