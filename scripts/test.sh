#!/usr/bin/env bash
# Sets everything up, then runs the whole test suite under Xvfb and Wine:
# the 64-bit tree's, then the 32-bit tree's (skipped, with the reason, where
# this machine cannot run 32-bit programs). The ctest fixtures start and stop
# the Wine session.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" >/dev/null
cd "$root"
scripts/check-format.sh
scripts/check-docs.py
scripts/bench_tables.py --check
# What ships, built again with Clang, warnings as errors: compiler-specific
# constructs show.
for preset in i686-clang x64-clang; do
  [ -f "build/$preset/build.ninja" ] || cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" >/dev/null || { cmake --build --preset "$preset"; exit 1; }
done
# The Clang trees have no tests: the 64-bit hook library's unwind entries
# and the C interface DLLs' imports, which the GCC trees' tests check in
# their builds, are checked here.
coverage=$(tests/paintwatch/unwind_coverage_test.sh x86_64-w64-mingw32- \
           build/x64-clang/paintwatch/paintwatch64.dll) || { echo "x64-clang: $coverage" >&2; exit 1; }
for preset in i686-clang x64-clang; do
  tests/source_c/dll_imports_test.sh llvm-objdump "build/$preset/source/lumo_source.dll" ||
    { echo "$preset: lumo_source.dll imports a runtime DLL" >&2; exit 1; }
done
status=0
ctest --test-dir "$root/build/x64" --output-on-failure -j2 || status=$?
if ! why=$("$root/scripts/runs-32bit.sh"); then
  echo "test: the 32-bit suites are skipped: $why" >&2
fi
ctest --test-dir "$root/build/i686" --output-on-failure -j2 || status=$?
exit $status
