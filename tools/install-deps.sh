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
set -e
packages="cmake make python3 g++-mingw-w64-i686-posix gcc-multilib googletest
wine wine32:i386 fonts-wine libxrender1:i386 libxrandr2:i386 libxinerama1:i386
xvfb x11-apps"

missing=""
for pkg in $packages; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $pkg"
    fi
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
apt="$sudo env DEBIAN_FRONTEND=noninteractive apt-get"
echo "Installing:$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# apt's output is kept quiet, and shown in full when something fails.
if ! $apt update -qq >"$log" 2>&1 ||
   ! $apt install -y -qq --no-install-recommends $missing >>"$log" 2>&1; then
    cat "$log" >&2
    echo "install-deps.sh: installing$missing failed" >&2
    exit 1
fi
