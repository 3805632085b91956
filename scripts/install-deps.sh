#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and packages with: everything
# scripts/test.sh (and with it CI) uses, on a minimal Debian 12 as debootstrap makes it.
# Safe to run again: it asks apt only for what is missing, and skips apt entirely when nothing
# is. Not as root it uses sudo, and hands apt its settings through sudo's clean environment.
set -euo pipefail

packages=(
    # compilers and build tools; git lists the sources for the formatting check; ccache keeps
    # the Windows cross build's objects between runs
    build-essential git cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev ccache
    # libraries
    qtbase5-dev libtinyxml2-dev libspdlog-dev libfmt-dev libcli11-dev
    libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libftdi1-dev
    # production records: the SQLite library and PostgreSQL's client library
    libsqlite3-dev libpq-dev
    # tests: the comma-decimal locale, a virtual X server for the screenshots, the JSON schema
    # check
    locales xvfb xauth python3 python3-jsonschema
    # tests of the production record: a PostgreSQL server they start themselves, and the two
    # databases' own command-line clients for the checks that do not read through our code
    postgresql sqlite3
    # packages: cpack's dpkg-shlibdeps and file, help2man for the manual page, udev.pc for the
    # rule's folder, and the package checks (lintian, AppStream, desktop entry)
    dpkg-dev file help2man udev lintian appstream desktop-file-utils
    # the Windows build and its tests: the posix-thread mingw-w64 compilers (the win32-thread
    # ones lack std::thread), wine to run the tests, NSIS for the installer, unzip to check the
    # ZIP, GoogleTest's sources (built for Windows), x11-utils to see the desktop's window, tclsh
    # to make SQLite's single-file source from Debian's source package
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 nsis unzip googletest x11-utils
    tcl
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
# sudo resets the environment, so the setting goes through env on the far side of it.
apt_get=("${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get)

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
else
    echo "install-deps: installing ${missing[*]}"
    "${apt_get[@]}" update -qq
    "${apt_get[@]}" install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal separator is a comma, so the tests can prove that number text in
# the documents does not follow the user's locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
    echo "install-deps: generating the de_DE.UTF-8 locale"
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
