#!/usr/bin/env bash
# Builds the Debian package from a built build folder, checks what it contains, unpacks it
# into a scratch root (dpkg -x: the machine itself is not changed) and runs the installed
# lpfp_cli from there against the simulated controller, so that a broken install fails.
#
#   scripts/package-test.sh BUILD_DIR
#
# The package lands in BUILD_DIR/deb.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: $0 BUILD_DIR" >&2
    exit 2
fi
build_dir=$(cd "$1" && pwd)

fail() {
    echo "package-test: FAILED: $*" >&2
    exit 1
}

# The install rules name each program whose target the build has; without the console tool
# there is nothing to run yet.
install_script=$build_dir/cmake_install.cmake
[ -f "$install_script" ] || fail "$build_dir is not a configured build folder"
programs=()
for program in lpfp_cli lpfp_loader lpfp_sim; do
    if grep -q "/$program\"" "$install_script"; then
        programs+=("$program")
    fi
done
if [[ " ${programs[*]} " != *" lpfp_cli "* ]]; then
    echo "package-test: SKIPPED: lpfp_cli is not part of this build, nothing to install and run"
    exit 0
fi

scratch=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "package-test: building the package"
rm -rf "$build_dir/deb"
cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$build_dir/deb" \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack"; }
debs=("$build_dir"/deb/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "expected one .deb in $build_dir/deb"
fi
deb=${debs[0]}
echo "package-test: $deb"

# Control data: name, maintainer scripts, and dependencies that dpkg-shlibdeps worked out
# from the programs' shared libraries.
info=$(dpkg-deb --info "$deb")
expect_info() {
    grep -Eq "$1" <<<"$info" || { echo "$info" >&2; fail "package control lacks /$1/"; }
}
expect_info '^ Package: varko5-lpfp$'
expect_info '^ Section: '
expect_info '^ Maintainer: .+'
expect_info '^ Depends: .*libc6'
expect_info '^ Depends: .*libtinyxml2'
expect_info ' postinst +#!'
expect_info ' postrm +#!'
if [[ " ${programs[*]} " == *" lpfp_loader "* ]]; then
    expect_info '^ Depends: .*libqt5widgets5'
fi

# Files: the programs, the udev rule where Debian keeps rules, the desktop entry and icon.
contents=$(dpkg-deb -c "$deb")
expect_file() {
    awk -v path="./$1" '$NF == path { found = 1 } END { exit !found }' <<<"$contents" || {
        echo "$contents" >&2
        fail "package lacks /$1"
    }
}
for program in "${programs[@]}"; do
    expect_file "usr/bin/$program"
done
expect_file lib/udev/rules.d/70-varko5-ftdi.rules
if [[ " ${programs[*]} " == *" lpfp_loader "* ]]; then
    expect_file usr/share/applications/lpfp_loader.desktop
    expect_file usr/share/icons/hicolor/scalable/apps/lpfp_loader.svg
fi

root=$scratch/root
dpkg-deb -x "$deb" "$root"
cli=$root/usr/bin/lpfp_cli

# Every shared library the unpacked programs need must come from the system, not from the
# build folder (a library of our own that the package lacks shows up here).
for program in "${programs[@]}"; do
    libs=$(ldd "$root/usr/bin/$program") || fail "ldd $program"
    if grep -q "not found" <<<"$libs"; then
        echo "$libs" >&2
        fail "$program needs a library that is not installed"
    fi
done

# run NAME COMMAND...: runs an installed program, keeps its output in $output, fails on a
# status other than 0.
output=
run() {
    local name=$1
    shift
    local status=0
    output=$("$@" 2>&1) || status=$?
    if [ "$status" -ne 0 ]; then
        echo "$output" >&2
        fail "$name exited with status $status"
    fi
}
expect_output() {
    grep -Fq "$2" <<<"$output" || { echo "$output" >&2; fail "$1 printed no \"$2\""; }
}

run "lpfp_cli --help" "$cli" --help
expect_output "lpfp_cli --help" "Usage:"

run "lpfp_cli --test" env VARKO5_SIMULATOR="devices=1" "$cli" --test
expect_output "lpfp_cli --test" "Major: 5"
expect_output "lpfp_cli --test" "Minor: 2"

# The installed simulator serves a controller on a pseudo-terminal, and the installed console
# tool reaches it through the serial backend. Closing the simulator's input ends it.
if [[ " ${programs[*]} " == *" lpfp_sim "* ]]; then
    coproc sim { exec "$root/usr/bin/lpfp_sim" "fw=5.2"; }
    # shellcheck disable=SC2154 # sim_PID is set by coproc
    sim_pid=$sim_PID
    sim_in=${sim[1]}
    pty=
    read -r -t 10 pty <&"${sim[0]}" || true
    [[ $pty == /dev/* ]] || fail "lpfp_sim named no pseudo-terminal"
    run "lpfp_cli --test over lpfp_sim" env -u VARKO5_SIMULATOR VARKO5_PORTS="$pty" "$cli" --test
    expect_output "lpfp_cli --test over lpfp_sim" "Major: 5"
    expect_output "lpfp_cli --test over lpfp_sim" "Minor: 2"
    exec {sim_in}>&-
    status=0
    wait "$sim_pid" || status=$?
    sim_pid=
    [ "$status" -eq 0 ] || fail "lpfp_sim exited with status $status"
fi

echo "package-test: package contents and installed programs OK (${programs[*]})"
