#!/usr/bin/env bash
# Takes the README's screenshots of lpfp_loader against the simulated controller, under a
# virtual X server (Xvfb): the basic mode and the advanced mode (VARKO5_ADVANCED), two
# devices each. lpfp_loader saves a grab of its own window when VARKO5_SCREENSHOT names a
# file, then ends. The parameter view's picture comes from a small program of the loader
# tests that opens the view with a few differences and an edit, and saves a grab of it.
#   ./scripts/screenshots.sh [build-dir]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
out=docs/screenshots
mkdir -p "$out"
cmake --build "$build" --target lpfp_loader loader_parameter_screenshot

scenario='devices=2;serial=VK5A0001,VK5A0002;description=Varko 5 USB Bridge,Varko 5 USB Bridge;chipid=0x1F2E3D4C,0x00A1B2C3'

shoot() {
    local file=$1
    shift
    env -u QT_QPA_PLATFORM "$@" VARKO5_SIMULATOR="$scenario" VARKO5_SCREENSHOT="$PWD/$out/$file" \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build/loader/lpfp_loader" >/dev/null 2>&1
    echo "screenshots: $out/$file"
}

shoot loader-basic.png -u VARKO5_ADVANCED
shoot loader-advanced.png VARKO5_ADVANCED=1

env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/loader/loader_parameter_screenshot" "$PWD/$out/loader-parameters.png" >/dev/null 2>&1
echo "screenshots: $out/loader-parameters.png"
