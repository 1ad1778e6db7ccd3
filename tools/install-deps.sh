#!/bin/sh
# Installs what building and testing need on Debian 12, and nothing when all
# of it is there already.  Uses sudo only when not root.
set -e
packages="cmake make python3 g++-mingw-w64-i686-posix gcc-multilib googletest
wine wine32:i386 xvfb x11-apps imagemagick"

missing=""
for pkg in $packages; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $pkg"
    fi
done
[ -z "$missing" ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing:$missing"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
