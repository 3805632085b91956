#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs each for a given number of seconds, starting from its seed corpus in fuzz/corpus/.
#   scripts/fuzz.sh [seconds-per-target] [target ...]
# New corpus entries go to a scratch folder, not into the repository; a crash stops the run
# with a non-zero status and leaves its input under build/fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-30}
shift || true

declare -A corpus=(
    [fuzz_config_xml]=xml
    [fuzz_config_bytes]=bytes
    [fuzz_lpfp]=lpfp
    [fuzz_device]=device
    [fuzz_cli]=cli
)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=("${!corpus[@]}")

# Warnings are errors when the caller asks (scripts/test.sh does).
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARKO5_FUZZ=ON \
    -DVARKO5_WERROR="${VARKO5_WERROR:-OFF}" >/dev/null
cmake --build build/fuzz --target "${targets[@]}"

artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

for target in "${targets[@]}"; do
    seeds=fuzz/corpus/${corpus[$target]}
    work=$scratch/$target
    mkdir -p "$work"
    cp -r "$seeds"/. "$work"/
    echo "== $target: ${seconds}s from $seeds"
    log=$scratch/$target.log
    if ! ASAN_OPTIONS=detect_leaks=1 build/fuzz/fuzz/"$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" "$work" "$seeds" >"$log" 2>&1; then
        tail -n 60 "$log"
        echo "FUZZ FAILURE in $target (input saved under $artifacts)"
        exit 1
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$log" | sed "s/^/   /"
done
echo "All fuzz targets ran clean."
