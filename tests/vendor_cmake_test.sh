#!/usr/bin/env bash
# A vendor's CMake build makes its installer: the example project in
# examples/vendor-cmake, cross-compiled with MinGW, finds the project installed
# by `cmake --install` into a scratch prefix, and then the .deb's files; its
# build makes the installer with quillmoor_sfx_add_installer() and its cpack
# with the External generator, and each carries the vendor's identity and
# verifies. One installs under Wine and opens the program. Wrong calls stop at
# configure time saying which setting is wrong; a cpack install tree with
# folders is refused naming them. The Windows zip carries the same package.
#   vendor_cmake_test.sh RELEASE_BUILD PACKAGES_DIR WINE_STATE WINDOWS_BUILD x86|x64
# WINDOWS_BUILD is the Windows tests' build, whose Wine session and
# installer_driver.exe run the installer: on x86 the example's own, with the
# installed stub; on x64 one of the example built for x64 with the build's stub.
set -euo pipefail
release=$(realpath "$1") packages=$(realpath "$2") state=$(realpath "$3") windows=$(realpath "$4") session_arch=$5
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/wine-run" "$state" || exit  # 77: this machine cannot run the session's programs
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, whose files the test may touch; the demo's icon where the example looks.
mkdir -p "$work/examples/demo"
cp -r "$root/examples/vendor-cmake" "$work/examples/"
cp "$root/examples/demo/vendor.ico" "$work/examples/demo/"
example=$work/examples/vendor-cmake
source "$root/tests/support/checks.sh"

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
touch -d '+3 min' "$work/examples/demo/vendor.ico"
shows "a changed icon makes it again" "Making the installer LanternSetup.exe" cmake --build "$build"
sed -i 's/"LegalCopyright=Copyright 2026/"LegalCopyright=Copyright 2027/' "$example/CMakeLists.txt"
shows "a changed setting makes it again" "Making the installer LanternSetup.exe" cmake --build "$build"
rm "$build/LanternSetup.exe"
shows "a deleted installer is made again" "Making the installer LanternSetup.exe" cmake --build "$build"
# A build that fails leaves no installer that looks made, and the next makes it.
stub=$work/prefix/share/quillmoor-sfx/sfxstub.exe
cp "$stub" "$work/stub.exe"
printf 'not a program' >"$stub"
if ! cmake --build "$build" >"$work/out" 2>&1 && [ ! -e "$build/LanternSetup.exe" ]; then
    echo "ok: a failed build leaves no installer behind"
else
    fail "a failed build leaves no installer behind"
fi
cp "$work/stub.exe" "$stub"
shows "the next build makes it" "Making the installer LanternSetup.exe" cmake --build "$build"

# project DIR CMAKE-CODE...: a project in DIR of those lines after finding
# the package, with the files a.txt, data.txt and DATA.TXT beside them;
# $project_line, when set, is its project() call
project() {
    local dir=$1; shift
    rm -rf "$dir"
    mkdir -p "$dir/other"
    printf 'a' >"$dir/a.txt"
    printf 'data' >"$dir/data.txt"
    printf 'DATA' >"$dir/other/DATA.TXT"
    printf '%s\n' "cmake_minimum_required(VERSION 3.20)" "${project_line:-project(Wrong VERSION 1.2 LANGUAGES NONE)}" \
        "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)" "$@" >"$dir/CMakeLists.txt"
}
# Wrong calls stop the configuration, saying which setting is wrong.
# refused WHAT MESSAGE CMAKE-CODE: a project of that code fails to configure, saying MESSAGE
refused() {
    local what=$1 message=$2 code=$3
    project "$work/wrong" "$code"
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
refused "two files of one name" "FILES has two files named data.txt and DATA.TXT" "$add other/DATA.TXT)"
refused "OUTPUT among the FILES" "OUTPUT ../data.exe is one of the FILES" \
    "file(WRITE \${CMAKE_CURRENT_SOURCE_DIR}/data.exe x)
quillmoor_sfx_add_installer(setup OUTPUT ../data.exe FILES \${CMAKE_CURRENT_SOURCE_DIR}/data.exe)"
refused "OUTPUT without .exe" "OUTPUT Setup does not end in .exe" \
    "quillmoor_sfx_add_installer(setup OUTPUT Setup FILES data.txt)"
refused "a ';' in a setting" "PUBLISHER \"Owl;a.txt\" holds a ';'" "$add PUBLISHER \"Owl;a.txt\")"
refused "a '[' without its ']'" "VERSION_STRINGS \"Comments=Lantern [beta\": a '[' without its ']'" \
    "$add VERSION_STRINGS \"Comments=Lantern [beta\" ProductName=x)"
refused "a ';' in a version string" "VERSION_STRINGS \"Comments=Fonts;a.txt\" holds a ';'" \
    "$add VERSION_STRINGS \"Comments=Fonts;a.txt\")"
refused "a publisher with a space before" "PUBLISHER \" Owl\" starts or ends with a space" "$add PUBLISHER \" Owl\")"
refused "LEVEL 12" "LEVEL 12 is not a level; levels go from 0 (stored) to 11" "$add LEVEL 12)"
refused "LEVEL fast" "LEVEL fast is not a level" "$add LEVEL fast)"
refused "LAUNCH and NO_LAUNCH" "LAUNCH and NO_LAUNCH exclude each other" "$add LAUNCH data.txt NO_LAUNCH)"
refused "LAUNCH in a folder" "LAUNCH \"bin/data.txt\" is not a file's name" "$add LAUNCH bin/data.txt)"
refused "a version of five numbers" "FILE_VERSION 1.2.3.4.5 is not a version" "$add FILE_VERSION 1.2.3.4.5)"
refused "a version past 65535" "PRODUCT_VERSION 1.70000 is not a version: 70000 is more than 65535" "$add PRODUCT_VERSION 1.70000)"
refused "an unknown version string" "VERSION_STRINGS \"Colour=blue\" is not KEY=VALUE with a key" \
    "$add VERSION_STRINGS Colour=blue)"
refused "an unknown execution level" "EXECUTION_LEVEL admin is not one" "$add EXECUTION_LEVEL admin)"
refused "EXECUTION_LEVEL and MANIFEST" "EXECUTION_LEVEL and MANIFEST exclude each other" \
    "$add EXECUTION_LEVEL asInvoker MANIFEST data.txt)"
refused "a missing icon" "ICON none.ico does not exist" "$add ICON none.ico)"
refused "a blank publisher" "PUBLISHER is blank" "$add PUBLISHER \" \")"
refused "a setting without its value" "PUBLISHER given without a value" "$add PUBLISHER)"
refused "a setting with an empty value" "PUBLISHER given an empty value" "$add PUBLISHER \"\")"
refused "a '[' alone in a value" "PUBLISHER \"A[B\": a '[' without its ']'" "$add PUBLISHER \"A[B\")"
refused "a file ending in a backslash" "FILES \"other\\\" ends in a backslash" "$add [[other\\]])"
refused "an unknown setting" "\"COLOUR blue\" is not what it takes" \
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
refused "CPack included twice after it" "include(CPack) once more, after include(QuillmoorSfxCPack) included CPack" \
    "set(CPACK_GENERATOR External)
include(QuillmoorSfxCPack)
include(CPack)
include(CPack)"
refused "a CPack setting set before include(CPack) but after it" \
    "CPACK_PACKAGE_VENDOR is set after include(QuillmoorSfxCPack)" "set(CPACK_GENERATOR External)
include(QuillmoorSfxCPack)
set(CPACK_PACKAGE_VENDOR Late)
include(CPack)"
refused "a CPack version Windows cannot keep" "CPACK_PACKAGE_VERSION 1.2-beta is not a version: one to four numbers" \
    "set(CPACK_GENERATOR External)
set(CPACK_PACKAGE_VERSION 1.2-beta)
include(QuillmoorSfxCPack)"
refused "a CPack setting set after the include" "CPACK_PACKAGE_VENDOR is set after include(QuillmoorSfxCPack)" \
    "set(CPACK_GENERATOR External)
include(QuillmoorSfxCPack)
set(CPACK_PACKAGE_VENDOR Late)"
refused "a misspelt CPack setting" "CPACK_QUILLMOOR_SFX_LAUNH is not a setting" \
    "set(CPACK_GENERATOR External)
set(CPACK_QUILLMOOR_SFX_LAUNH a.txt)
include(QuillmoorSfxCPack)"
refused "a CPack setting under its own name" "CPACK_QUILLMOOR_SFX_LEVEL 12 is not a level" \
    "set(CPACK_GENERATOR External)
set(CPACK_QUILLMOOR_SFX_LEVEL 12)
include(QuillmoorSfxCPack)"
refused "a ';' in CPack's summary" "CPACK_PACKAGE_DESCRIPTION_SUMMARY \"Owl; fast\" holds a ';'" \
    "set(CPACK_GENERATOR External)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY \"Owl; fast\")
include(QuillmoorSfxCPack)"

# packs WHAT TEXT CMAKE-CODE: cpack makes the project's installer, and info says TEXT
# cpack_refuses WHAT MESSAGE CMAKE-CODE: cpack fails saying MESSAGE and writes no installer
# $after_include, when set, is code after include(QuillmoorSfxCPack)
run_cpack() {
    project "$work/cpack" "$1" "set(CPACK_GENERATOR External)" "include(QuillmoorSfxCPack)" "${after_include:-}"
    cmake -S "$work/cpack" -B "$work/cpack/build" -DCMAKE_PREFIX_PATH="$work/prefix" >"$work/out" 2>&1 &&
        (cd "$work/cpack/build" && cpack) >>"$work/out" 2>&1
}
packs() {
    local what=$1 text=$2
    if run_cpack "$3" && "$work/prefix/bin/sfxpack" info "$work/cpack/build"/*.exe >>"$work/out" 2>&1 &&
        grep -qF -- "$text" "$work/out"; then echo "ok: cpack: $what"; else fail "cpack: $what (expected \"$text\")"; fi
}
cpack_refuses() {
    local what=$1 message=$2
    if ! run_cpack "$3" && grep -qF -- "$message" <(tr -s ' \n' ' ' <"$work/out") &&
        ! ls "$work/cpack/build"/*.exe >/dev/null 2>&1; then
        echo "ok: cpack refuses $what"
    else
        fail "cpack refuses $what (expected \"$message\")"
    fi
}
cpack_refuses "an install tree with folders, naming them" \
    "The install tree has folders (bin/, share/), and an installer holds none: it installs its files into one folder. Install the files into the top (DESTINATION .)." \
    "install(FILES data.txt DESTINATION .)
install(FILES data.txt DESTINATION share/doc)
install(FILES data.txt DESTINATION bin)"
cpack_refuses "files installed to an absolute DESTINATION" "ABSOLUTE path INSTALL DESTINATION forbidden" \
    "install(FILES data.txt DESTINATION .)
install(FILES a.txt DESTINATION $work/absolute)"
[ ! -e "$work/absolute" ] || fail "cpack wrote a file to an absolute DESTINATION, outside the install tree"
packs "the files of every component" "package: 2 entries" \
    "install(FILES data.txt DESTINATION . COMPONENT Runtime)
install(FILES a.txt DESTINATION .)"
packs "the version CPack makes from its parts" "version: file 3.4.5.0, product 3.4.5.0" \
    "install(FILES data.txt DESTINATION .)
set(CPACK_PACKAGE_VERSION_MAJOR 3)
set(CPACK_PACKAGE_VERSION_MINOR 4)
set(CPACK_PACKAGE_VERSION_PATCH 5)"
if ! (cd "$work/cpack/build" && cpack -R 7.7.7) >"$work/out" 2>&1 &&
    grep -qF 'CPACK_PACKAGE_VERSION is "7.7.7" for cpack but was "3.4.5" when the project was configured' \
        <(tr -s ' \n' ' ' <"$work/out") && ! ls "$work/cpack/build"/*.exe >>"$work/out" 2>&1; then
    echo "ok: cpack -R, which the installer would not follow, is refused, and the last one's installer is gone"
else
    fail "cpack -R, which the installer would not follow, is refused, and the last one's installer is gone"
fi
packs "quotes and backslashes in CPack's settings" "  Comments: C:\\tools\\new" \
    "install(FILES data.txt DESTINATION .)
set(CPACK_PACKAGE_VENDOR \"Owl \\\"Q\\\" Works\")
set(CPACK_QUILLMOOR_SFX_VERSION_STRINGS [[Comments=C:\\tools\\new]])"
grep -qF 'notice: Packaged and published by Owl "Q" Works.' "$work/out" || fail "cpack: a quoted vendor"
packs "a file named data[1.txt, and the files after it" "package: 4 entries" \
    "file(WRITE \${CMAKE_CURRENT_SOURCE_DIR}/data[1.txt x)
file(WRITE \${CMAKE_CURRENT_SOURCE_DIR}/notes.txt x)
install(FILES data[1.txt a.txt data.txt notes.txt DESTINATION .)"
packs "a backslash in CPack's vendor" 'notice: Packaged and published by A\B Tools.' \
    "install(FILES data.txt DESTINATION .)
set(CPACK_PACKAGE_VENDOR [[A\\B Tools]])"
packs "a backslash at a value's end, with CPACK_VERBATIM_VARIABLES" '  Comments: Installs into C:\Quillmoor\' \
    "install(FILES data.txt DESTINATION .)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_QUILLMOOR_SFX_VERSION_STRINGS [[Comments=Installs into C:\\Quillmoor\\]])
set(CPACK_QUILLMOOR_SFX_EXECUTION_LEVEL asInvoker)"
after_include=$'set(CPACK_PACKAGE_FILE_NAME Owl-setup)\ninclude(CPack)' packs \
    "include(CPack) after it, with what is set between" "notice: Packaged and published by Owl Works." \
    "install(FILES data.txt DESTINATION .)
set(CPACK_PACKAGE_VENDOR \"Owl Works\")"
[ -e "$work/cpack/build/Owl-setup.exe" ] || fail "cpack: CPack included at include(CPack), which names it Owl-setup.exe"
project_line="project(NoVersion LANGUAGES NONE)" packs "a project without a version, CPack's 0.1.1" \
    "version: file 0.1.1.0, product 0.1.1.0" "install(FILES data.txt DESTINATION .)"
packs "without a vendor, the stub's publisher, not CPack's default" "notice: Packaged and published by Quillmoor." \
    "install(FILES data.txt DESTINATION .)"

# Installers added in two folders, each finding the package itself, one
# found inside a function; an OUTPUT in a folder of its own, and a relative
# file inside a generator expression.
project "$work/folders" "add_subdirectory(one)" "add_subdirectory(two)" "function(find_it)" \
    "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)" "endfunction()" "find_it()" \
    "quillmoor_sfx_add_installer(top ALL OUTPUT Top.exe FILES data.txt)"
for folder in one two; do
    mkdir -p "$work/folders/$folder"
    printf '%s' "$folder" >"$work/folders/$folder/$folder.txt"
    printf '%s\n' "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)" \
        "quillmoor_sfx_add_installer($folder ALL OUTPUT out/$folder.exe FILES \"\$<1:$folder.txt>\"" \
        "    EXECUTION_LEVEL asInvoker VERSION_STRINGS ProductName=$folder)" >"$work/folders/$folder/CMakeLists.txt"
done
for generator in "Unix Makefiles" Ninja; do
    check "installers in two folders, and in a function's ($generator)" bash -c "rm -rf '$work/folders/build' &&
        cmake -S '$work/folders' -B '$work/folders/build' -G '$generator' -DCMAKE_PREFIX_PATH='$work/prefix' &&
        cmake --build '$work/folders/build' && '$work/prefix/bin/sfxpack' verify '$work/folders/build/Top.exe' &&
        '$work/prefix/bin/sfxpack' info '$work/folders/build/two/out/two.exe' | grep -x '  ProductName: two'"
done
# Values reach sfxpack as they are, whatever make, ninja or a shell would make of them.
# says WHAT INSTALLER LINE...: sfxpack info INSTALLER prints each LINE whole
says() {
    local what=$1 installer=$2 line; shift 2
    if "$work/prefix/bin/sfxpack" info "$installer" >>"$work/out" 2>&1; then
        for line in "$@"; do grep -qxF -- "$line" "$work/out" || { fail "$what (no \"$line\")"; return; }; done
        echo "ok: $what"
    else
        fail "$what"
    fi
}
project "$work/values" "quillmoor_sfx_add_installer(setup ALL OUTPUT Setup.exe FILES data.txt
    PUBLISHER [[Owl \$(id) Tools\\]] VERSION_STRINGS [[Comments=Run \$(id) to see]] [[ProductName=Say \"hi\"]]
    [[LegalCopyright=Installs into C:\\Quillmoor\\]] EXECUTION_LEVEL asInvoker)"
for generator in "Unix Makefiles" Ninja "Ninja Multi-Config"; do
    rm -rf "$work/values/build"
    # A build that fails leaves no installer, which says reports.
    { cmake -S "$work/values" -B "$work/values/build" -G "$generator" -DCMAKE_PREFIX_PATH="$work/prefix" &&
          cmake --build "$work/values/build"; } >"$work/out" 2>&1 || true
    says "\$, quotes and backslashes reach sfxpack as they are ($generator)" "$work/values/build/Setup.exe" \
        'notice: Packaged and published by Owl $(id) Tools\.' '  Comments: Run $(id) to see' \
        '  LegalCopyright: Installs into C:\Quillmoor\' '  ProductName: Say "hi"' 'execution level: asInvoker'
done
# A folder that a generator expression gives is refused when building.
project "$work/folder" "quillmoor_sfx_add_installer(setup ALL OUTPUT Setup.exe FILES \$<1:other>)"
if ! { cmake -S "$work/folder" -B "$work/folder/build" -DCMAKE_PREFIX_PATH="$work/prefix" &&
       cmake --build "$work/folder/build"; } >"$work/out" 2>&1 &&
    grep -qF "FILES other is a folder" <(tr -s ' \n' ' ' <"$work/out") &&
    [ ! -e "$work/folder/build/Setup.exe" ]; then
    echo "ok: a folder from a generator expression is refused"
else
    fail "a folder from a generator expression is refused"
fi
# One installer a configuration, all made by one build.
project "$work/configs" "quillmoor_sfx_add_installer(setup ALL OUTPUT \$<CONFIG>/Setup.exe FILES data.txt)"
check "an installer for each configuration" bash -c "cmake -S '$work/configs' -B '$work/configs/build' \
    -G 'Ninja Multi-Config' -DCMAKE_CROSS_CONFIGS=all -DCMAKE_DEFAULT_CONFIGS=all -DCMAKE_PREFIX_PATH='$work/prefix' &&
    cmake --build '$work/configs/build' && '$work/prefix/bin/sfxpack' verify '$work/configs/build/Debug/Setup.exe' &&
    '$work/prefix/bin/sfxpack' verify '$work/configs/build/Release/Setup.exe'"

# An installer whose OUTPUT is the program it packs: the build fails, and
# the program stays.
self=$work/examples/self
cp -r "$example" "$self"
sed -i 's/OUTPUT LanternSetup.exe/OUTPUT lantern.exe/' "$self/CMakeLists.txt"
if ! { cmake -S "$self" -B "$self/build" -DCMAKE_TOOLCHAIN_FILE="$example/toolchain-mingw-i686.cmake" \
           -DCMAKE_PREFIX_PATH="$work/prefix" && cmake --build "$self/build"; } >"$work/out" 2>&1 &&
    grep -qF "the output would overwrite one of the inputs" "$work/out" && [ -s "$self/build/lantern.exe" ]; then
    echo "ok: an OUTPUT that is the program packed fails the build, and the program stays"
else
    fail "an OUTPUT that is the program packed fails the build, and the program stays"
fi

# The Windows zip's packages: for CMake on Windows, where they find the
# programs beside them (what CMake on Windows would see, by its variable).
(cd "$work" && cmake -E tar xf "$zip")
for arch in x86 x64; do
    folder=$(ls -d "$work"/quillmoor-sfx-*-windows/$arch)
    mkdir -p "$work/zip-$arch"
    printf '%s\n' "cmake_minimum_required(VERSION 3.20)" "project(Zip LANGUAGES NONE)" \
        "find_package(QuillmoorSfx 1.0 CONFIG REQUIRED)" \
        "get_target_property(program QuillmoorSfx::sfxpack IMPORTED_LOCATION)" \
        'message(STATUS "program: ${program}; stub: ${QuillmoorSfx_STUB}")' >"$work/zip-$arch/CMakeLists.txt"
    shows "the zip's $arch folder holds the CMake package" "program: $folder/sfxpack.exe; stub: $folder/sfxstub.exe" \
        cmake -S "$work/zip-$arch" -B "$work/zip-$arch/build" -DCMAKE_PREFIX_PATH="$folder" -DCMAKE_HOST_WIN32=ON
    rm -rf "$work/zip-$arch/build"
    if ! cmake -S "$work/zip-$arch" -B "$work/zip-$arch/build" -DCMAKE_PREFIX_PATH="$folder" >"$work/out" 2>&1 &&
        grep -qF "is the Windows packer's, for CMake on Windows" <(tr -s ' \n' ' ' <"$work/out"); then
        echo "ok: the zip's $arch package says it is for Windows"
    else
        fail "the zip's $arch package says it is for Windows"
    fi
done

# An installer of the example installs under Wine and opens the program: on
# x86 the one built above, with the installed stub; for the 64-bit session,
# the example built for x64 and packed with the x64 stub of the Windows
# tests, in a prefix of its own.
if [ "$session_arch" = x86 ]; then
    installer=$work/build-prefix/LanternSetup.exe
else
    cp -r "$work/prefix" "$work/prefix64"
    cp "$windows/sfxstub.exe" "$work/prefix64/share/quillmoor-sfx/sfxstub.exe"
    check "the example builds for x64" bash -c "cmake -S '$example' -B '$work/build-x64' \
        -DCMAKE_TOOLCHAIN_FILE='$root/cmake/toolchain-x86_64-w64-mingw32.cmake' -DCMAKE_PREFIX_PATH='$work/prefix64' &&
        cmake --build '$work/build-x64'"
    installer=$work/build-x64/LanternSetup.exe
fi
windows() { echo "Z:${1//\//\\}"; }
destination=$state/prefix/drive_c/Quillmoor
rm -rf "$destination"
shown=$("$root/scripts/wine-run" "$state" "$windows/installer_driver.exe" "$(windows "$installer")" |
    tr -d '\r') || true
for _ in $(seq 50); do [ -s "$destination/lantern.log" ] && break; sleep 0.1; done
if grep -q "box (information): All files successfully extract" <<<"$shown" &&
    cmp -s "$destination/palette.txt" "$example/data/palette.txt" &&
    [ "$(tr -d '\r' <"$destination/lantern.log" 2>/dev/null)" = "Lantern 2.1.0 lit with 4 colours" ]; then
    echo "ok: the $session_arch installer installs under Wine and opens Lantern"
else
    echo "$shown" >"$work/out"
    ls -l "$destination" >>"$work/out" 2>&1 || true
    fail "the $session_arch installer installs under Wine and opens Lantern"
fi
rm -rf "$destination"
exit "$failures"
