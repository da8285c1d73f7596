# zopfli's source, which every build compiles into sfxpack (Debian ships no
# MinGW build of it): Debian's source package, fetched once into
# build/third_party. Sourced by the scripts that build; needs root to add the
# source entries, as installing packages does.

SFX_ZOPFLI_VERSION=1.0.3

# Fetches the source when it is missing; the deb-src entries are derived from
# the machine's own apt sources, so the source comes from where its packages do.
sfx_fetch_zopfli() {
    local root=$1 third_party=$1/build/third_party
    [ -f "$third_party/zopfli-$SFX_ZOPFLI_VERSION/src/zopfli/zopfli.h" ] && return 0
    mkdir -p "$third_party"
    if ! apt-get source --print-uris zopfli="$SFX_ZOPFLI_VERSION"-1 >/dev/null 2>&1; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "zopfli's source is missing: run scripts/test once as root to fetch it" >&2
            return 1
        fi
        local entries=/etc/apt/sources.list.d/quillmoor-sfx-sources.sources
        for sources in /etc/apt/sources.list.d/*.sources; do
            [ "$sources" = "$entries" ] || sed -n '/^Types:/s/.*/Types: deb-src/p; /^Types:/!p' "$sources"
            echo
        done >"$entries"
        for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$list" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$list"
        done >"${entries%.sources}.list"
        apt-get update -qq >/dev/null || { echo "apt-get update failed" >&2; return 1; }
    fi
    (cd "$third_party" && apt-get source -qq zopfli="$SFX_ZOPFLI_VERSION"-1 >/dev/null 2>&1) ||
        { echo "apt-get source zopfli failed" >&2; return 1; }
    [ -f "$third_party/zopfli-$SFX_ZOPFLI_VERSION/src/zopfli/zopfli.h" ]
}
