#!/bin/sh
# Builds FFmpeg for 32-bit Windows from Debian's source package, as shared
# libraries with only what the screen boards need, into a cache that later
# builds reuse:
#   build_ffmpeg.sh CACHE_DIR
# CACHE_DIR/install then holds include/, lib/ (import libraries) and bin/
# (the DLLs).  The source package comes from apt's source entries
# (tools/install-deps.sh adds them); nothing is fetched from anywhere else.
set -e
cache=$1
[ -n "$cache" ] || { echo "usage: build_ffmpeg.sh CACHE_DIR" >&2; exit 2; }

# MPEG-1/2 video, MPEG audio layers II and III, program and elementary
# stream files, nothing else: no programs, no network, no library found on
# the build machine by chance.  w32threads keeps winpthread out, and the
# GCC and threads runtimes are linked in (-static), so the DLLs need only Windows and each other.
options="--enable-cross-compile --target-os=mingw32 --arch=x86 --cross-prefix=i686-w64-mingw32-
 --cc=i686-w64-mingw32-gcc-posix --enable-shared --disable-static --disable-autodetect --enable-w32threads
 --disable-everything --disable-programs --disable-doc --disable-network --disable-debug
 --disable-avdevice --disable-avfilter --disable-postproc --enable-swscale --enable-swresample
 --enable-decoder=mpeg1video,mpeg2video,mp2,mp2float,mp3,mp3float
 --enable-demuxer=mpegps,mpegvideo --enable-parser=mpegvideo,mpegaudio --enable-protocol=file
 --extra-ldflags=-static"
key=$(printf '%s\n' "$options" | cksum | cut -d' ' -f1)
stamp="$cache/install/built-$key"
[ -f "$stamp" ] && exit 0

rm -rf "$cache"
mkdir -p "$cache/source" "$cache/build"
log="$cache/build.log"
echo "Building FFmpeg for Windows from Debian's source package (once; log: $log)"
(
    cd "$cache/source"
    apt-get source --download-only ffmpeg
    dpkg-source -x ffmpeg_*.dsc ffmpeg
    cd "$cache/build"
    # shellcheck disable=SC2086
    ../source/ffmpeg/configure --prefix="$cache/install" $options
    make -j"$(nproc)"
    make install
) >"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "build_ffmpeg.sh: failed; see $log" >&2; exit 1; }
touch "$stamp"
