# The source of the libraries that every build compiles into sfxpack (Debian
# ships no MinGW build of them): Debian's source packages, fetched once into
# build/third_party. Sourced by the scripts that build.

SFX_ZOPFLI_VERSION=1.0.3
SFX_EXPAT_VERSION=2.5.0
SFX_LIBDEFLATE_VERSION=1.14

# Fetches Debian's source package PACKAGE (VERSION, a Debian version or an
# upstream one, any revision then) into build/third_party, unless FILE, a path
# inside the unpacked tree, is there already. apt works from a configuration
# and state of the project's own under build/apt: deb-src entries derived
# from the machine's own apt sources (deb822 .sources and one-line .list
# files), so the source comes from where its packages do, and /etc/apt and
# /var/lib/apt stay as they were. Needs no root.
sfx_fetch_debian_source() {
    local root=$1 package=$2 version=$3 file=$4
    local third_party=$root/build/third_party apt=$root/build/apt
    [ -f "$third_party/$file" ] && return 0
    mkdir -p "$third_party" "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial"

    local sources list
    for sources in /etc/apt/sources.list.d/*.sources; do
        # What an earlier version of these scripts left in /etc/apt is deb-src already.
        [ -f "$sources" ] && [ "${sources##*/}" != quillmoor-sfx-sources.sources ] || continue
        sed 's/^Types:.*/Types: deb-src/I' "$sources"
        echo
    done >"$apt/sources.list.d/machine.sources"
    for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$list" ] && [ "${list##*/}" != quillmoor-sfx-sources.list ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]\+/deb-src /p' "$list"
    done >"$apt/sources.list"

    local options=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
                   -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=$(id -un)")
    # The lists are fetched again only when they hold no such source.
    if ! apt-get "${options[@]}" source --print-uris "$package" >/dev/null 2>&1; then
        apt-get "${options[@]}" update -qq >/dev/null 2>&1 ||
            { echo "apt-get update of the source lists in $apt failed" >&2; return 1; }
    fi
    # An upstream version: each revision of it the lists name, newest first,
    # as a mirror may not serve the newest (a security update) yet.
    local revisions=("$version") revision
    [[ $version == *-* ]] ||
        mapfile -t revisions < <(apt-cache "${options[@]}" showsrc "$package" 2>/dev/null |
                                 sed -n "s/^Version: \($version-.*\)/\1/p" | sort -rV)
    for revision in "${revisions[@]}"; do
        (cd "$third_party" && apt-get "${options[@]}" source -qq "$package=$revision" >/dev/null 2>&1) && break
    done
    [ -f "$third_party/$file" ] ||
        { echo "apt-get source $package=$version failed (its lists are in $apt)" >&2; return 1; }
}

# Applies the project's own patches in PATCHES (a folder of *.patch files) to
# the unpacked tree TREE, after Debian's, as Debian applies its own: each
# once, recorded in TREE/.quillmoor-patches by name and contents. A tree that
# holds another version of one of them, or patches it does not record, is
# unpacked again from the source package (sfx_fetch_debian_source's, which
# PACKAGE, VERSION and FILE name) and patched afresh.
#   sfx_patch_debian_source ROOT TREE PATCHES PACKAGE VERSION FILE
sfx_patch_debian_source() {
    local root=$1 tree=$1/build/third_party/$2 patches=$1/$3 patch records=
    local LC_ALL=C  # the patches in the byte order CMake lists them in too
    for patch in "$patches"/*.patch; do
        [ -f "$patch" ] || continue
        records+="$(basename "$patch") $(sha256sum <"$patch" | cut -c1-16)"$'\n'
    done
    [ "$(cat "$tree/.quillmoor-patches" 2>/dev/null)" = "${records%$'\n'}" ] && return 0
    # Anything else, a patch of an earlier version among it, starts again from Debian's tree.
    if [ -e "$tree/.quillmoor-patches" ] || [ -n "$(find "$tree" -name '*.orig' -o -name '*.rej' 2>/dev/null | head -n 1)" ]; then
        rm -rf "$tree"
        sfx_fetch_debian_source "$root" "$4" "$5" "$6" || return 1
    fi
    for patch in "$patches"/*.patch; do
        [ -f "$patch" ] || continue
        patch -p1 -N -s -d "$tree" <"$patch" >/dev/null ||
            { echo "$(basename "$patch") does not apply to $tree (rm -r it to fetch it afresh)" >&2; return 1; }
    done
    printf '%s' "$records" >"$tree/.quillmoor-patches"
}

# libdeflate (levels 1 to 10, with a patch of ours: cmake/libdeflate/),
# zopfli (level 11) and expat (checking vendors' manifests).
sfx_fetch_third_party() {
    local libdeflate=libdeflate-$SFX_LIBDEFLATE_VERSION
    sfx_fetch_debian_source "$1" libdeflate "$SFX_LIBDEFLATE_VERSION" "$libdeflate/libdeflate.h" &&
        sfx_patch_debian_source "$1" "$libdeflate" cmake/libdeflate libdeflate "$SFX_LIBDEFLATE_VERSION" \
            "$libdeflate/libdeflate.h" &&
        sfx_fetch_debian_source "$1" zopfli "$SFX_ZOPFLI_VERSION"-1 "zopfli-$SFX_ZOPFLI_VERSION/src/zopfli/zopfli.h" &&
        sfx_fetch_debian_source "$1" expat "$SFX_EXPAT_VERSION" "expat-$SFX_EXPAT_VERSION/expat/lib/expat.h"
}
