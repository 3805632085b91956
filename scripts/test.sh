#!/usr/bin/env bash
# Installs the dependencies, builds the normal and the sanitizer configuration and runs every
# test of both through CTest, then builds and checks the Debian packages, runs each fuzz
# target briefly, and builds and tests the Windows programs under wine. Warnings are errors
# here (VARKO5_WERROR), though not in a default build.
# The normal configuration carries Debian's hardening flags, since the packages come from it.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/check-format.sh # one style everywhere

jobs=$(nproc)
# The configurations are the presets of CMakePresets.json, so a developer who builds a preset
# by hand gets what CI tests.
run_preset() {
    local preset=$1
    cmake --preset "$preset" -DVARKO5_WERROR=ON
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs" --timeout 300
}

run_preset release-hardened # build/release
./scripts/package-test.sh build/release
run_preset sanitize # build/sanitize
VARKO5_WERROR=ON ./scripts/fuzz.sh 30 # every fuzz target briefly, so a regression is caught
# The Windows build (cross-compiled with mingw-w64) and its tests under wine, its COM-port
# flows against the release build's lpfp_sim, and its ZIP and installer.
./scripts/windows-test.sh build/release
echo "All tests passed in both configurations and on Windows."
