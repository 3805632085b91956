#!/usr/bin/env bash
# Checks the desktop program on Windows, beside scripts/fresh-check.sh and, like it, not part
# of CI (building Qt takes 15 to 25 minutes of two cores, more than CI can spare): builds Qt for
# Windows from Debian's source (scripts/windows-qt.sh, kept for later runs), cross-builds
# lpfp_loader.exe and its QtTest suites against it, and runs them under wine on a virtual X
# display (Xvfb): the suites drive the real widgets against the simulated controller (an LPFP
# update among them), and lpfp_loader.exe itself must show its window with one panel per
# simulated device. Then packs the ZIP and the installer with the Qt DLLs and checks that the
# loader starts from the unpacked ZIP. Ends with "WINDOWS DESKTOP CHECK PASSED" or "... FAILED".
#
#   scripts/windows-desktop-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${VARKO5_WIN_QT_BUILD:-$repo/build/win-qt}
started=$(date +%s)

fail() {
    echo "WINDOWS DESKTOP CHECK FAILED: $*" >&2
    exit 1
}

./scripts/windows-deps.sh || fail "the libraries"
qt_started=$(date +%s)
./scripts/windows-qt.sh || fail "building Qt"
echo "windows-desktop-check: Qt ready after $(($(date +%s) - qt_started)) s"

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DVARKO5_WERROR=ON -DVARKO5_BUILD_BENCHMARKS=OFF >/dev/null ||
    fail "configure"
loader_tests=(test_loader_window test_loader_panel test_loader_update test_loader_worker test_loader_texts
    test_loader_parameters)
cmake --build "$build" -j "$(nproc)" --target lpfp_loader lpfp_cli "${loader_tests[@]}" || fail "build"

export WINEPREFIX=$build/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
wineserver -p >"$build/wineserver.log" 2>&1 </dev/null
xvfb_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# The Qt DLLs and plugins beside the programs, as the packages place them.
qt=${VARKO5_WIN_QT:-$HOME/.cache/varko5/qt5-mingw}
for folder in "$build/loader" "$build/tests/loader"; do
    cp "$qt"/bin/{Qt5Core,Qt5Gui,Qt5Widgets,Qt5Test,libstdc++-6,libgcc_s_seh-1,libwinpthread-1}.dll "$folder/"
    mkdir -p "$folder/platforms" "$folder/styles"
    cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/" 2>/dev/null || true
done
timeout 300 wine "$build/cli/lpfp_cli.exe" --version >/dev/null 2>&1 || true # warm-up

# The QtTest suites on the Xvfb display (wine does not pass QT_* variables; WINEQT_* arrive
# as QT_*).
for test in "${loader_tests[@]}"; do
    echo "windows-desktop-check: $test"
    WINEQT_FORCE_STDERR_LOGGING=1 timeout 600 wine "$build/tests/loader/$test.exe" -platform windows \
        >"$build/$test.log" 2>&1 || { tail -n 40 "$build/$test.log"; fail "$test"; }
done

# The program itself: two simulated devices, two panels.
echo "windows-desktop-check: lpfp_loader.exe with two simulated devices"
VARKO5_SIMULATOR="devices=2" wine "$build/loader/lpfp_loader.exe" >"$build/loader.log" 2>&1 &
loader_pid=$!
shown=false
for _ in $(seq 600); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"LPFP Configuration Loader"'; then
        shown=true
        break
    fi
    sleep 0.1
done
tree=$(xwininfo -root -tree 2>/dev/null || true)
kill "$loader_pid" 2>/dev/null || true
wineserver -k >/dev/null 2>&1 || true
wait "$loader_pid" 2>/dev/null || true
$shown || { cat "$build/loader.log"; fail "the window did not appear"; }
wineserver -p >>"$build/wineserver.log" 2>&1 </dev/null

# Packages with the Qt DLLs; the loader starts from the unpacked ZIP.
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null) || fail "cpack"
zip=$(ls "$build"/varko5-lpfp-*-win64.zip)
listing=$(unzip -Z1 "$zip")
for file in lpfp_loader.exe lpfp_cli.exe Qt5Core.dll Qt5Gui.dll Qt5Widgets.dll platforms/qwindows.dll \
    libstdc++-6.dll README.md LICENSE.txt; do
    grep -q "/$file\$" <<<"$listing" || fail "the ZIP lacks $file"
done
rm -rf "$build/unzipped"
mkdir -p "$build/unzipped"
unzip -q "$zip" -d "$build/unzipped"
loader=$(ls "$build"/unzipped/*/lpfp_loader.exe)
VARKO5_SIMULATOR="devices=1" wine "$loader" >"$build/loader-zip.log" 2>&1 &
loader_pid=$!
shown=false
for _ in $(seq 600); do
    if xwininfo -root -tree 2>/dev/null | grep -q '"LPFP Configuration Loader"'; then
        shown=true
        break
    fi
    sleep 0.1
done
kill "$loader_pid" 2>/dev/null || true
wineserver -k >/dev/null 2>&1 || true
wait "$loader_pid" 2>/dev/null || true
$shown || { cat "$build/loader-zip.log"; fail "the loader from the ZIP did not show its window"; }

echo "windows-desktop-check: Qt prefix $(du -sh "$qt" | cut -f1), ZIP $(du -h "$zip" | cut -f1)," \
    "installer $(du -h "$build"/varko5-lpfp-*-win64.exe | cut -f1)"
echo "WINDOWS DESKTOP CHECK PASSED in $(($(date +%s) - started)) s"
