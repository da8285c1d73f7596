#!/usr/bin/env bash
# Installers against folders that work against them: a destination folder that
# is a link to another folder, temporary folders named outside the code page,
# and full disks, as small tmpfs mounts for a
# temporary folder too small for the package, for the inflated file or for the
# entries, and for a destination folder too small for the last entry. Each run
# must end with the right error box, report no success, leave no file of its
# own in the temporary folder and no partly written file in the destination.
#   hostile_folders_test.sh BUILD_DIR WINE_STATE   (the full disks need root, for mount)
set -euo pipefail
build=$1 state=$2
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/wine-run" "$state" || exit  # 77: this machine cannot run the session's programs
work=$(mktemp -d)
mounts=()
cleanup() {
    for point in "${mounts[@]}"; do umount "$point" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
run() { "$root/scripts/wine-run" "$state" "$@"; }
windows() { echo "Z:${1//\//\\}"; }
destination=$state/prefix/drive_c/Quillmoor
failures=0

# A fresh tmpfs of the given size at the given folder.
small_disk() {
    rm -rf "$2"
    mkdir -p "$2"
    mount -t tmpfs -o "size=$1" tmpfs "$2"
    mounts+=("$2")
}

release() {
    umount "$1"
    mounts=("${mounts[@]/$1}")
}

# pack NAME: packs $work/NAME/ into $work/NAME.exe
pack() {
    run "$build/sfxpack.exe" create --no-launch --stub "$(windows "$build/sfxstub.exe")" \
        -o "$(windows "$work/$1.exe")" "$(windows "$work/$1")" >/dev/null
}

# expect CASE INSTALLER TEMP_FOLDER MESSAGE DESTINATION_FILES...
expect() {
    local what=$1 installer=$2 temporary=$3 message=$4
    shift 4
    local shown left installed
    shown=$(run "$build/installer_driver.exe" --temp "$(windows "$temporary")" "$(windows "$installer")" |
        tr -d '\r') || true
    left=$(find "$temporary" -mindepth 1 | wc -l)
    installed=$(cd "$destination" 2>/dev/null && echo $(ls) || true)
    if ! grep -qF "box (error): $message" <<<"$shown" || grep -q "box (information)" <<<"$shown" ||
        ! grep -q "exit code: 18" <<<"$shown" || [ "$left" -ne 0 ] || [ "$installed" != "$*" ]; then
        echo "FAILED: $what"
        echo "  expected the box \"$message\", nothing left in the temporary folder, installed: $*"
        echo "  left in the temporary folder: $left; installed: $installed"
        sed 's/^/  | /' <<<"$shown"
        failures=$((failures + 1))
    else
        echo "ok: $what: \"$message\""
    fi
}

mkdir "$work/incompressible" "$work/zeros" "$work/many" "$work/large-last"
head -c 65536 /dev/urandom >"$work/incompressible/random.bin"
for name in incompressible; do pack "$name"; done
roomy=$work/roomy-temporary
mkdir -p "$roomy"

# Anybody may make the folder before the installer runs, as a link to a
# folder of the system's; nothing may be installed through it.
mkdir "$work/elsewhere"
rm -rf "$destination"
ln -s "$work/elsewhere" "$destination"
expect "a destination folder that is a link" "$work/incompressible.exe" "$roomy" \
    "The destination folder is a link, extracting process aborted!"

# The temporary folder inside that link: the destination is refused before
# anything is written, so a file of the user's of an entry's name is untouched.
printf 'the user'"'"'s own' >"$work/elsewhere/random.bin"
shown=$(run "$build/installer_driver.exe" --temp 'C:\Quillmoor' "$(windows "$work/incompressible.exe")" |
    tr -d '\r') || true
if ! grep -qF "box (error): The destination folder is a link, extracting process aborted!" <<<"$shown" ||
   [ "$(cat "$work/elsewhere/random.bin")" != "the user's own" ] || [ "$(ls "$work/elsewhere")" != random.bin ]; then
    echo "FAILED: a linked destination that is also the temporary folder"
    ls -l "$work/elsewhere"
    sed 's/^/  | /' <<<"$shown"
    failures=$((failures + 1))
else
    echo "ok: a linked destination that is also the temporary folder: nothing written through it"
fi
rm "$destination"

# A temporary folder named in letters outside the system's code page, as a
# user's profile may be: used by its short name, and left as it was.
for name in 'tmp-Łódź' 'tmp-Ελληνικά' 'tmp-日本語'; do
    mkdir -p "$work/$name"
    rm -rf "$destination"
    shown=$(run "$build/installer_driver.exe" --temp "$(windows "$work/$name")" "$(windows "$work/incompressible.exe")" |
        tr -d '\r') || true
    if grep -q "box (information)" <<<"$shown" && [ -z "$(ls -A "$work/$name")" ] &&
       cmp -s "$destination/random.bin" "$work/incompressible/random.bin"; then
        echo "ok: a temporary folder named $name"
    else
        echo "FAILED: a temporary folder named $name"
        ls -lA "$work/$name"
        sed 's/^/  | /' <<<"$shown"
        failures=$((failures + 1))
    fi
done
rm -rf "$destination"

if [ "$(id -u)" -ne 0 ] ||
   ! { mkdir -p "$work/probe" && mount -t tmpfs -o size=4k tmpfs "$work/probe" && umount "$work/probe"; }; then
    echo "full disks skipped: this machine does not let us mount a small file system (needs root)"
    exit "$failures"
fi

head -c 300000 /dev/zero >"$work/zeros/zeros.bin"
for i in $(seq 10 49); do printf 'x' >"$work/many/file$i.txt"; done
head -c 20000 /dev/urandom >"$work/large-last/a.bin"
head -c 100000 /dev/urandom >"$work/large-last/b.bin"
for name in zeros many large-last; do pack "$name"; done

small_disk 16k "$work/temporary"
rm -rf "$destination"
expect "a temporary folder too small for the package" "$work/incompressible.exe" "$work/temporary" \
    "Fail to decompress the data, extracting process aborted!"
release "$work/temporary"

small_disk 64k "$work/temporary"
rm -rf "$destination"
expect "a temporary folder too small for the inflated file" "$work/zeros.exe" "$work/temporary" \
    "Fail to decompress the data, extracting process aborted!"
release "$work/temporary"

# Forty one-byte files take a page each: the merge file fits, the copies do not.
small_disk 64k "$work/temporary"
rm -rf "$destination"
expect "a temporary folder too small for the entries" "$work/many.exe" "$work/temporary" \
    "Writing data error, extracting process aborted!"
release "$work/temporary"

# A file system mounted at the destination folder would be a link to the
# installer, which refuses it. So drive C: itself is the small disk for this
# case: a tmpfs with the prefix's folders linked in, and a real Quillmoor.
rm -rf "$destination"
small_disk 64k "$work/small-c"
for folder in "$state/prefix/drive_c"/*; do ln -s "$folder" "$work/small-c/"; done
drive=$state/prefix/dosdevices/c:
restore_drive() { ln -sfn ../drive_c "$drive"; }
trap 'restore_drive; cleanup' EXIT
ln -sfn "$work/small-c" "$drive"
destination=$work/small-c/Quillmoor
expect "a destination folder too small for the last entry" "$work/large-last.exe" "$roomy" \
    "Fail to copy b.bin, extracting process aborted!" a.bin
restore_drive
release "$work/small-c"

[ "$failures" -eq 0 ]
