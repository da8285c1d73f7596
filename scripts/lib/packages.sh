# The Debian packages the project builds, tests and demonstrates with, and a
# function that installs the missing ones. Sourced by scripts/test and scripts/demo.
sfx_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

SFX_PACKAGES=(
    cmake make ninja-build g++ git                # the host build, and the vendor test's generators
    googletest libgtest-dev                       # tests
    zlib1g-dev                                    # zlib for the host build
    clang libclang-rt-14-dev                      # libFuzzer targets
    mingw-w64 binutils-mingw-w64                  # the Windows builds...
    g++-mingw-w64-i686-win32                      # ...the product, 32-bit
    g++-mingw-w64-i686-posix                      # ...its tests, with GoogleTest
    g++-mingw-w64-x86-64-posix                    # ...the tests, 64-bit
    libz-mingw-w64-dev                            # zlib for both Windows builds
    wine64 fonts-wine xvfb                        # running the Windows tests
    icoutils p7zip-full imagemagick               # reading resources, pictures
    pigz time                                     # the packing benchmark's reference; peak memory
    openssl osslsigncode                          # signing installers in the tests
    dpkg-dev lintian man-db bash-completion       # the .deb: its dependencies, checks, manual, completion
    patch                                         # our patch to libdeflate's source
)

# Installs what is missing, then 32-bit Wine where it can run; when not root,
# prints the one command to run instead.
sfx_install_packages() {
    sfx_install_listed_packages && sfx_install_wine32
}

sfx_install_listed_packages() {
    local missing=() package
    for package in "${SFX_PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages. Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        return 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # An index that a mirror serves badly fails the update, but may not be needed.
    { apt-get update -qq >/dev/null 2>&1 || true; }
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
        { echo "apt-get install failed for: ${missing[*]}" >&2; return 1; }
}

# 32-bit Wine, for the product's own tests, where the kernel runs 32-bit
# programs: the i386 architecture is added to dpkg's, and wine32:i386
# installed. Never fails: where it cannot be had, it says why, and
# scripts/lib/probe-32bit tells the tests (build/probe-32bit/wine32-install.txt).
sfx_install_wine32() {
    local why=$sfx_root/build/probe-32bit/wine32-install.txt kernel log
    mkdir -p "${why%/*}"
    rm -f "$why"
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed' && return 0
    if ! kernel=$("$sfx_root/scripts/lib/probe-32bit" --kernel); then
        echo "32-bit Wine skipped: $kernel"
        echo "not installed, since $kernel" >"$why"
        return 0
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "32-bit Wine is missing. Run: sudo dpkg --add-architecture i386 && sudo apt-get update &&" \
             "sudo apt-get install -y --no-install-recommends wine32:i386"
        echo "not installed (needs root)" >"$why"
        return 0
    fi
    echo "Installing: wine32:i386 (this kernel runs 32-bit programs)"
    log=$(mktemp)
    export DEBIAN_FRONTEND=noninteractive
    { dpkg --add-architecture i386 && { apt-get update -qq || true; } &&
      apt-get install -y -qq --no-install-recommends wine32:i386; } >"$log" 2>&1
    if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
        echo "apt-get could not install it ($(grep -m 1 -E '^E: ' "$log" | cut -c4-200))" >"$why"
        echo "32-bit Wine skipped: wine32:i386 $(cat "$why")"
        # The machine as it was: no architecture that nothing uses.
        dpkg --remove-architecture i386 >/dev/null 2>&1 || true
        apt-get update -qq >/dev/null 2>&1 || true
    fi
    rm -f "$log"
}
