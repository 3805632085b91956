#!/usr/bin/env bash
# The main job of lpfp_cli from a fresh machine, against the simulated controller: install the
# dependencies, build, test the connection, save the factory defaults as XML, change a few
# values, apply them with read-back verification, read the configuration back, show what
# changed with the tool's own --diff, and keep a production record of a run (--record,
# --history). Everything it writes, the backup taken before the apply
# included, stays in its own temporary folder, which it removes at the end.
# Ends with "DEMO PASSED" (status 0) or "DEMO FAILED: <reason>" (status 1).
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
expected_changes="APPConfiguration controller_id: 0 -> 3
APPConfiguration timeout_msec: 1000 -> 2500
MCConfiguration l_current_max: 60 -> 45.5
MCConfiguration l_max_vin: 57 -> 50
MCConfiguration si_motor_poles: 14 -> 10"

step "4. Applying the new configuration with verification (backup first, into $work/backups)"
"$cli" --app_config "$work/new.app.xml" --mc_config "$work/new.mc.xml" --backup_dir "$work/backups" ||
    fail "the controller did not take the new configuration"
backups=("$work"/backups/*.lpfp)
[ -f "${backups[0]}" ] || fail "no backup was saved in $work/backups"

step "5. Reading the configuration back"
"$cli" --getConfig -o "$work/after" || fail "the configuration could not be read back"
"$cli" --xml_to_lpfp "$work/applied.lpfp" --app_config "$work/new.app.xml" --mc_config "$work/new.mc.xml" \
    >/dev/null || fail "the new configuration could not be made an LPFP file"

step "6. What changed on the controller (lpfp_cli --diff of the defaults and the read-back)"
# Status 1 means "the configurations differ", which is what the apply was for. Standard output
# carries the differences alone; the verdict is a log line on standard error.
status=0
actual_changes=$("$cli" --diff "$work/defaults.app.xml,$work/defaults.mc.xml" "$work/after.app.xml,$work/after.mc.xml") ||
    status=$?
echo "$actual_changes" | sed 's/^/  /'
[ "$status" -eq 1 ] || fail "lpfp_cli --diff ended with status $status instead of 1 (the configurations differ)"

[ "$actual_changes" = "$expected_changes" ] ||
    fail "the controller holds other changes than the ones applied; expected:"$'\n'"$expected_changes"

step "7. The production record of these runs (lpfp_cli --history all --record demo.db)"
# The same steps, this time recorded: a record file on a single bench is all it takes.
"$cli" --lpfp_config "$work/applied.lpfp" --no_backup --record "$work/demo.db" >/dev/null ||
    fail "the recorded apply failed"
"$cli" --saveLpfp "$work/saved.lpfp" --record "$work/demo.db" >/dev/null || fail "the recorded read failed"
history=$("$cli" --history all --record "$work/demo.db") || fail "the history could not be read"
echo "$history" | sed 's/^/  /'
grep -q "VK5DEMO01 .*apply-lpfp .*verified" <<<"$history" || fail "the history does not show the verified apply"

echo
echo "DEMO PASSED: 5 values changed, applied with verification, read back and recorded."
