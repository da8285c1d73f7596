# The Debian packages the project builds, tests and demonstrates with, and a
# function that installs the missing ones. Sourced by scripts/test and scripts/demo.

SFX_PACKAGES=(
    cmake make ninja-build g++ git                # the host build, and the vendor test's generators
    googletest libgtest-dev                       # tests
    zlib1g-dev                                    # zlib for the host build
    clang libclang-rt-14-dev                      # libFuzzer targets
    mingw-w64 binutils-mingw-w64                  # the Windows builds...
    g++-mingw-w64-i686-win32                      # ...the product, 32-bit
    g++-mingw-w64-x86-64-posix                    # ...the tests, 64-bit
    libz-mingw-w64-dev                            # zlib for both Windows builds
    wine64 fonts-wine xvfb                        # running the Windows tests
    icoutils p7zip-full imagemagick               # reading resources, pictures
    pigz time                                     # the packing benchmark's reference; peak memory
    openssl osslsigncode                          # signing installers in the tests
    dpkg-dev lintian man-db bash-completion       # the .deb: its dependencies, checks, manual, completion
)

# Installs what is missing; when not root, prints the one command to run instead.
sfx_install_packages() {
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
    apt-get update -qq >/dev/null &&
        apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
        { echo "apt-get install failed for: ${missing[*]}" >&2; return 1; }
}
