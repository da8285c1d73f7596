#!/usr/bin/env bash
# A vendor's CMake build makes its installer: the example project in
# examples/vendor-cmake, cross-compiled with MinGW, finds the project installed
# by `cmake --install` into a scratch prefix, and then the .deb's files; its
# build makes the installer with quillmoor_sfx_add_installer() and its cpack
# with the External generator, and each carries the vendor's identity and
# verifies. One, built for x64, installs under Wine and opens the program. Wrong calls stop at
# configure time saying which setting is wrong; a cpack install tree with
# folders is refused naming them. The Windows zip carries the same package.
#   vendor_cmake_test.sh RELEASE_BUILD PACKAGES_DIR WINE_STATE WIN64_BUILD
set -euo pipefail
release=$(realpath "$1") packages=$(realpath "$2") state=$(realpath "$3") win64=$(realpath "$4")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, whose files the test may touch; the demo's icon where the example looks.
mkdir -p "$work/examples/demo"
cp -r "$root/examples/vendor-cmake" "$work/examples/"
cp "$root/examples/demo/vendor.ico" "$work/examples/demo/"
example=$work/examples/vendor-cmake
failures=0
fail() { echo "FAILED: $1"; [ -f "$work/out" ] && sed 's/^/  | /' "$work/out"; failures=$((failures + 1)); }
# check WHAT COMMAND...: the command must succeed
check() {
    local what=$1; shift
    if "$@" >"$work/out" 2>&1; then echo "ok: $what"; else fail "$what"; fi
}
# shows WHAT TEXT COMMAND...: the command must succeed and print TEXT
shows() {
    local what=$1 text=$2; shift 2
    if "$@" >"$work/out" 2>&1 && grep -qF -- "$text" "$work/out"; then echo "ok: $what"; else fail "$what"; fi
}

deb=$(ls "$packages"/quillmoor-sfx_*.deb 2>/dev/null | head -n 1)
zip=$(ls "$packages"/quillmoor-sfx-*-windows.zip 2>/dev/null | head -n 1)
[ -n "$deb" ] && [ -n "$zip" ] || { echo "FAILED: no .deb or zip in $packages (scripts/package makes them)"; exit 1; }
check "cmake --install into a scratch prefix" cmake --install "$release" --prefix "$work/prefix"
dpkg-deb -x "$deb" "$work/deb"

# configure BUILD PREFIX [CMAKE ARGS...]: the example against the sfxpack installed at PREFIX
configure() {
    local build=$1 prefix=$2; shift 2
    cmake -S "$example" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$example/toolchain-mingw-i686.cmake" \
        -DCMAKE_PREFIX_PATH="$prefix" "$@"
}
for source in prefix deb/usr; do
    build=$work/build-${source%%/*}
    sfxpack=$work/$source/bin/sfxpack
    check "$source: the example configures" configure "$build" "$work/$source"
    check "$source: it builds, the installer with it" cmake --build "$build"
    check "$source: cpack makes the other installer" bash -c "cd '$build' && cpack"
    for installer in "$build/LanternSetup.exe" "$build/Lantern-2.1.0-win32.exe"; do
        name=$source:$(basename "$installer")
        check "$name verifies" "$sfxpack" verify "$installer"
        "$sfxpack" info "$installer" >"$work/info" 2>&1 || true
        for line in "icon: 16x16 32-bit, 32x32 32-bit, 48x48 32-bit" "version: file 2.1.0.0, product 2.1.0.0" \
                    "  CompanyName: Lantern Works" "  FileDescription: Lantern installer" "  ProductName: Lantern" \
                    "notice: Packaged and published by Lantern Works." "execution level: asInvoker" \
                    "package: 3 entries, "; do
            grep -qxF -- "$line" <(cut -c1-${#line} "$work/info") || { cp "$work/info" "$work/out"; fail "$name: no \"$line\""; }
        done
        grep -qF "launch: lantern.exe" "$work/info" || { cp "$work/info" "$work/out"; fail "$name: launches lantern.exe"; }
    done
    check "$source: the installer's code is the installed stub's" \
        cmp -n 65536 -i 1024 "$build/LanternSetup.exe" "$work/$source/share/quillmoor-sfx/sfxstub.exe"
done

# Made again when an input changes, and only then.
build=$work/build-prefix
cmake --build "$build" >"$work/out" 2>&1
grep -q "Making the installer" "$work/out" && fail "a build with nothing changed makes the installer again"
touch -d '+1 min' "$example/data/palette.txt"
shows "a changed data file makes the installer again" "Making the installer LanternSetup.exe" cmake --build "$build"
touch -d '+2 min' "$work/prefix/share/quillmoor-sfx/sfxstub.exe"
shows "a changed stub makes it again" "Making the installer LanternSetup.exe" cmake --build "$build"

# Wrong calls stop the configuration, saying which setting is wrong.
# refused WHAT MESSAGE CMAKE-CODE: a project of that code fails to configure, saying MESSAGE
refused() {
    local what=$1 message=$2 code=$3
    rm -rf "$work/wrong"
    mkdir -p "$work/wrong"
    printf 'data' >"$work/wrong/data.txt"
    printf '%s\n' "cmake_minimum_required(VERSION 3.20)" "project(Wrong VERSION 1.2 LANGUAGES NONE)" \
        "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)" "$code" >"$work/wrong/CMakeLists.txt"
    if ! cmake -S "$work/wrong" -B "$work/wrong/build" -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/out" 2>&1 &&
        grep -qF -- "$message" <(tr -s ' \n' ' ' <"$work/out"); then
        echo "ok: refused: $what"
    else
        fail "refused: $what (expected \"$message\")"
    fi
}
add="quillmoor_sfx_add_installer(setup OUTPUT Setup.exe FILES data.txt"
refused "no OUTPUT" "quillmoor_sfx_add_installer(setup): OUTPUT is missing" \
    "quillmoor_sfx_add_installer(setup FILES data.txt)"
refused "no FILES" "quillmoor_sfx_add_installer(setup): FILES is missing" \
    "quillmoor_sfx_add_installer(setup OUTPUT Setup.exe)"
refused "a file that is not there" "FILES missing.txt does not exist" \
    "quillmoor_sfx_add_installer(setup OUTPUT Setup.exe FILES missing.txt)"
refused "a folder" "FILES . is a folder" "quillmoor_sfx_add_installer(setup OUTPUT Setup.exe FILES .)"
refused "two files of one name" "FILES has two files named DATA.TXT" "file(WRITE \${CMAKE_BINARY_DIR}/DATA.TXT x)
$add \${CMAKE_BINARY_DIR}/DATA.TXT)"
refused "LEVEL 12" "LEVEL 12 is not a level; levels go from 0 (stored) to 11" "$add LEVEL 12)"
refused "LEVEL fast" "LEVEL fast is not a level" "$add LEVEL fast)"
refused "LAUNCH and NO_LAUNCH" "LAUNCH and NO_LAUNCH exclude each other" "$add LAUNCH data.txt NO_LAUNCH)"
refused "LAUNCH in a folder" "LAUNCH \"bin/data.txt\" is not a file's name" "$add LAUNCH bin/data.txt)"
refused "a version of five numbers" "FILE_VERSION 1.2.3.4.5 is not a version" "$add FILE_VERSION 1.2.3.4.5)"
refused "a version past 65535" "PRODUCT_VERSION 1.70000: 70000 is more than 65535" "$add PRODUCT_VERSION 1.70000)"
refused "an unknown version string" "VERSION_STRINGS \"Colour=blue\" is not KEY=VALUE with a key" \
    "$add VERSION_STRINGS Colour=blue)"
refused "an unknown execution level" "EXECUTION_LEVEL admin is not one" "$add EXECUTION_LEVEL admin)"
refused "EXECUTION_LEVEL and MANIFEST" "EXECUTION_LEVEL and MANIFEST exclude each other" \
    "$add EXECUTION_LEVEL asInvoker MANIFEST data.txt)"
refused "a missing icon" "ICON none.ico does not exist" "$add ICON none.ico)"
refused "a blank publisher" "PUBLISHER is blank" "$add PUBLISHER \" \")"
refused "a setting without its value" "PUBLISHER given without a value" "$add PUBLISHER)"
refused "an unknown setting" "\"COLOUR;blue\" is not what it takes" \
    "quillmoor_sfx_add_installer(setup COLOUR blue OUTPUT Setup.exe FILES data.txt)"
refused "a target's name taken" "a target named setup exists already" "add_custom_target(setup)
$add)"
refused "a version too new" "QuillmoorSfxConfig.cmake, version: 1.0.0" \
    "find_package(QuillmoorSfx 2.0 CONFIG REQUIRED)"
refused "CPack without External" "CPACK_GENERATOR (\"ZIP\") does not hold External" \
    "set(CPACK_GENERATOR ZIP)
include(QuillmoorSfxCPack)"
refused "CPack included first" "CPack was included before it" \
    "set(CPACK_GENERATOR External)
include(CPack)
include(QuillmoorSfxCPack)"
refused "a CPack version Windows cannot keep" "CPACK_PACKAGE_VERSION 1.2-beta is not a version Windows keeps" \
    "set(CPACK_GENERATOR External)
set(CPACK_PACKAGE_VERSION 1.2-beta)
include(QuillmoorSfxCPack)"

# cpack refuses an install tree with folders, naming them.
mkdir -p "$work/folders"
printf 'data' >"$work/folders/data.txt"
cat >"$work/folders/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(Folders VERSION 1.0 LANGUAGES NONE)
find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)
install(FILES data.txt DESTINATION .)
install(FILES data.txt DESTINATION share/doc)
install(FILES data.txt DESTINATION bin)
set(CPACK_GENERATOR External)
include(QuillmoorSfxCPack)
CMAKE
cmake -S "$work/folders" -B "$work/folders/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
if ! (cd "$work/folders/build" && cpack) >"$work/out" 2>&1 &&
    grep -qF "The install tree has folders (bin/, share/), and an installer holds none" "$work/out" &&
    grep -qF "(DESTINATION .)" "$work/out" && ! ls "$work/folders/build"/*.exe >/dev/null 2>&1; then
    echo "ok: cpack refuses an install tree with folders, naming them"
else
    fail "cpack refuses an install tree with folders, naming them"
fi

# The Windows zip's packages find the programs beside them.
(cd "$work" && cmake -E tar xf "$zip")
for arch in x86 x64; do
    folder=$(ls -d "$work"/quillmoor-sfx-*-windows/$arch)
    mkdir -p "$work/zip-$arch"
    printf '%s\n' "cmake_minimum_required(VERSION 3.20)" "project(Zip LANGUAGES NONE)" \
        "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)" \
        "get_target_property(program QuillmoorSfx::sfxpack IMPORTED_LOCATION)" \
        'message(STATUS "program: ${program}; stub: ${QuillmoorSfx_STUB}")' >"$work/zip-$arch/CMakeLists.txt"
    shows "the zip's $arch folder holds the CMake package" "program: $folder/sfxpack.exe; stub: $folder/sfxstub.exe" \
        cmake -S "$work/zip-$arch" -B "$work/zip-$arch/build" -DCMAKE_PREFIX_PATH="$folder"
done

# An installer of the example installs under Wine and opens the program. This
# machine's Wine runs no 32-bit program, so the example is built for x64 and
# packed with the x64 stub of the Windows tests, in a prefix of its own.
cp -r "$work/prefix" "$work/prefix64"
cp "$win64/sfxstub.exe" "$work/prefix64/share/quillmoor-sfx/sfxstub.exe"
check "the example builds for x64" bash -c "cmake -S '$example' -B '$work/build-x64' \
    -DCMAKE_TOOLCHAIN_FILE='$root/cmake/toolchain-x86_64-w64-mingw32.cmake' -DCMAKE_PREFIX_PATH='$work/prefix64' &&
    cmake --build '$work/build-x64'"
windows() { echo "Z:${1//\//\\}"; }
destination=$state/prefix/drive_c/Quillmoor
rm -rf "$destination"
shown=$("$root/scripts/wine-run" "$state" "$win64/installer_driver.exe" "$(windows "$work/build-x64/LanternSetup.exe")" |
    tr -d '\r') || true
for _ in $(seq 50); do [ -s "$destination/lantern.log" ] && break; sleep 0.1; done
if grep -q "box (information): All files successfully extract" <<<"$shown" &&
    cmp -s "$destination/palette.txt" "$example/data/palette.txt" &&
    [ "$(tr -d '\r' <"$destination/lantern.log" 2>/dev/null)" = "Lantern 2.1.0 lit with 4 colours" ]; then
    echo "ok: the installer installs under Wine and opens Lantern"
else
    echo "$shown" >"$work/out"
    ls -l "$destination" >>"$work/out" 2>&1 || true
    fail "the installer installs under Wine and opens Lantern"
fi
rm -rf "$destination"
exit "$failures"
