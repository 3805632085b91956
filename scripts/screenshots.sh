#!/usr/bin/env bash
# Takes the README's screenshots of lpfp_loader against the simulated controller, under a
# virtual X server (Xvfb): the basic mode and the advanced mode (VARKO5_ADVANCED), two
# devices each; and the panels' states: one working, one still waiting for a controller that
# does not answer (busy), one disabled with its reason (firmware 5.1). lpfp_loader saves a
# grab of its own window when VARKO5_SCREENSHOT names a file, then ends. The parameter view's
# and the failure box's pictures come from small programs of the loader tests that drive the
# real widgets and save a grab.
#   ./scripts/screenshots.sh [build-dir]     (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
out=docs/screenshots
mkdir -p "$out"
cmake --build "$build" --target lpfp_loader loader_parameter_screenshot loader_failure_screenshot

scenario='devices=2;serial=VK5A0001,VK5A0002;description=Varko 5 USB Bridge,Varko 5 USB Bridge;chipid=0x1F2E3D4C,0x00A1B2C3'

# Three bridges: the second's controller never answers, the third runs firmware 5.1.
states='devices=3;serial=VK5A0001,VK5A0002,VK5A0003;description=Varko 5 USB Bridge;chipid=0x1F2E3D4C,0x00A1B2C3,0x0BADF00D;fw=5.2,5.2,5.1;fault=silent_bridge;fault_device=1'

# shoot <file> <scenario> [env options]
shoot() {
    local file=$1 devices=$2
    shift 2
    env -u QT_QPA_PLATFORM "$@" VARKO5_SIMULATOR="$devices" VARKO5_SCREENSHOT="$PWD/$out/$file" \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$build/loader/lpfp_loader" >/dev/null 2>&1
    echo "screenshots: $out/$file"
}

shoot loader-basic.png "$scenario" -u VARKO5_ADVANCED
shoot loader-advanced.png "$scenario" VARKO5_ADVANCED=1
shoot loader-states.png "$states" -u VARKO5_ADVANCED

env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/loader/loader_parameter_screenshot" "$PWD/$out/loader-parameters.png" >/dev/null 2>&1
echo "screenshots: $out/loader-parameters.png"

env -u QT_QPA_PLATFORM xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$build/tests/loader/loader_failure_screenshot" "$PWD/$out/loader-failure.png" >/dev/null 2>&1
echo "screenshots: $out/loader-failure.png"
