#!/usr/bin/env bash
# Checks the desktop program on Windows, beside scripts/fresh-check.sh and, like it, not part
# of CI (building Qt takes 15 to 25 minutes of two cores, more than CI can spare): builds Qt for
# Windows from Debian's source (scripts/windows-qt.sh, kept for later runs), cross-builds
# lpfp_loader.exe and its QtTest suites against it, and runs them under wine on a virtual X
# display (Xvfb) with Qt's windows platform: the suites drive the real widgets against the
# simulated controller (the panels, an LPFP update among them), and lpfp_loader.exe itself must
# show its window with two simulated devices and paint it. Then packs the ZIP and the
# installer with the Qt DLLs, checks that every DLL the packaged programs import is packaged or
# part of Windows, and that the loader starts from the unpacked ZIP and from a silent install.
# Ends with "WINDOWS DESKTOP CHECK PASSED" or "... FAILED".
#
#   scripts/windows-desktop-check.sh      (VARKO5_WIN_QT_BUILD: the build folder, build/win-qt)
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${VARKO5_WIN_QT_BUILD:-$repo/build/win-qt}
jobs=${VARKO5_JOBS:-$(nproc)}
started=$(date +%s)

fail() {
    echo "WINDOWS DESKTOP CHECK FAILED: $*" >&2
    exit 1
}

./scripts/windows-deps.sh || fail "the libraries"
qt_started=$(date +%s)
./scripts/windows-qt.sh || fail "building Qt"
echo "windows-desktop-check: Qt ready after $(($(date +%s) - qt_started)) s"
qt=${VARKO5_WIN_QT:-$HOME/.cache/varko5/qt5-mingw}

mkdir -p "$build"
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DVARKO5_WIN_QT="$qt" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARKO5_WERROR=ON -DVARKO5_BUILD_LOADER=ON \
    -DVARKO5_BUILD_BENCHMARKS=OFF "${launcher[@]}" >"$build.configure.log" 2>&1 ||
    { tail -n 30 "$build.configure.log"; fail "configure"; }
# Every QtTest suite of the loader; test_loader_record runs the built lpfp_cli.exe as well.
loader_tests=(test_loader_window test_loader_panel test_loader_update test_loader_worker test_loader_texts
    test_loader_parameters test_loader_record)
cmake --build "$build" -j "$jobs" --target lpfp_loader lpfp_cli test_parameter_table "${loader_tests[@]}" ||
    fail "build"

# Wine turns Windows file names into Linux ones in the locale's character set: without a UTF-8
# locale (a bare CI environment sets none) names outside ASCII cannot be made at all.
if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
fi
export WINEPREFIX=$build/wine WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
# A wineserver still running (the one wineboot started, or an earlier run's) is used as it is:
# -p then says so and fails.
wineserver -p >"$build/wineserver.log" 2>&1 </dev/null || true
xvfb_pid=
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x2400x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
xwininfo -root >/dev/null 2>&1 || fail "Xvfb did not start"

# The Qt DLLs and plugins beside the programs, as the packages place them.
for folder in "$build/loader" "$build/tests/loader"; do
    cp "$qt"/bin/{Qt5Core,Qt5Gui,Qt5Widgets,Qt5Test,libstdc++-6,libgcc_s_seh-1,libwinpthread-1}.dll "$folder/"
    mkdir -p "$folder/platforms" "$folder/styles"
    cp "$qt/plugins/platforms/qwindows.dll" "$folder/platforms/"
    cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$folder/styles/"
done
timeout 300 wine "$build/cli/lpfp_cli.exe" --version >/dev/null 2>&1 || true # warm-up

# The QtTest suites on the Xvfb display, with the windows platform (the command line wins over
# the offscreen platform the suites choose for Linux; wine passes no QT_* variable, but
# WINEQT_* arrive as QT_*).
for test in "${loader_tests[@]}"; do
    echo "windows-desktop-check: $test"
    platform=(-platform windows)
    [ "$test" != test_loader_texts ] || platform=() # no widgets, no platform (QTEST_GUILESS_MAIN)
    WINEQT_FORCE_STDERR_LOGGING=1 timeout 900 wine "$build/tests/loader/$test.exe" "${platform[@]}" \
        >"$build/$test.log" 2>&1 || { tail -n 40 "$build/$test.log"; fail "$test"; }
    grep -E '^Totals:' "$build/$test.log" || true
done
echo "windows-desktop-check: test_parameter_table"
timeout 600 wine "$build/tests/loader/test_parameter_table.exe" >"$build/test_parameter_table.log" 2>&1 ||
    { tail -n 40 "$build/test_parameter_table.log"; fail "test_parameter_table"; }
grep -E '^\[  PASSED  \]' "$build/test_parameter_table.log" || true

# waitForWindow PID: true once the loader's window is on the display, false when the program
# ended or a minute went by without it.
waitForWindow() {
    for _ in $(seq 600); do
        xwininfo -root -tree 2>/dev/null | grep -q '"LPFP Configuration Loader"' && return 0
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
# smoke EXE NAME DEVICES: the loader with simulated devices shows its titled window; then, in
# its screenshot mode, paints it and saves it as NAME.png.
smoke() {
    local exe=$1 name=$2 devices=$3 pid shown=true
    VARKO5_SIMULATOR="devices=$devices" wine "$exe" >"$build/$name.log" 2>&1 &
    pid=$!
    waitForWindow "$pid" || shown=false
    kill "$pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    wait "$pid" 2>/dev/null || true
    wineserver -w >/dev/null 2>&1 || true
    wineserver -p >>"$build/wineserver.log" 2>&1 </dev/null || true
    $shown || { cat "$build/$name.log"; fail "$name: the window did not appear"; }
    rm -f "$build/$name.png"
    local status=0
    VARKO5_SIMULATOR="devices=$devices" VARKO5_SCREENSHOT="Z:$build/$name.png" timeout 300 wine "$exe" \
        >>"$build/$name.log" 2>&1 || status=$?
    [ "$status" = 0 ] || { cat "$build/$name.log"; fail "$name: the screenshot mode ended with $status"; }
    [ -s "$build/$name.png" ] || fail "$name: no picture of the window"
    echo "windows-desktop-check: $name: $(file -b "$build/$name.png" | cut -d, -f1-2)"
}
echo "windows-desktop-check: lpfp_loader.exe with two simulated devices"
smoke "$build/loader/lpfp_loader.exe" loader 2

# Packages with the Qt DLLs.
(cd "$build" && cpack -G ZIP >/dev/null && cpack -G NSIS >/dev/null) || fail "cpack"
zip=$(ls "$build"/varko5-lpfp-*-win64.zip)
installer=$(ls "$build"/varko5-lpfp-*-win64.exe)
listing=$(unzip -Z1 "$zip")
for file in lpfp_loader.exe lpfp_cli.exe Qt5Core.dll Qt5Gui.dll Qt5Widgets.dll platforms/qwindows.dll \
    styles/qwindowsvistastyle.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll README.md LICENSE.txt; do
    grep -q "/$file\$" <<<"$listing" || fail "the ZIP lacks $file"
done
rm -rf "$build/unzipped"
mkdir -p "$build/unzipped"
unzip -q "$zip" -d "$build/unzipped"
# Every DLL a packaged program or DLL imports is packaged beside it or part of Windows (wine's
# own DLLs stand for Windows' here).
packaged=$(find "$build"/unzipped/*/ -maxdepth 1 -name '*.dll' -printf '%f\n' | tr '[:upper:]' '[:lower:]')
for binary in "$build"/unzipped/*/*.exe "$build"/unzipped/*/*.dll "$build"/unzipped/*/*/*.dll; do
    for dll in $(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p' | tr '[:upper:]' '[:lower:]'); do
        grep -qx "$dll" <<<"$packaged" && continue
        case $dll in api-ms-win-*) continue ;; esac
        [ -e "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/$dll" ] && continue
        fail "$(basename "$binary") needs $dll, which is not in the ZIP"
    done
done
echo "windows-desktop-check: the loader from the unpacked ZIP"
smoke "$(ls "$build"/unzipped/*/lpfp_loader.exe)" loader-zip 1

echo "windows-desktop-check: the installer, silently"
target="$WINEPREFIX/drive_c/Program Files/Varko5 LPFP"
timeout 300 wine "$installer" /S || fail "the installer ended with $?"
for file in lpfp_loader.exe Qt5Widgets.dll platforms/qwindows.dll; do
    [ -f "$target/$file" ] || fail "the installer did not install $file"
done
smoke "$target/lpfp_loader.exe" loader-installed 1
timeout 300 wine "$target/Uninstall.exe" /S || fail "the uninstaller ended with $?"
for _ in $(seq 100); do
    [ -e "$target/lpfp_loader.exe" ] || break
    sleep 0.2
done
[ ! -e "$target/lpfp_loader.exe" ] || fail "the uninstaller left lpfp_loader.exe"

echo "windows-desktop-check: Qt prefix $(du -sh "$qt" | cut -f1), ZIP $(du -h "$zip" | cut -f1)," \
    "installer $(du -h "$installer" | cut -f1)"
echo "WINDOWS DESKTOP CHECK PASSED in $(($(date +%s) - started)) s"
