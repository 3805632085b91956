#!/usr/bin/env bash
# Installs the dependencies, builds the normal and the sanitizer configuration and runs every
# test of both through CTest. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
./scripts/check-format.sh # one style everywhere

jobs=$(nproc)
run_config() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@"
    cmake --build "$dir" -j "$jobs"
    QT_QPA_PLATFORM=offscreen ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 300
}

run_config build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
./scripts/package-test.sh build/release
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_config build/sanitize -DCMAKE_BUILD_TYPE=Debug -DVARKO5_SANITIZE=ON -DVARKO5_BUILD_BENCHMARKS=OFF
./scripts/fuzz.sh 30 # every fuzz target briefly, so a regression is caught
echo "All tests passed in both configurations."
