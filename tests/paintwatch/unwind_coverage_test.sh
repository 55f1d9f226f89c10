#!/usr/bin/env bash
# Every function of a 64-bit guest image that is not a leaf (it pushes,
# calls, enters or writes the stack pointer) must lie inside one of the
# image's unwind entries: a stack walk that meets it without one reads
# garbage. The functions come from the image's symbol file, their code from
# the image.
#   unwind_coverage_test.sh TOOL_PREFIX IMAGE [SYMBOL_FILE]
# TOOL_PREFIX is the binutils prefix (x86_64-w64-mingw32-).
set -euo pipefail
objdump=${1}objdump nm=${1}nm image=$2 symbols=${3:-$2.debug}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

"$objdump" -p "$image" |
  awk '/^The Function Table/ { table = 1; next }
       table && /^ *[0-9a-f]+:\t/ { print $2, $3; next }
       table && !/^vma:/ { table = 0 }' >"$work/entries"
# One name per address: constructors and their aliases share their code.
"$nm" --defined-only "$symbols" | awk '$2 ~ /^[tT]$/ && $3 !~ /^\./ { print $1, $3 }' |
  sort -u -k1,1 >"$work/functions"
[ -s "$work/functions" ] || { echo "no functions found in $symbols" >&2; exit 1; }
"$objdump" -d --no-show-raw-insn -j .text "$image" >"$work/code"

awk -v entriesFile="$work/entries" -v functionsFile="$work/functions" '
  function hex(text,   value, i) {
    value = 0
    for (i = 1; i <= length(text); ++i) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
    return value
  }
  function covered(address,   i) {
    for (i = 0; i < entryCount; ++i)
      if (address >= begin[i] && address < end[i]) return 1
    return 0
  }
  # A function is covered from its first instruction to its last; code
  # that makes a frame is covered wherever it is, also where no symbol
  # names it.
  function settle() {
    if (frame) ++frames
    if (frame && !(covered(first) && covered(last)) || uncoveredFrame) {
      printf "%s at %s (%s) has no unwind entry\n", current, start, why
      ++missing
    }
  }
  BEGIN {
    # A number from the start: an unset index is "", and the first entry
    # would begin at address 0.
    entryCount = 0
    while ((getline line < entriesFile) > 0) {
      split(line, field, " "); begin[entryCount] = hex(field[1]); end[entryCount++] = hex(field[2])
    }
    while ((getline line < functionsFile) > 0) {
      split(line, field, " "); sub(/^0+/, "", field[1]); name[field[1]] = field[2]; ++functions
    }
    current = "code before the first symbol"
  }
  /^ *[0-9a-f]+:\t/ {
    key = substr($1, 1, length($1) - 1)
    address = hex(key)
    if (key in name) {
      settle()
      current = name[key]; start = key; first = address; frame = 0; uncoveredFrame = 0
    }
    # The instruction with its prefixes (rex.W, notrack, bnd, data16...),
    # without the target name or the comment objdump adds.
    text = $0; sub(/^[^\t]*\t/, "", text); sub(/ *[<#].*$/, "", text); gsub(/[ \t]+/, " ", text)
    # Padding between functions.
    if (text ~ /^((data16|cs) )*(nop[wl]?|int3)( |$)/ || text ~ /xchg %ax,%ax/) next
    last = address
    # No operand is a word: a mnemonic is found behind any prefix.
    if (text ~ /(^| )(push|l?call|enter)[a-z]*( |$)/ || text ~ /(^| |,)%(rsp|esp|sp|spl)$/ ||
        text ~ /xchg .*%(rsp|esp)(,|$)/) {
      if (!frame) why = text
      frame = 1
      if (!covered(address)) uncoveredFrame = 1
    }
  }
  END {
    settle()
    printf "%d functions, %d of them not leaves, %d without an unwind entry\n", functions, frames, missing
    # Every guest calls the system: only code misread is all leaves.
    if (!frames) print "not one function that is not a leaf: the code was misread"
    exit missing > 0 || !frames
  }' "$work/code"
