#!/usr/bin/env bash
# A shipped guest image names its build, its symbol file belongs to that
# build, and a developer holding a crash dump's module offset gets the hook
# procedure's name and line from it with the GNU and the LLVM symbolizer.
#   symbols_test.sh TOOL_PREFIX IMAGE OTHER_IMAGE
# TOOL_PREFIX is the binutils prefix (x86_64-w64-mingw32-); OTHER_IMAGE is
# a build of other code.
set -euo pipefail
prefix=$1 image=$2 other=$3
failures=0
fail() { echo "$*" >&2; failures=$((failures + 1)); }

# The CodeView entry GNU ld's build id writes: "RSDS", a GUID and an age.
codeView() { "${prefix}objdump" -p "$1" | sed -n 's/^(format RSDS signature \([0-9a-f]*\) age \([0-9]*\).*/\1 \2/p'; }
build=$(codeView "$image")
[ -n "$build" ] || fail "$image carries no CodeView entry"
[ "$(codeView "$image.debug")" = "$build" ] || fail "$image.debug is not of the build $build"
[ "$(codeView "$other")" != "$build" ] || fail "$other, other code, has the same build id $build"

base=$("${prefix}objdump" -p "$image" | awk '$1 == "ImageBase" { print $2 }')
for procedure in getMsgProc callWndRetProc sysMsgProc; do
  address=$("${prefix}nm" -C "$image.debug" | awk -v p="$procedure(" '$2 ~ /^[tT]$/ && index($3, p) == 1 { print $1 }')
  [ -n "$address" ] || { fail "no $procedure in $image.debug"; continue; }
  # A crash dump gives the module's offset; two instructions in, say.
  offset=$(printf '0x%x' $((16#$address - 16#$base + 8)))
  gnu=$("${prefix}addr2line" -f -C -e "$image" $(printf '0x%x' $((16#$base + offset))) | paste -sd' ')
  [[ $gnu =~ ^$procedure\ .*/paintwatch\.cpp:[1-9] ]] || fail "addr2line at $offset: $gnu"
  llvm=$(llvm-symbolizer-14 --relative-address --obj="$image" "$offset" | paste -sd' ')
  [[ $llvm =~ ^$procedure\ .*/paintwatch\.cpp:[1-9] ]] || fail "llvm-symbolizer at $offset: $llvm"
done
[ $failures -eq 0 ] && echo "$image: build $build, hook procedures named from their offsets"
exit $((failures > 0))
