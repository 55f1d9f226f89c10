#!/usr/bin/env bash
# Tells whether this machine runs 32-bit Windows programs: exits 0 if it
# does, otherwise prints why and exits 1. Machines of one kind differ here,
# so the kernel is asked with a tiny 32-bit program instead of a guess.
#   runs-32bit.sh [kernel]
# With "kernel" only the kernel is asked, not whether Wine's 32-bit loader
# is installed.
set -uo pipefail

probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
# A 96-byte 32-bit ELF program whose only instructions are exit(42).
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08'\
'\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00'\
'\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' > "$probe"
chmod +x "$probe"
said=$("$probe" 2>&1)
ran=$?
if [ $ran -ne 42 ]; then
  case "$said" in
    *"format error"*) echo "this machine's kernel cannot execute 32-bit code" ;;
    *) echo "the 32-bit probe $probe did not run (exit $ran): $said" ;;
  esac
  exit 1
fi
if [ "${1:-}" != kernel ] && [ ! -x /usr/lib/wine/wine ]; then
  echo "Wine's 32-bit loader /usr/lib/wine/wine is not installed (scripts/setup.sh installs it)"
  exit 1
fi
exit 0
