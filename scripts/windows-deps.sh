#!/usr/bin/env bash
# Builds the libraries the Windows build links, for 64-bit Windows with the posix-thread
# mingw-w64 compiler, into a prefix outside the repository: tinyxml2, fmt, spdlog and SQLite
# from Debian's own source packages (fetched through a private deb-src list; /etc/apt is never
# touched), GoogleTest from /usr/src/googletest (the googletest package), and the header-only
# CLI11 and nlohmann-json copied from their Debian packages. Static libraries only. Takes about
# a minute; safe to run again (a finished prefix is kept).
#
#   scripts/windows-deps.sh [PREFIX]   (default $VARKO5_WIN_DEPS or ~/.cache/varko5/win-deps)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
prefix=${1:-${VARKO5_WIN_DEPS:-$HOME/.cache/varko5/win-deps}}
work=${VARKO5_WIN_WORK:-$HOME/.cache/varko5/work}
jobs=${VARKO5_JOBS:-2}

# The stamp names what the prefix was built from, so a changed recipe builds it anew.
stamp="recipe $(sha256sum "$0" | cut -c1-16)"
if [ -f "$prefix/.varko5-complete" ] && [ "$(cat "$prefix/.varko5-complete")" = "$stamp" ]; then
    echo "windows-deps: the libraries are already built in $prefix"
    exit 0
fi
started=$(date +%s)

# shellcheck source=scripts/debian-source.sh
. "$here/debian-source.sh"
debian_source "$work" tinyxml2 fmtlib spdlog sqlite3

rm -rf "$prefix"
mkdir -p "$prefix"
toolchain=$repo/cmake/mingw-w64-x86_64.cmake

# build NAME SOURCE [CMAKE OPTIONS...]: a static release build installed into the prefix.
build() {
    local name=$1 source=$2
    shift 2
    local dir=$work/build-$name
    rm -rf "$dir"
    echo "windows-deps: $name"
    cmake -S "$source" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DVARKO5_WIN_DEPS="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_SHARED_LIBS=OFF "$@" >"$dir.log" 2>&1 &&
        cmake --build "$dir" -j"$jobs" >>"$dir.log" 2>&1 &&
        cmake --install "$dir" >>"$dir.log" 2>&1 || {
        tail -n 30 "$dir.log" >&2
        echo "windows-deps: $name failed (log: $dir.log)" >&2
        exit 1
    }
    rm -rf "$dir"
}

source_of() { ls -d "$work"/src/"$1"-[0-9]*/ | head -n 1; }

build tinyxml2 "$(source_of tinyxml2)" -Dtinyxml2_BUILD_TESTING=OFF
build fmt "$(source_of fmtlib)" -DFMT_DOC=OFF -DFMT_TEST=OFF
# spdlog on the fmt above, as Debian builds it (the programs use both); its log lines end with a
# single line feed, as on Linux, not with CR LF (cmake/windows.cmake says the same).
mkdir -p "$work"
echo 'add_compile_definitions([[SPDLOG_EOL="\n"]])' >"$work/spdlog-eol.cmake"
build spdlog "$(source_of spdlog)" -DSPDLOG_FMT_EXTERNAL=ON -DSPDLOG_BUILD_EXAMPLE=OFF \
    -DSPDLOG_BUILD_TESTS=OFF -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_PROJECT_INCLUDE="$work/spdlog-eol.cmake"
# SQLite: Debian's source is the full tree; its single-file source (sqlite3.c) is made by a
# native configure and tclsh, then compiled for Windows by a small CMake project, with a
# pkg-config file like the one Debian's libsqlite3-dev has.
sqlite_source=$(source_of sqlite3)
sqlite_work=$work/sqlite-amalgamation
rm -rf "$sqlite_work"
mkdir -p "$sqlite_work/native"
echo "windows-deps: sqlite3 (single-file source)"
(cd "$sqlite_work/native" && "$sqlite_source/configure" --disable-tcl && make sqlite3.c) \
    >"$sqlite_work.log" 2>&1 || {
    tail -n 30 "$sqlite_work.log" >&2
    echo "windows-deps: sqlite3's source failed (log: $sqlite_work.log)" >&2
    exit 1
}
cp "$sqlite_work/native/sqlite3.c" "$sqlite_work/native/sqlite3.h" "$sqlite_work/"
cat >"$sqlite_work/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.16)
project(sqlite3 C)
add_library(sqlite3 STATIC sqlite3.c)
install(TARGETS sqlite3 ARCHIVE DESTINATION lib)
install(FILES sqlite3.h DESTINATION include)
EOF
build sqlite3 "$sqlite_work"
rm -rf "$sqlite_work" "$sqlite_work.log"
mkdir -p "$prefix/lib/pkgconfig"
cat >"$prefix/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine
Version: $(cat "$sqlite_source/VERSION")
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
build googletest /usr/src/googletest -DINSTALL_GTEST=ON -DBUILD_GMOCK=ON

# Header-only libraries: their headers and CMake package files. Their package files find the
# headers relative to themselves, so they work from the prefix.
mkdir -p "$prefix/include" "$prefix/share/cmake"
cp -r /usr/include/CLI /usr/include/nlohmann "$prefix/include/"
cp -r /usr/share/cmake/CLI11 /usr/share/cmake/nlohmann_json "$prefix/share/cmake/"

echo "$stamp" >"$prefix/.varko5-complete"
echo "windows-deps: built in $(($(date +%s) - started)) s; $(du -sh "$prefix" | cut -f1) in $prefix"
