#!/bin/sh
# Installs what building and testing need on Debian 12, and nothing when all
# of it is there already.  Uses sudo only when not root.
#   cmake, make, python3          the build and the test scripts
#   g++-mingw-w64-i686-posix      the cross compiler, windres
#   gcc-multilib                  the rig's 32-bit pty shim, the bench controller
#   googletest                    GoogleTest's sources, built with the cross compiler
#   wine, wine32:i386             runs the Windows programs
#   fonts-wine                    the fonts of Wine's dialogs (their sizes in pixels)
#   libxrender1, libxrandr2,      Wine's X11 driver: text, display modes and
#   libxinerama1 (i386)           displays on the Xvfb
#   xvfb, x11-apps (xwd)          the screen of the tests that look at pixels
#   dpkg-dev, nasm                FFmpeg for Windows, built from Debian's source
#                                 package (screen/build_ffmpeg.sh)
#   ffmpeg                        the screen boards' test files and reference pictures
#   nsis                          makensis, which builds the setup program (`make dist`)
set -e
packages="cmake make python3 g++-mingw-w64-i686-posix gcc-multilib googletest
wine wine32:i386 fonts-wine libxrender1:i386 libxrandr2:i386 libxinerama1:i386
xvfb x11-apps dpkg-dev nasm ffmpeg nsis"

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
apt="$sudo env DEBIAN_FRONTEND=noninteractive apt-get"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs apt quietly and shows its whole output when it fails.
run_apt() {
    if ! $apt "$@" >"$log" 2>&1; then
        cat "$log" >&2
        echo "install-deps.sh: apt-get $* failed" >&2
        exit 1
    fi
}

# FFmpeg's source package comes from the same Debian suites and mirrors as
# the system's packages.
if ! apt-cache showsrc ffmpeg 2>/dev/null | grep -q '^Package: ffmpeg'; then
    echo "Adding the source packages of the system's Debian suites to apt"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            $sudo tee /etc/apt/sources.list.d/hrx-debian-src.sources >/dev/null
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list |
            $sudo tee /etc/apt/sources.list.d/hrx-debian-src.list >/dev/null
    fi
    run_apt update -qq
fi

missing=""
for pkg in $packages; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $pkg"
    fi
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
run_apt update -qq
run_apt install -y -qq --no-install-recommends $missing
