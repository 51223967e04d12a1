#!/usr/bin/env bash
# Builds the Windows libraries that Debian does not package for mingw-w64 (wxWidgets 3.2 MSW,
# libzip with the Windows CNG crypto backend, libdeflate), static, from Debian's own source
# packages, into a cache folder outside the repository. A finished cache is reused as it is.
# Each step has its own stamp file, so a library added later is built into an existing cache
# without rebuilding the others (wxWidgets takes a long time).
#
#   scripts/build-windows-deps.sh [PREFIX]
# PREFIX defaults to $KESTREL_DEPS_CACHE, else ~/.cache/kestrel/mingw-deps.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
prefix=${1:-${KESTREL_DEPS_CACHE:-${HOME:-/root}/.cache/kestrel/mingw-deps}}
triple=x86_64-w64-mingw32
stamp_version=1  # bump when the wxWidgets or libzip options below change
libdeflate_stamp=.complete-libdeflate-1  # bump when the libdeflate build below changes
jobs=$(nproc)

if [ -f "$prefix/.complete-$stamp_version" ] && [ -f "$prefix/$libdeflate_stamp" ]; then
    echo "Windows dependencies already built in $prefix"
    exit 0
fi

# apt-get source needs a deb-src entry for the same archive the machine installs from.
ensure_deb_src() {
    if apt-get indextargets --format '$(IDENTIFIER)' 2>/dev/null | grep -qx Sources; then
        return
    fi
    local src=/etc/apt/sources.list.d/kestrel-deb-src.sources
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed -e 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources >"$src"
    elif [ -f /etc/apt/sources.list ]; then
        grep -E '^deb ' /etc/apt/sources.list | sed -e 's/^deb /deb-src /' \
            >/etc/apt/sources.list.d/kestrel-deb-src.list
    else
        echo "no Debian source list found to derive a deb-src entry from" >&2
        exit 1
    fi
    apt-get update -q
}

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-deps.XXXXXX")
trap 'rm -rf "$work"' EXIT
ensure_deb_src

# libdeflate: plain C, compiled straight into a static library (its Makefile would also build
# a DLL and programs). Needs only the compiler, so it goes into an existing cache as it is.
build_libdeflate() {
    echo "== building libdeflate (static) into $prefix"
    mkdir -p "$work/libdeflate-build" "$prefix/lib" "$prefix/include"
    cd "$work/libdeflate-build"
    apt-get source -q --download-only libdeflate >/dev/null
    dpkg-source -x "$(ls libdeflate_*.dsc)" src >/dev/null
    for source in src/lib/*.c src/lib/x86/*.c; do
        $triple-gcc-posix -O2 -I src -c "$source" -o "$(basename "$source" .c).o"
    done
    rm -f "$prefix/lib/libdeflate.a"
    $triple-ar rcs "$prefix/lib/libdeflate.a" ./*.o
    install -m644 src/libdeflate.h "$prefix/include/libdeflate.h"
    touch "$prefix/$libdeflate_stamp"
}

if [ -f "$prefix/.complete-$stamp_version" ]; then
    build_libdeflate
    echo "Windows dependencies built in $prefix"
    exit 0
fi

# wx-config and libzip's CMake files name the prefix they were installed to, so install in
# place; the stamp file written last tells a finished cache from an interrupted one.
rm -rf "$prefix"
mkdir -p "$prefix"

cd "$work"
apt-get source -q --download-only wxwidgets3.2 libzip
dpkg-source -x --skip-patches "$(ls wxwidgets3.2_*.dsc)" wx >/dev/null
dpkg-source -x "$(ls libzip_*.dsc)" libzip >/dev/null

echo "== building wxWidgets (MSW, static) into $prefix"
mkdir wx-build
(cd wx-build && ../wx/configure -q --host=$triple --prefix="$prefix" \
    CC=$triple-gcc-posix CXX=$triple-g++-posix \
    --disable-shared --with-msw --without-libpng --without-libjpeg --without-libtiff \
    --without-expat --disable-xrc --disable-html --disable-webview --disable-richtext \
    --disable-stc --disable-propgrid --disable-ribbon --disable-aui --disable-mediactrl \
    --without-opengl --disable-svg --disable-sys-libs --with-zlib=sys --disable-debug_info \
    && make -s -j"$jobs" && make -s install) >wx-build.log 2>&1 || { tail -40 wx-build.log; exit 1; }

echo "== building libzip (static, Windows CNG) into $prefix"
cmake -S libzip -B zip-build -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_SHARED_LIBS=OFF -DENABLE_GNUTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_MBEDTLS=OFF \
    -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF \
    -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >zip-build.log 2>&1 || { tail -40 zip-build.log; exit 1; }
cmake --build zip-build >>zip-build.log 2>&1 && cmake --install zip-build >>zip-build.log 2>&1 \
    || { tail -40 zip-build.log; exit 1; }

touch "$prefix/.complete-$stamp_version"
build_libdeflate
echo "Windows dependencies built in $prefix"
