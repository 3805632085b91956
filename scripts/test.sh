#!/usr/bin/env bash
# Installs the dependencies, builds the normal and the sanitizer configuration and runs every
# test of both through CTest, then builds and checks the Debian packages and runs each fuzz
# target briefly. Warnings are errors here (VARKO5_WERROR), though not in a default build.
# The normal configuration carries Debian's hardening flags, since the packages come from it.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/check-format.sh # one style everywhere

jobs=$(nproc)
run_config() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DVARKO5_WERROR=ON "$@"
    cmake --build "$dir" -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

run_config build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARKO5_HARDENING=ON
./scripts/package-test.sh build/release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_config build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARKO5_SANITIZE=ON -DVARKO5_BUILD_BENCHMARKS=OFF
VARKO5_WERROR=ON ./scripts/fuzz.sh 30 # every fuzz target briefly, so a regression is caught
echo "All tests passed in both configurations."
