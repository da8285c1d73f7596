#!/usr/bin/env bash
# The Windows zip as a user gets it: unpacked, its x64 or x86 sfxpack.exe packs a
# folder under Wine with the stub beside it, and verifies and lists the result;
# takes names beyond the ANSI code page, paths past 260 characters and
# wildcards, as Windows programs do; and alone in a folder, finds no stub of
# the machine that built it.
# Made with the same options, its installers are the Linux packer's, byte for
# byte.
#   windows_zip_test.sh PACKAGES_DIR FOLDER WINE_STATE LINUX_SFXPACK x64|x86
set -euo pipefail
packages=$1 folder=$2 state=$3 linux_sfxpack=$4 arch=$5
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/wine-run" "$state" || exit  # 77: this machine cannot run the session's programs
zip=$(ls "$packages"/quillmoor-sfx-*-windows.zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { echo "FAILED: no Windows zip in $packages (scripts/package makes it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && cmake -E tar xf "$zip")
sfxpack=$(ls "$work"/*/$arch/sfxpack.exe)
windows() { echo "Z:${1//\//\\}"; }
run() { "$root/scripts/wine-run" "$state" "$sfxpack" "$@"; }
failures=0
for files in x86/sfxpack.exe x86/sfxstub.exe x64/sfxstub.exe x64/README.md x64/NOTICES.txt; do
    [ -f "$(dirname "$sfxpack")/../$files" ] || { echo "FAILED: the zip has no $files"; failures=$((failures + 1)); }
done
if run create -o "$(windows "$work/demo.exe")" "$(windows "$folder")" >"$work/out" 2>&1 &&
   run verify "$(windows "$work/demo.exe")" >>"$work/out" 2>&1 &&
   run list "$(windows "$work/demo.exe")" >>"$work/out" 2>&1; then
    echo "ok: the zip's $arch sfxpack.exe packs, verifies and lists with the stub beside it"
else
    echo "FAILED: the zip's $arch sfxpack.exe"; sed 's/^/  | /' "$work/out"; failures=$((failures + 1))
fi

# check WHAT TEXT COMMAND...: under a UTF-8 locale, the command succeeds and
# prints TEXT.
check() {
    local what=$1 text=$2
    shift 2
    if LANG=C.UTF-8 "$@" >"$work/out" 2>&1 && grep -q -F -- "$text" "$work/out"; then
        echo "ok: $what"
    else
        echo "FAILED: $what"; sed 's/^/  | /' "$work/out"; failures=$((failures + 1))
    fi
}
# refuses WHAT TEXT OUTPUT COMMAND...: the command fails saying TEXT and
# leaves no OUTPUT.
refuses() {
    local what=$1 text=$2 output=$3
    shift 3
    if ! LANG=C.UTF-8 "$@" >"$work/out" 2>&1 && grep -q -F -- "$text" "$work/out" && [ ! -e "$output" ]; then
        echo "ok: $what"
    else
        echo "FAILED: $what"; sed 's/^/  | /' "$work/out"; failures=$((failures + 1))
    fi
}
mkdir -p "$work/Dossier été" "$work/wild"
printf 'un café' >"$work/Dossier été/Café Menü.txt"
check "names beyond the ANSI code page" "Instalación.exe: 1 file" \
    run create -o "$(windows "$work/Instalación.exe")" "$(windows "$work/Dossier été")"
check "the entry keeps its name" "Café Menü.txt" run list --format=tsv "$(windows "$work/Instalación.exe")"
deep=$work/$(printf 'd%.0s' $(seq 1 130))/$(printf 'e%.0s' $(seq 1 130))/$(printf 'f%.0s' $(seq 1 130))
mkdir -p "$deep"
printf 'deep' >"$deep/deep.txt"
check "a path of ${#deep} characters" "1 file" run create -o "$(windows "$deep/deep.exe")" "$(windows "$deep")"
check "extracting into it" "1 file written" run extract "$(windows "$deep/deep.exe")" "$(windows "$deep/out")"
for name in one two three; do printf '%s' "$name" >"$work/wild/$name.txt"; done
printf 'x' >"$work/wild/other.dat"
cd "$work/wild"
check "a wildcard, expanded by the program" "3 files" run create -o ../wild.exe '*.txt'
refuses "a device's name as the output" "NUL: not a regular file (a device)" "$work/wild/NUL" \
    run create -o NUL '*.txt'
cd - >/dev/null

# Packing leaves a file's last access time as it was.
touch -d 2020-01-01T00:00:00Z "$work/wild/one.txt"
check "packing" "1 file" run create -o "$(windows "$work/accessed.exe")" "$(windows "$work/wild/one.txt")"
if [ "$(stat -c %X "$work/wild/one.txt")" = "$(date -d 2020-01-01T00:00:00Z +%s)" ]; then
    echo "ok: packing leaves the last access time alone"
else
    echo "FAILED: packing moved the last access time to $(stat -c %x "$work/wild/one.txt")"
    failures=$((failures + 1))
fi

# A file that another process keeps rewriting while it is packed: its last
# write time moves, whatever its bytes.
mkdir "$work/changing"
head -c 8M /dev/urandom >"$work/changing/big.bin"
while :; do head -c 4096 /dev/urandom | dd of="$work/changing/big.bin" conv=notrunc status=none; done &
rewriter=$!
refuses "a file rewritten while it is read" "big.bin: file changed as we read it" "$work/changing.exe" \
    run create --level 9 --threads 1 -o "$(windows "$work/changing.exe")" "$(windows "$work/changing")"
kill "$rewriter"; wait "$rewriter" 2>/dev/null || true

# Paths as Windows spells them: a share, its \\?\UNC\ form, a \\?\ path with a
# wildcard, drive-relative names. The share is a link in the prefix's
# dosdevices\unc to the folder Same; at the root of drive Q:, the current
# one, a folder has the share's name. Both go on exit. Each file named
# several ways is one file.
share=quillmoor-test-$$ devices=$state/prefix/dosdevices
mkdir -p "$devices/unc/$share" "$work/Same/Sub" "$work/local/$share/share/Sub"
ln -s "$work/Same" "$devices/unc/$share/share"
ln -s "$work/local" "$devices/q:"
trap 'rm -rf "$work" "$devices/unc/$share" "$devices/q:"' EXIT
printf 'alpha' >"$work/Same/Sub/alpha.txt"
printf 'beta' >"$work/Same/Sub/beta.txt"
printf 'the local folder' >"$work/local/$share/share/Sub/local.txt"
cd "$work/local"
check "a share (\\\\server\\share\\Sub)" "2 files" run create -o ../unc.exe "\\\\$share\\share\\Sub"
check "its files, not a local folder's of the same name" "beta.txt" run list ../unc.exe
check "a share as \\\\?\\UNC\\server\\share\\Sub" "2 files" \
    run create -o ../verbatim-unc.exe "\\\\?\\UNC\\$share\\share\\Sub"
check "a wildcard in a \\\\?\\ path" "2 files" \
    run create -o ../verbatim-wild.exe "\\\\?\\$(windows "$work/Same/Sub")\\*.txt"
cd "$work/Same"
check "a file named six ways, a folder two ways, packed once each" "2 files" \
    run create -o 'Z:..\same.exe' Sub SUB 'Sub\alpha.txt' 'SUB\ALPHA.TXT' 'Z:Sub\alpha.txt' \
        "\\\\?\\$(windows "$work/Same/Sub/alpha.txt")" "\\\\$share\\share\\sub\\Alpha.txt"
check "extracting into a drive-relative folder" "2 files written" run extract ../same.exe 'Z:unpacked\sub'
cd - >/dev/null

# The vendor's identity, the same times: the same bytes from either packer.
identity=(--icon "$root/examples/demo/vendor.ico" --publisher "Larkspur Tools" --file-version 1.2.0.0
          --version-string "ProductName=Larkspur Inventory" --execution-level asInvoker --times=write)
check "an installer with the vendor's identity" "1 file" run create "${identity[@]}" \
    -o "$(windows "$work/from-windows.exe")" "$(windows "$work/Dossier été/Café Menü.txt")"
SOURCE_DATE_EPOCH= "$linux_sfxpack" create -q --stub "$(dirname "$sfxpack")/sfxstub.exe" "${identity[@]}" \
    -o "$work/from-linux.exe" "$work/Dossier été/Café Menü.txt"
if cmp "$work/from-windows.exe" "$work/from-linux.exe"; then
    echo "ok: the Windows and the Linux packer make the same installer"
else
    echo "FAILED: the Windows and the Linux packer make different installers"; failures=$((failures + 1))
fi
# And on blocks of a program, text and noise joined, at the fastest level and
# libdeflate's strongest.
mkdir "$work/blocks"
cat /usr/lib/x86_64-linux-gnu/wine/x86_64-windows/kernelbase.dll "$root"/pack/*/*.cpp >"$work/blocks/mixed.bin"
head -c 1000000 /dev/urandom >>"$work/blocks/mixed.bin"
for level in 1 10; do
    run create -q --level "$level" --times=write -o "$(windows "$work/blocks-windows.exe")" \
        "$(windows "$work/blocks/mixed.bin")" >"$work/out" 2>&1
    SOURCE_DATE_EPOCH= "$linux_sfxpack" create -q --level "$level" --stub "$(dirname "$sfxpack")/sfxstub.exe" \
        --times=write -o "$work/blocks-linux.exe" "$work/blocks/mixed.bin"
    if cmp -s "$work/blocks-windows.exe" "$work/blocks-linux.exe"; then
        echo "ok: at level $level, blocks joined: the same installer from either packer"
    else
        echo "FAILED: at level $level, the packers make different installers"; sed 's/^/  | /' "$work/out"
        failures=$((failures + 1))
    fi
    rm -f "$work/blocks-windows.exe" "$work/blocks-linux.exe"
done

# Alone in a folder, the packer knows no stub but the one beside it.
mkdir "$work/alone"
cp "$sfxpack" "$work/alone/"
if LANG=C.UTF-8 "$root/scripts/wine-run" "$state" "$work/alone/sfxpack.exe" create -o "$(windows "$work/a.exe")" \
       "$(windows "$work/wild")" >"$work/out" 2>&1 || ! grep -q -- "--stub STUB.exe" "$work/out" ||
   [ -e "$work/a.exe" ]; then
    echo "FAILED: alone, the packer must ask for --stub"; sed 's/^/  | /' "$work/out"; failures=$((failures + 1))
else
    echo "ok: alone in a folder, the packer asks for --stub"
fi
for binary in "$work"/*/x86/sfxpack.exe "$work"/*/x64/sfxpack.exe "$work"/*/x64/sfxstub.exe; do
    if grep -q -a -F "$root" "$binary"; then
        echo "FAILED: $binary holds the build machine's path $root"; failures=$((failures + 1))
    fi
done
exit "$failures"
