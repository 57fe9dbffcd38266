# Shared by run.sh and test.sh: installs what is missing on Debian or Ubuntu and builds.
# Sourced, not run.

BUILD_PACKAGES=(cmake make g++-mingw-w64-x86-64-posix wine64 fonts-liberation fonts-wine)
DISPLAY_PACKAGES=(xvfb xauth imagemagick xdotool x11-utils)
TEST_PACKAGES=(googletest procps)

install_missing_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    echo "Installing missing packages${sudo:+ through sudo}: ${missing[*]}"
    echo "(a few minutes on a fresh machine; apt prints nothing until it is done)"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The one Wine prefix of the program, the tests and the benchmark.
WINE_PREFIX=$PWD/build/wineprefix

# Builds the named targets, or everything. Prints the progress of what it compiles; an
# up-to-date build prints nothing. Errors and warnings come through on standard error.
build_overlay() {
    [ -f build/CMakeCache.txt ] || echo "Building with mingw-w64 (about a minute the first time)."
    cmake --preset mingw >/dev/null
    cmake --build --preset mingw -j "$(nproc)" ${1:+--target "$@"} |
        { grep --line-buffered -E '^\[ *[0-9]+%\] (Building|Linking)' || true; }
}

# Runs the rest of the calling script on a private virtual display of its own, whatever DISPLAY
# says: what it starts, moves and types never reaches the user's screen.
use_private_display() {
    if [ -z "${QUILLFEN_PRIVATE_DISPLAY:-}" ]; then
        QUILLFEN_PRIVATE_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$@"
    fi
}
