#!/usr/bin/env bash
# The main job of lpfp_cli from a fresh machine, against the simulated controller: install the
# dependencies, build, test the connection, save the factory defaults as XML, change a few
# values, apply them with read-back verification, read the configuration back and show what
# changed. Ends with "DEMO PASSED" (status 0) or "DEMO FAILED: <reason>" (status 1).
set -uo pipefail
cd "$(dirname "$0")/.."

fail() {
    echo "DEMO FAILED: $*" >&2
    exit 1
}
step() { printf '\n=== %s\n' "$*"; }

step "Installing dependencies"
./scripts/install-deps.sh || fail "the dependencies could not be installed"

step "Building lpfp_cli"
cmake -S . -B build/release -G Ninja >/dev/null || fail "cmake could not configure build/release"
cmake --build build/release --target lpfp_cli || fail "lpfp_cli did not build"
cli=build/release/cli/lpfp_cli

work=$(mktemp -d) || fail "no temporary folder"
trap 'rm -rf "$work"' EXIT
# The simulated controller keeps its configuration in this file between the runs below.
export VARKO5_SIMULATOR="state=$work/controller.state;serial=VK5DEMO01;description=Varko 5 demo controller"
unset VARKO5_PORTS

step "1. Testing the connection"
"$cli" --test || fail "the connection test failed"

step "2. Saving the factory defaults as $work/defaults.{app,mc}.xml"
"$cli" --getDefaults -o "$work/defaults" || fail "the factory defaults could not be read"

step "3. Changing a few values"
# set_value FILE KEY VALUE: replace the element's text, and insist that it was there.
set_value() {
    grep -q "<$2>[^<]*</$2>" "$1" || fail "$1 has no element $2"
    sed -i "s|<$2>[^<]*</$2>|<$2>$3</$2>|" "$1"
    echo "  $2 = $3"
}
cp "$work/defaults.app.xml" "$work/new.app.xml"
cp "$work/defaults.mc.xml" "$work/new.mc.xml"
set_value "$work/new.app.xml" controller_id 3
set_value "$work/new.app.xml" timeout_msec 2500
set_value "$work/new.mc.xml" l_current_max 45.5
set_value "$work/new.mc.xml" l_max_vin 50
set_value "$work/new.mc.xml" si_motor_poles 10
expected_changes=$'controller_id: 0 -> 3\ntimeout_msec: 1000 -> 2500\nl_current_max: 60 -> 45.5\nl_max_vin: 57 -> 50\nsi_motor_poles: 14 -> 10'

step "4. Applying the new configuration with verification"
"$cli" --app_config "$work/new.app.xml" --mc_config "$work/new.mc.xml" ||
    fail "the controller did not take the new configuration"

step "5. Reading the configuration back"
"$cli" --getConfig -o "$work/after" || fail "the configuration could not be read back"

step "6. What changed on the controller"
# Both documents list their keys in a fixed order, so line n of one matches line n of the other.
changes() {
    paste -d '\n' "$1" "$2" | awk -F'[<>]' 'NR % 2 == 1 { key = $2; old = $3; next }
                                             $3 != old { print key ": " old " -> " $3 }'
}
actual_changes=$( { changes "$work/defaults.app.xml" "$work/after.app.xml"
                    changes "$work/defaults.mc.xml" "$work/after.mc.xml"; } ) || fail "the documents could not be compared"
echo "$actual_changes" | sed 's/^/  /'

[ "$actual_changes" = "$expected_changes" ] ||
    fail "the controller holds other changes than the ones applied; expected:"$'\n'"$expected_changes"

echo
echo "DEMO PASSED: 5 values changed, applied with verification and read back from the controller."
