#!/usr/bin/env bash
# The packages are the same bytes wherever they are built: the last commit is
# cloned into two folders whose paths differ in length, scripts/package runs
# in each, and the .deb and the zip are compared byte for byte.
#   reproducible_packages_test.sh SOURCE_DIR
set -euo pipefail
source=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
for folder in a "a-folder-whose-path-is-longer-than-the-other/b"; do
    mkdir -p "$(dirname "$work/$folder")"
    git clone -q "$source" "$work/$folder"
    (cd "$work/$folder" && scripts/package >"$work/package.log" 2>&1) ||
        { echo "FAILED: scripts/package in $folder"; cat "$work/package.log"; exit 1; }
done
for package in quillmoor-sfx_*_amd64.deb quillmoor-sfx-*-windows.zip; do
    first=$(ls "$work"/a/build/packages/$package)
    second=$(ls "$work"/a-folder-whose-path-is-longer-than-the-other/b/build/packages/$package)
    if cmp "$first" "$second"; then
        echo "ok: $(basename "$first"): the same $(stat -c %s "$first") bytes from both folders"
    else
        echo "FAILED: $(basename "$first") differs between the two folders"
        failures=$((failures + 1))
    fi
done
exit "$failures"
