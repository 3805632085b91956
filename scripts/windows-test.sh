#!/usr/bin/env bash
# Builds the Windows programs and tests (cross-compiled with mingw-w64) and runs them under
# wine: the unit and end-to-end tests through CTest, lpfp_cli over a wine COM port against
# lpfp_sim on a pseudo-terminal (its files compared byte for byte with the Linux build's), and
# the ZIP and the NSIS installer, installed and uninstalled silently. scripts/test.sh runs it
# after the Linux tests; it takes the Linux build folder whose lpfp_sim and lpfp_cli it uses.
#
#   scripts/windows-test.sh [LINUX_BUILD]     (default build/release)
#
# VARKO5_WIN_BUILD names the Windows build folder (default build/win). Exits non-zero on the
# first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
linux_build=$(cd "${1:-build/release}" && pwd)
build=${VARKO5_WIN_BUILD:-build/win}
jobs=$(nproc)
started=$(date +%s)

step() { echo "windows-test: $* ($(($(date +%s) - started)) s)"; }
fail() {
    echo "windows-test: FAILED: $*" >&2
    exit 1
}

step "libraries"
./scripts/windows-deps.sh
# The cross compiler goes through ccache like any other, so a second run rebuilds little.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARKO5_WERROR=ON -DVARKO5_BUILD_LOADER=OFF \
        -DVARKO5_BUILD_BENCHMARKS=OFF "${launcher[@]}" >/dev/null
fi
step "building"
cmake --build "$build" -j "$jobs"
build=$(cd "$build" && pwd)
step "built"

# Wine turns Windows file names into Linux ones in the locale's character set: without a UTF-8
# locale (a bare CI environment sets none) names outside ASCII cannot be made at all.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
fi
# ---- wine: one prefix per build folder, one persistent wineserver ---------------------------
export WINEPREFIX=$build/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    step "making the wine prefix"
    wineboot -i >/dev/null 2>&1
fi
# The wineserver may take a pseudo-terminal as its terminal and print a dump when it hangs up:
# its output goes to a file. One left running by an earlier run is used as it is (-p then says
# so and fails).
wineserver -p >"$build/wineserver.log" 2>&1 </dev/null || true
sim_pid=
holder_pid=
cleanup() {
    [ -z "$holder_pid" ] || kill "$holder_pid" 2>/dev/null || true
    [ -z "$sim_pid" ] || kill "$sim_pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
# The first programs run in a fresh prefix can hang at their exit: one warm-up run first.
timeout 120 wine "$build/cli/lpfp_cli.exe" --version >/dev/null 2>&1 || true

step "unit and end-to-end tests"
ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300
step "tests passed"

# ---- lpfp_cli.exe over a wine COM port to lpfp_sim on a pseudo-terminal -----------------------
work=$(mktemp -d)
trap 'cleanup; rm -rf "$work"' EXIT
# start_sim SCENARIO: lpfp_sim serves it until its standard input closes; sets pty. The FIFO's
# writing end is held by a process of its own, never by this shell: wine's own processes,
# started by any wine command, would inherit it and keep lpfp_sim from ever seeing the end.
start_sim() {
    mkfifo "$work/sim-in"
    "$linux_build/sim/lpfp_sim" "$1" <"$work/sim-in" >"$work/sim-out" 2>"$work/sim-err" &
    sim_pid=$!
    sleep infinity >"$work/sim-in" &
    holder_pid=$!
    rm "$work/sim-in"
    for _ in $(seq 100); do
        pty=$(head -n 1 "$work/sim-out")
        [ -z "$pty" ] || return 0
        sleep 0.1
    done
    fail "lpfp_sim did not announce its terminal"
}
stop_sim() {
    kill "$holder_pid" 2>/dev/null || true
    wait "$holder_pid" 2>/dev/null || true
    holder_pid=
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
}
# wine_cli ARGS...: lpfp_cli.exe with the COM port, status in $status, output in $work/out.
wine_cli() {
    status=0
    env VARKO5_PORTS=COM5 timeout 120 wine "$build/cli/lpfp_cli.exe" "$@" >"$work/out" 2>"$work/err" || status=$?
}
linux_cli() {
    status=0
    env -u VARKO5_SIMULATOR VARKO5_PORTS="$pty" timeout 120 "$linux_build/cli/lpfp_cli" "$@" \
        >"$work/out" 2>"$work/err" || status=$?
}
without_stamps() { sed -E 's/^\[[0-9-]+ [0-9:.]+\] //' "$1"; }

step "COM port flows against lpfp_sim"
start_sim "serial=VK5COM0001"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"
mkdir -p "$work/win" "$work/linux"

wine_cli --test
[ "$status" -eq 0 ] || { cat "$work/out" "$work/err"; fail "--test over COM5 ended with $status"; }
without_stamps "$work/out" >"$work/win-test.txt"
linux_cli --test
without_stamps "$work/out" >"$work/linux-test.txt"
# The port's name, and the serial number a named port gets from it (pts3 for /dev/pts/3 on
# Linux, the port's name on Windows), differ by platform; all else is the same.
sed -i -e "s|$pty|COM5|g" -e "s|Serial Number: pts${pty##*/}\$|Serial Number: COM5|" "$work/linux-test.txt"
diff -u "$work/linux-test.txt" "$work/win-test.txt" || fail "--test says something else over COM5 than on Linux"

for mode in --getConfig --getDefaults; do
    wine_cli "$mode" -o 'Z:'"$work/win/conf"
    [ "$status" -eq 0 ] || { cat "$work/out" "$work/err"; fail "$mode over COM5 ended with $status"; }
    linux_cli "$mode" -o "$work/linux/conf"
    for part in app mc; do
        cmp "$work/linux/conf.$part.xml" "$work/win/conf.$part.xml" || fail "$mode: conf.$part.xml differs from Linux's"
    done
done
# Apply what was saved (a backup is taken under LOCALAPPDATA first), then read it back.
wine_cli --app_config 'Z:'"$work/win/conf.app.xml" --mc_config 'Z:'"$work/win/conf.mc.xml"
[ "$status" -eq 0 ] || { cat "$work/out" "$work/err"; fail "applying over COM5 ended with $status"; }
grep -q 'varko5\\backups\\' "$work/out" || { cat "$work/out"; fail "no backup under LOCALAPPDATA"; }
grep -q $'\r' "$work/out" && fail "standard output holds carriage returns"

# A port that does not exist.
status=0
env VARKO5_PORTS=COM9 timeout 120 wine "$build/cli/lpfp_cli.exe" --test >"$work/out" 2>&1 || status=$?
[ "$status" -ne 0 ] || fail "--test on a missing COM9 succeeded"
grep -q 'Cannot open serial port COM9' "$work/out" || { cat "$work/out"; fail "no message for a missing COM9"; }

# Listing from the registry: wine lists its configured ports under SERIALCOMM, and also a
# COM1 for the machine's /dev/ttyS0 where there is one, so the port is chosen by its serial
# number (a COM port's is its name), which only a listed port has.
wine reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$pty" /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true
wineserver -p >>"$build/wineserver.log" 2>&1 </dev/null || true
status=0
env -u VARKO5_PORTS timeout 120 wine "$build/cli/lpfp_cli.exe" --test --serial COM7 >"$work/out" 2>&1 || status=$?
wine reg delete 'HKLM\Software\Wine\Ports' /v COM7 /f >/dev/null 2>&1
[ "$status" -eq 0 ] || { cat "$work/out"; fail "--test on the registry's COM7 ended with $status"; }
grep -q 'Description: Serial port COM7' "$work/out" || { cat "$work/out"; fail "the registry's COM7 was not used"; }

stop_sim

# An unplugged bridge: the simulator goes away while lpfp_cli waits for the controller's reply
# (each reply comes a second late), and the exchange ends at once with Linux's message.
start_sim "latency=1000"
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"
env VARKO5_PORTS=COM5 timeout 120 wine "$build/cli/lpfp_cli.exe" --getConfig -o 'Z:'"$work/win/gone" \
    >"$work/out" 2>&1 &
cli_pid=$!
for _ in $(seq 600); do
    grep -q 'Major: 5' "$work/out" && break
    sleep 0.05
done
stop_sim
status=0
wait "$cli_pid" || status=$?
[ "$status" -eq 1 ] || { cat "$work/out"; fail "--getConfig with its bridge gone ended with $status"; }
grep -q 'Lost the connection to the bridge on COM5' "$work/out" || { cat "$work/out"; fail "no message for the lost bridge"; }
rm -f "$WINEPREFIX/dosdevices/com5"

# ---- packages ---------------------------------------------------------------------------------
step "packages"
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null) || fail "cpack"
zip=$(ls "$build"/varko5-lpfp-*-win64.zip)
installer=$(ls "$build"/varko5-lpfp-*-win64.exe)
listing=$(unzip -Z1 "$zip")
for file in lpfp_cli.exe README.md LICENSE.txt lpfp_cli-result.schema.json; do
    grep -q "/$file\$" <<<"$listing" || fail "the ZIP lacks $file"
done
# Only system DLLs: the programs are linked statically.
imports=$(x86_64-w64-mingw32-objdump -p "$build/cli/lpfp_cli.exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
for dll in $imports; do
    case $dll in
    kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | shell32.dll | ws2_32.dll | ole32.dll | api-ms-win-*) ;;
    *) fail "lpfp_cli.exe needs $dll" ;;
    esac
done
target="$WINEPREFIX/drive_c/Program Files/Varko5 LPFP"
timeout 300 wine "$installer" /S || fail "the installer ended with $?"
[ -f "$target/lpfp_cli.exe" ] || fail "the installer did not install lpfp_cli.exe"
[ -f "$target/lpfp_cli-result.schema.json" ] || fail "the installer did not install the schema"
timeout 120 wine "$target/lpfp_cli.exe" --version | grep -q '^lpfp_cli ' || fail "the installed lpfp_cli does not run"
timeout 300 wine "$target/Uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 100); do
    [ -e "$target/lpfp_cli.exe" ] || break
    sleep 0.2
done
[ ! -e "$target/lpfp_cli.exe" ] || fail "the uninstaller left lpfp_cli.exe"

step "all Windows tests passed"
