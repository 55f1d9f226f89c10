#!/usr/bin/env bash
# Breaks a copy of the repository's documents one way at a time and expects
# scripts/check-docs.py to name each fault; the copy as it is must pass.
#   check_docs_test.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# fault => what check-docs must say
cases=(
  "true => "
  "sed -i 's|(docs/file-store.md)|(docs/file-stor.md)|' README.md => the link docs/file-stor.md leads nowhere"
  "sed -i 's|(file-store.md)|(file-store.md#no-such-part)|' docs/development.md => has no heading #no-such-part"
  "rm storage/file_lock.h => \`storage/file_lock.h\` does not exist"
  "sed -i 's|seconds(5)|seconds(6)|' examples/consumer/main.cpp => the excerpt of examples/consumer/main.cpp differs"
  "chmod -x scripts/demo.sh => the command scripts/demo.sh is not an executable file"
  "seq 300 >> README.md => more than 250"
  "sed -i 's/lumo VERSION [0-9.]*/lumo VERSION 9.9.9/' CMakeLists.txt => the newest version is not the package's, 9.9.9"
)
failed=0
for case in "${cases[@]}"; do
  fault=${case%% => *} expected=${case#* => }
  rm -rf "$work/tree" && mkdir "$work/tree"
  tar -C "$source" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/tree" -xf -
  (cd "$work/tree" && eval "$fault")
  status=0
  said=$(python3 "$source/scripts/check-docs.py" "$work/tree" 2>&1) || status=$?
  if [ -z "$expected" ] && [ $status -ne 0 ]; then
    echo "check_docs_test: the documents as they are fail: $said" >&2; failed=1
  elif [ -n "$expected" ] && { [ $status -eq 0 ] || [[ $said != *"$expected"* ]]; }; then
    echo "check_docs_test: after '$fault' expected '$expected', got (exit $status): $said" >&2
    failed=1
  fi
done
exit $failed
