#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked, its x64 sfxpack.exe packs a
# folder under Wine with the stub beside it, and verifies and lists the result.
#   windows_zip_test.sh PACKAGES_DIR FOLDER WINE_STATE
set -euo pipefail
packages=$1 folder=$2 state=$3
root=$(cd "$(dirname "$0")/.." && pwd)
zip=$(ls "$packages"/quillmoor-sfx-*-windows.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { echo "FAILED: no Windows zip in $packages (scripts/package makes it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
sfxpack=$(ls "$work"/*/x64/sfxpack.exe)
windows() { echo "Z:${1//\//\\}"; }
run() { "$root/scripts/wine-run" "$state" "$sfxpack" "$@"; }
failures=0
for files in x86/sfxpack.exe x86/sfxstub.exe x64/sfxstub.exe x64/README.md x64/NOTICES.txt; do
    [ -f "$(dirname "$sfxpack")/../$files" ] || { echo "FAILED: the zip has no $files"; failures=$((failures + 1)); }
done
if run create -o "$(windows "$work/demo.exe")" "$(windows "$folder")" >"$work/out" 2>&1 &&
   run verify "$(windows "$work/demo.exe")" >>"$work/out" 2>&1 &&
   run list "$(windows "$work/demo.exe")" >>"$work/out" 2>&1; then
    echo "ok: the zip's x64 sfxpack.exe packs, verifies and lists with the stub beside it"
else
    echo "FAILED: the zip's x64 sfxpack.exe"; sed 's/^/  | /' "$work/out"; failures=$((failures + 1))
fi
exit "$failures"
