#!/usr/bin/env bash
# The libraries the engine links, built for WebAssembly from Debian's own source packages: SDL2, zlib,
# minizip and libmikmod, installed into one prefix (DEPS/prefix). Each is built once: a library whose
# archive is already in the prefix is skipped, so running this again costs nothing.
#
# Emscripten's own SDL2 and zlib ports download their sources, which this machine cannot do; Debian's
# sources come through apt, from a private list of deb-src lines (DEPS/apt), so the system's own lists
# stay as they are.
#
# Usage: web/build-deps.sh DEPS   (e.g. build-web/deps)
set -euo pipefail
DEPS=$(mkdir -p "${1:?usage: $0 DEPS}" && cd "$1" && pwd)
PREFIX=$DEPS/prefix
SRC=$DEPS/src
JOBS=${JOBS:-2}
mkdir -p "$PREFIX/lib" "$PREFIX/include" "$SRC"
. "$(dirname "$0")/em.sh" "$DEPS"

# The bookworm release's versions, which are what the desktop links too. The security pool sometimes
# refuses a .dsc it lists, so ask for the release's version by name.
SDL2_VERSION=2.26.5+dfsg-1
ZLIB_VERSION=1:1.2.13.dfsg-1
MINIZIP_SOURCE=zlib     # minizip is built from zlib's contrib/minizip, as Debian's libminizip is
MIKMOD_VERSION=3.3.11.1-7

apt_private() {
    local dir=$DEPS/apt
    if [ ! -f "$dir/sources.list" ]; then
        mkdir -p "$dir/lists/partial" "$dir/parts"
        # The deb-src twin of every deb line the system is configured with (one-line and deb822 forms).
        {
            grep -hE '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | sed 's/^deb /deb-src /' || true
            for f in /etc/apt/sources.list.d/*.sources; do
                [ -f "$f" ] || continue
                awk 'BEGIN{RS=""; FS="\n"} {
                    uris=""; suites=""; comps=""; signed=""; types="";
                    for (i=1;i<=NF;i++) {
                        if ($i ~ /^Types:/) types=$i;
                        if ($i ~ /^URIs:/) { uris=$i; sub(/^URIs: */,"",uris) }
                        if ($i ~ /^Suites:/) { suites=$i; sub(/^Suites: */,"",suites) }
                        if ($i ~ /^Components:/) { comps=$i; sub(/^Components: */,"",comps) }
                        if ($i ~ /^Signed-By:/) { signed=$i; sub(/^Signed-By: */,"",signed) }
                    }
                    if (types !~ /deb/ || uris == "") next;
                    n=split(suites, s, " ");
                    for (j=1;j<=n;j++) printf "deb-src %s%s %s %s\n", (signed!="" ? "[signed-by=" signed "] " : ""), uris, s[j], comps
                }' "$f"
            done
        } | sort -u > "$dir/sources.list.new"
        [ -s "$dir/sources.list.new" ] || { echo "build-deps: no apt source to take deb-src lines from" >&2; exit 1; }
        mv "$dir/sources.list.new" "$dir/sources.list"
    fi
    # The sources land in a folder of this build, which apt's sandbox user may not be able to write.
    apt-get -o Dir::Etc::SourceList="$dir/sources.list" -o Dir::Etc::SourceParts="$dir/parts" \
        -o Dir::State::Lists="$dir/lists" -o APT::Sandbox::User=root "$@"
}

fetched=0
fetch_source() {  # NAME=VERSION -> the unpacked folder's path on stdout
    local wanted=$1 name=${1%%=*}
    local dir=$SRC/$name
    if [ ! -d "$dir" ]; then
        if [ "$fetched" = 0 ]; then apt_private update -qq >&2; fetched=1; fi
        rm -rf "$dir.tmp" && mkdir -p "$dir.tmp"
        (cd "$dir.tmp" && apt_private source -qq "$wanted" > "$DEPS/source-$name.log" 2>&1) ||
            { cat "$DEPS/source-$name.log" >&2; exit 1; }
        local top
        top=$(find "$dir.tmp" -mindepth 1 -maxdepth 1 -type d | head -1)
        [ -n "$top" ] || { echo "build-deps: apt-get source $wanted gave no folder" >&2; exit 1; }
        mv "$top" "$dir" && rm -rf "$dir.tmp"
    fi
    echo "$dir"
}

if [ ! -f "$PREFIX/lib/libSDL2.a" ]; then
    echo "== SDL2 $SDL2_VERSION (about 3 minutes)"
    src=$(fetch_source "libsdl2=$SDL2_VERSION")
    rm -rf "$DEPS/build-sdl2"
    # No threads: the page runs on the browser's main thread, and SDL's audio then runs from its own
    # callbacks there.
    emcmake cmake -S "$src" -B "$DEPS/build-sdl2" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$PREFIX" \
        -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF -DSDL_THREADS=OFF > "$DEPS/sdl2-configure.log" 2>&1
    cmake --build "$DEPS/build-sdl2" -j "$JOBS" > "$DEPS/sdl2-build.log" 2>&1
    cmake --install "$DEPS/build-sdl2" > /dev/null
fi

if [ ! -f "$PREFIX/lib/libz.a" ]; then
    echo "== zlib $ZLIB_VERSION"
    src=$(fetch_source "zlib=$ZLIB_VERSION")
    rm -rf "$DEPS/build-zlib" && cp -a "$src" "$DEPS/build-zlib"
    (cd "$DEPS/build-zlib" && emconfigure ./configure --static --prefix="$PREFIX" > configure.log 2>&1 &&
        emmake make -j "$JOBS" libz.a > build.log 2>&1 && emmake make install > install.log 2>&1)
fi

if [ ! -f "$PREFIX/lib/libminizip.a" ]; then
    echo "== minizip (zlib's contrib/minizip)"
    src=$(fetch_source "zlib=$ZLIB_VERSION")
    mz=$src/contrib/minizip
    out=$DEPS/build-minizip
    rm -rf "$out" && mkdir -p "$out" "$PREFIX/include/minizip"
    for f in ioapi unzip zip mztools; do
        emcc -O2 -I"$PREFIX/include" -c "$mz/$f.c" -o "$out/$f.o" 2>> "$out/build.log"
    done
    emar rcs "$PREFIX/lib/libminizip.a" "$out"/*.o
    cp "$mz"/ioapi.h "$mz"/unzip.h "$mz"/zip.h "$mz"/mztools.h "$mz"/crypt.h "$PREFIX/include/minizip/"
fi

if [ ! -f "$PREFIX/lib/libmikmod.a" ]; then
    echo "== libmikmod $MIKMOD_VERSION"
    src=$(fetch_source "libmikmod=$MIKMOD_VERSION")
    rm -rf "$DEPS/build-mikmod"
    # Every output driver off: the engine hands MikMod's software mix to SDL's audio queue itself. Only the
    # static library is built (its project always adds a shared one too, which a page cannot use).
    drivers=""
    for d in AF AIFF AIX ALSA COREAUDIO DSOUND ESD HPUX MMSOUND NAS OPENAL OSS PIPE PULSE RAW SDL SNDIO \
             STDOUT SUNAUDIO WAV XAUDIO2 XAUDIO28; do
        drivers="$drivers -DENABLE_$d=OFF"
    done
    # shellcheck disable=SC2086
    emcmake cmake -S "$src" -B "$DEPS/build-mikmod" -DCMAKE_BUILD_TYPE=Release -DENABLE_STATIC=ON \
        -DENABLE_THREADS=OFF -DENABLE_DL=OFF -DENABLE_SIMD=OFF $drivers > "$DEPS/mikmod-configure.log" 2>&1
    cmake --build "$DEPS/build-mikmod" -j "$JOBS" --target mikmod-static > "$DEPS/mikmod-build.log" 2>&1
    header=$(find "$DEPS/build-mikmod" "$src/include" -name mikmod.h | head -1)
    cp "$header" "$PREFIX/include/mikmod.h"
    cp "$DEPS/build-mikmod/libmikmod.a" "$PREFIX/lib/libmikmod.a"
fi
echo "build-deps: SDL2, zlib, minizip and libmikmod are in $PREFIX"
