#!/usr/bin/env bash
# Cross-builds Qt 5 (Core, Gui, Widgets, Test, the windows and offscreen platforms) for 64-bit
# Windows from Debian's own qtbase-opensource-src, with the mingw-w64 compiler, into a prefix
# outside the repository. lpfp_loader.exe and its tests build against it
# (scripts/windows-desktop-check.sh, or cmake with -DVARKO5_WIN_QT=PREFIX). Takes 15 to 25 minutes of two cores and about 1.5 GB
# of work space while it runs; the installed prefix is about 80 MB. Safe to run again: a
# finished prefix is kept.
#
#   scripts/windows-qt.sh [PREFIX]     (default $VARKO5_WIN_QT or ~/.cache/varko5/qt5-mingw)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:-${VARKO5_WIN_QT:-$HOME/.cache/varko5/qt5-mingw}}
work=${VARKO5_WIN_WORK:-$HOME/.cache/varko5/work}
jobs=${VARKO5_JOBS:-2}

if [ -f "$prefix/.varko5-complete" ]; then
    echo "windows-qt: Qt is already built in $prefix"
    exit 0
fi
started=$(date +%s)

# shellcheck source=scripts/debian-source.sh
. "$here/debian-source.sh"
# shellcheck source=scripts/windows-env.sh
. "$here/windows-env.sh"

debian_source "$work" qtbase-opensource-src
source_dir=$(ls -d "$work"/src/qtbase-opensource-src-*/ | head -n 1)
build_dir=$work/qtbase-build
rm -rf "$build_dir" "$prefix"
mkdir -p "$build_dir"

cd "$build_dir"
# Only what a Widgets program and its QtTest tests need. The offscreen platform (headless
# tests) needs the bundled FreeType; Debian's tarball lacks the wintab headers, so no tablet
# events. Bundled third-party libraries everywhere, so nothing of the Linux host leaks in.
"$source_dir/configure" -prefix "$prefix" -opensource -confirm-license \
    -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
    -release -shared -strip -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu -no-openssl -no-fontconfig \
    -no-feature-network -no-feature-sql -no-feature-xml -no-feature-concurrent \
    -no-feature-printer -no-feature-tabletevent \
    -qt-freetype -qt-zlib -qt-libpng -qt-libjpeg -qt-pcre -qt-harfbuzz \
    >"$work/qt-configure.log" 2>&1 || {
    tail -n 40 "$work/qt-configure.log" >&2
    echo "windows-qt: configure failed (log: $work/qt-configure.log)" >&2
    exit 1
}
make -j"$jobs" >"$work/qt-build.log" 2>&1 || {
    tail -n 40 "$work/qt-build.log" >&2
    echo "windows-qt: build failed (log: $work/qt-build.log)" >&2
    exit 1
}
make install >"$work/qt-install.log" 2>&1
# The mingw runtime DLLs every Qt program needs beside it.
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
    cp "$(x86_64-w64-mingw32-g++ -print-file-name="$dll")" "$prefix/bin/"
done
x86_64-w64-mingw32-strip --strip-unneeded "$prefix"/bin/*.dll
cd /
rm -rf "$build_dir"
touch "$prefix/.varko5-complete"
echo "windows-qt: built in $(($(date +%s) - started)) s; prefix $(du -sh "$prefix" | cut -f1) in $prefix"
