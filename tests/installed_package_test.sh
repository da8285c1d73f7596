#!/usr/bin/env bash
# The .deb as a user gets it: taken apart into a scratch root (no root needed),
# its sfxpack packs a folder with the stub it installed, verifies and lists
# the installer; the manual page renders without warnings, and bash completes
# sfxpack's commands, options, their values and files.
#   installed_package_test.sh PACKAGES_DIR FOLDER
set -euo pipefail
packages=$1 folder=$2
deb=$(ls "$packages"/quillmoor-sfx_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || { echo "FAILED: no .deb in $packages (scripts/package makes it)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
sfxpack=$work/root/usr/bin/sfxpack
source "$(dirname "$0")/support/checks.sh"
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

# Bash completion, as bash-completion loads it from where the .deb puts it.
completion=$work/root/usr/share/bash-completion/completions/sfxpack
# completes LINE WORDS...: completing the end of LINE offers exactly WORDS.
# The line is cut into words as bash cuts it, at spaces and at '='; compopt,
# which works only inside a real completion, does nothing here.
completes() {
    local line=$1; shift
    local offered
    offered=$(bash -c 'source /usr/share/bash-completion/bash_completion && source "$1" && cd "$2" &&
        compopt() { :; } && COMP_LINE=$3 && COMP_POINT=${#3} && read -ra COMP_WORDS <<<"${3//=/ = }" &&
        { [[ $3 != *" " ]] || COMP_WORDS+=(""); } && COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) &&
        _sfxpack sfxpack "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}";
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" "$work" "$line" | tr '\n' ' ')
    if [ "$offered" = "$(printf '%s\n' "$@" | sort | tr '\n' ' ')" ]; then echo "ok: completes \"$line\""; else
        echo "FAILED: completing \"$line\" offers: $offered"; failures=$((failures + 1)); fi
}
completes "sfxpack " create extract help info inject list verify --help --version
completes "sfxpack ve" verify
completes "sfxpack create --le" --level=
completes "sfxpack create --level=1" 1 10 11
completes "sfxpack create --level " 0 1 2 3 4 5 6 7 8 9 10 11
completes "sfxpack list --format " json table tsv
completes "sfxpack create --times=" each write
completes "sfxpack inject --execution-level=h" highestAvailable
completes "sfxpack create --version-string Prod" ProductName= ProductVersion=
completes "sfxpack list -" -q --quiet -h --help --codepage= --format=
completes "sfxpack create -o out.exe d" demo.exe
completes "sfxpack verify " demo.exe root
completes "sfxpack extract demo.exe " root
completes "sfxpack help i" info inject
completes "sfxpack help info "
completes "sfxpack --version "
completes "sfxpack verify -- -"
exit "$failures"
