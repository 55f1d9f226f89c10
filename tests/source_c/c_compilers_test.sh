#!/usr/bin/env bash
# What a server built with another compiler meets, tried with the compilers
# here: the C interface's header, alone and in the C example, compiles as
# C99 with GCC and with Clang, warnings as errors; and an import library
# made from the DLL's export list alone, as another toolchain's librarian
# makes one, links the example.
#   c_compilers_test.sh TRIPLE SOURCE_DIR EXPORT_LIST
set -euo pipefail
triple=$1 source=$2 exports=$3
flags=(-std=c99 -Wall -Wextra -pedantic -Werror -O2 -I"$source")
example=$source/examples/c_consumer/main.c
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
# The header alone, and the functions the example does not call.
header='#include "source/screen_source_c.h"
void stop(lumo_source *source) { lumo_source_stop(source); }
int watching(lumo_source *source) { return lumo_source_watching_32(source, 0); }'
for compiler in "$triple-gcc" "clang --target=$triple"; do
  $compiler "${flags[@]}" -c -o "$work/header.o" -x c - <<<"$header" || status=1
  $compiler "${flags[@]}" -c -o "$work/example.o" "$example" || status=1
done

machine=$([ "$triple" = x86_64-w64-mingw32 ] && echo i386:x86-64 || echo i386)
llvm-dlltool -m "$machine" -d "$exports" -D lumo_source.dll -l "$work/lumo_source.lib"
clang --target="$triple" -fuse-ld=lld -L"/usr/lib/gcc/$triple/12-posix" -o "$work/example.exe" \
  "$work/header.o" "$work/example.o" "$work/lumo_source.lib" -luser32 -lgdi32 || status=1
exit $status
