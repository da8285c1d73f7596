#!/usr/bin/env bash
# The .deb as a user gets it: taken apart into a scratch root (no root needed),
# its sfxpack packs a folder with the stub it installed, verifies and lists
# the installer; the manual page renders without warnings.
#   installed_package_test.sh PACKAGES_DIR FOLDER
set -euo pipefail
packages=$1 folder=$2
deb=$(ls "$packages"/quillmoor-sfx_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAILED: no .deb in $packages (scripts/package makes it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
sfxpack=$work/root/usr/bin/sfxpack
failures=0
check() {  # check WHAT COMMAND...: the command must succeed
    local what=$1; shift
    if "$@" >"$work/out" 2>&1; then echo "ok: $what"; else
        echo "FAILED: $what"; sed 's/^/  | /' "$work/out"; failures=$((failures + 1)); fi
}
check "the version is the package's" grep -qx "sfxpack $(dpkg-deb -f "$deb" Version) (zlib .*)" <("$sfxpack" --version)
check "create without --stub finds the installed stub" "$sfxpack" create -o "$work/demo.exe" "$folder"
check "verify" "$sfxpack" verify "$work/demo.exe"
check "list" "$sfxpack" list "$work/demo.exe"
# The release sfxpack has no build tree to fall back on; its code is the
# installed stub's all the same (the sections start at 1 KiB).
check "the installer's code is the installed stub's" \
    cmp -n 65536 -i 1024 "$work/demo.exe" "$work/root/usr/share/quillmoor-sfx/sfxstub.exe"
check "the manual page renders without warnings" \
    bash -c "[ -z \"\$(MANWIDTH=80 man --warnings -l '$work/root/usr/share/man/man1/sfxpack.1.gz' 2>&1 >/dev/null)\" ]"
exit "$failures"
