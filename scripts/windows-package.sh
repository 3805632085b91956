#!/usr/bin/env bash
# One command from a fresh Debian 12 machine to the Windows packages: installs the Debian
# packages (mingw-w64, wine, NSIS among them), builds the libraries from Debian's source
# packages (scripts/windows-deps.sh), cross-builds lpfp_cli.exe and packs the ZIP and the
# 64-bit installer into build/win. scripts/windows-test.sh runs the Windows tests as well.
#
#   scripts/windows-package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${VARKO5_WIN_BUILD:-build/win}

./scripts/install-deps.sh
./scripts/windows-deps.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARKO5_BUILD_LOADER=OFF -DVARKO5_BUILD_BENCHMARKS=OFF
fi
cmake --build "$build" -j "$(nproc)" --target lpfp_cli
(cd "$build" && cpack -G ZIP && cpack -G NSIS)
echo "windows-package: $(ls "$build"/varko5-lpfp-*-win64.zip) and $(ls "$build"/varko5-lpfp-*-win64.exe)"
