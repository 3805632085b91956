#!/usr/bin/env bash
# Builds the Debian packages from a built build folder and checks them: control data,
# contents, versions, hardening, lintian, the desktop entry and AppStream metadata. Then it
# unpacks them into a scratch root (dpkg -x: the machine itself is not changed) and runs the
# installed programs from there against the simulated controller, so that a broken install
# fails.
#
#   scripts/package-test.sh BUILD_DIR
#
# The packages land in BUILD_DIR/deb:
#   varko5-lpfp-cli     lpfp_cli, lpfp_sim, the udev rule (no Qt)
#   varko5-lpfp-loader  lpfp_loader and its desktop integration (when the build has it)
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
has_loader=false
[[ " ${programs[*]} " == *" lpfp_loader "* ]] && has_loader=true

cache_value() {
    sed -n "s/^$1:[A-Z]*=//p" "$build_dir/CMakeCache.txt"
}

scratch=$(mktemp -d)
sim_pid=
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

echo "package-test: building the packages"
rm -rf "$build_dir/deb"
cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$build_dir/deb" \
    >"$scratch/cpack.log" 2>&1 || { cat "$scratch/cpack.log" >&2; fail "cpack"; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $build_dir/CMakeCache.txt"
arch=$(dpkg --print-architecture)
cli_deb=$build_dir/deb/varko5-lpfp-cli_${version}_$arch.deb
loader_deb=$build_dir/deb/varko5-lpfp-loader_${version}_$arch.deb
debs=("$cli_deb")
$has_loader && debs+=("$loader_deb")
for deb in "${debs[@]}"; do
    [ -f "$deb" ] || { ls -l "$build_dir/deb" >&2; fail "no $(basename "$deb")"; }
done
found=("$build_dir"/deb/*.deb)
[ ${#found[@]} -eq ${#debs[@]} ] || fail "expected ${#debs[@]} packages in $build_dir/deb, found ${#found[@]}"
echo "package-test: ${debs[*]}"

# ---- reproducible: a second package build of the same build gives identical files ----------
# cpack takes SOURCE_DATE_EPOCH from the last commit when it is unset: every time stamp in the
# packages is that one, never the clock's.
cpack --config "$build_dir/CPackConfig.cmake" -G DEB -B "$scratch/deb-again" \
    >"$scratch/cpack-again.log" 2>&1 || { cat "$scratch/cpack-again.log" >&2; fail "second cpack"; }
for deb in "${debs[@]}"; do
    cmp -s "$deb" "$scratch/deb-again/$(basename "$deb")" ||
        fail "$(basename "$deb") differs between two package builds of one build"
done
if epoch=$(git -C "$(cache_value CMAKE_HOME_DIRECTORY)" log -1 --format=%ct 2>/dev/null) && [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    stamp=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M')
    listing=$(TZ=UTC dpkg-deb -c "$cli_deb")
    grep -q " $stamp ./usr/bin/lpfp_cli\$" <<<"$listing" ||
        fail "$(basename "$cli_deb") is not stamped with the last commit's time ($stamp)"
fi

# ---- control data ------------------------------------------------------------------------
# expect_info DEB REGEX...: every pattern matches a line of the package's control data.
# refuse_info DEB REGEX: no line matches.
expect_info() {
    local deb=$1 info
    shift
    info=$(dpkg-deb --info "$deb")
    for pattern in "$@"; do
        grep -Eq "$pattern" <<<"$info" || { echo "$info" >&2; fail "$(basename "$deb"): control lacks /$pattern/"; }
    done
}
refuse_info() {
    local info
    info=$(dpkg-deb --info "$1")
    if grep -Eq "$2" <<<"$info"; then
        echo "$info" >&2
        fail "$(basename "$1"): control has /$2/"
    fi
}
expect_info "$cli_deb" '^ Package: varko5-lpfp-cli$' "^ Version: $version\$" '^ Section: ' '^ Maintainer: .+' \
    '^ Depends: .*libc6' '^ Depends: .*libtinyxml2' '^ Conflicts: varko5-lpfp$' '^ Replaces: varko5-lpfp$' \
    ' postinst +#!' ' postrm +#!'
# A headless bench installs the console tools without a desktop.
refuse_info "$cli_deb" '^ Depends: .*(libqt|libx11|libgl)'
if $has_loader; then
    expect_info "$loader_deb" '^ Package: varko5-lpfp-loader$' "^ Version: $version\$" \
        "^ Depends: varko5-lpfp-cli \\(= $version\\)" '^ Depends: .*libqt5widgets5' \
        '^ Conflicts: varko5-lpfp$' '^ Replaces: varko5-lpfp$'
fi
# Debian policy: no description line longer than 80 characters.
for deb in "${debs[@]}"; do
    long=$(dpkg-deb -f "$deb" Description | awk 'length($0) > 80')
    [ -z "$long" ] || fail "$(basename "$deb"): description lines over 80 characters: $long"
done

# ---- contents ----------------------------------------------------------------------------
contents_of() {
    dpkg-deb -c "$1" | awk '{ print $NF }'
}
expect_files() {
    local deb=$1 contents
    shift
    contents=$(contents_of "$deb")
    for path in "$@"; do
        grep -Fxq "./$path" <<<"$contents" || { echo "$contents" >&2; fail "$(basename "$deb") lacks /$path"; }
    done
}
# The rule goes where udev's pkg-config file says packaged rules live.
rules_dir=$(cache_value VARKO5_UDEV_RULES_DIR)
[ -n "$rules_dir" ] || fail "no VARKO5_UDEV_RULES_DIR in $build_dir/CMakeCache.txt"
if udevdir=$(pkg-config --variable=udevdir udev 2>/dev/null) && [ -n "$udevdir" ]; then
    [ "$rules_dir" = "$udevdir/rules.d" ] || fail "the udev rule goes to $rules_dir, but udev.pc names $udevdir"
fi
expect_files "$cli_deb" usr/bin/lpfp_cli usr/bin/lpfp_sim "${rules_dir#/}/70-varko5-ftdi.rules" \
    usr/share/man/man1/lpfp_cli.1.gz usr/share/man/man1/lpfp_sim.1.gz \
    usr/share/doc/varko5-lpfp-cli/copyright usr/share/doc/varko5-lpfp-cli/changelog.gz \
    usr/share/doc/varko5-lpfp-cli/README.md usr/share/doc/varko5-lpfp-cli/lpfp_cli-result.schema.json \
    usr/share/doc/varko5-lpfp-cli/records-history.schema.json \
    usr/share/bash-completion/completions/lpfp_cli \
    usr/share/metainfo/com.varko5.lpfp_cli.metainfo.xml
if $has_loader; then
    expect_files "$loader_deb" usr/bin/lpfp_loader usr/share/applications/com.varko5.lpfp_loader.desktop \
        usr/share/icons/hicolor/scalable/apps/lpfp_loader.svg usr/share/man/man1/lpfp_loader.1.gz \
        usr/share/doc/varko5-lpfp-loader/copyright usr/share/doc/varko5-lpfp-loader/changelog.gz \
        usr/share/doc/varko5-lpfp-loader/README.md \
        usr/share/metainfo/com.varko5.lpfp_loader.metainfo.xml
    # dpkg refuses two packages that ship the same file.
    shared=$(comm -12 <(contents_of "$cli_deb" | grep -v '/$' | sort) <(contents_of "$loader_deb" | grep -v '/$' | sort))
    [ -z "$shared" ] || fail "both packages ship $shared"
    if contents_of "$cli_deb" | grep -q '/lpfp_loader$'; then
        fail "varko5-lpfp-cli ships lpfp_loader"
    fi
fi

root=$scratch/root
for deb in "${debs[@]}"; do
    dpkg-deb -x "$deb" "$root"
done
cli=$root/usr/bin/lpfp_cli

# ---- versions: project(), the programs, the changelog and the metadata agree ------------
[ "$("$cli" --version)" = "lpfp_cli $version" ] || fail "lpfp_cli --version printed \"$("$cli" --version)\", not lpfp_cli $version"
# The changelog is signed by the maintainer the control data names, a real name and address.
maintainer=$(dpkg-deb --field "$cli_deb" Maintainer)
[[ $maintainer == *?" <"?*@?*">" && $maintainer != *.invalid\>* ]] ||
    fail "the packages' maintainer \"$maintainer\" is no name and address (set VARKO5_PACKAGE_CONTACT)"
for doc in "$root"/usr/share/doc/varko5-lpfp-*/changelog.gz; do
    head=$(zcat "$doc" | head -n 1)
    [[ $head == "varko5-lpfp ($version) "* ]] || fail "$doc begins with \"$head\", not version $version"
    zcat "$doc" | grep -qF -- " -- $maintainer  " || fail "$doc is not signed by $maintainer"
done
for page in "$root"/usr/share/man/man1/*.1.gz; do
    zcat "$page" | grep -q "^\.TH .* $version\"" || fail "$(basename "$page") does not name version $version"
done
for metainfo in "$root"/usr/share/metainfo/*.xml; do
    grep -q "<release version=\"$version\"" "$metainfo" || fail "$(basename "$metainfo") lacks release $version"
done

# ---- hardening (dpkg-buildflags): PIE, full RELRO, stack protector, fortified calls ------
for program in "${programs[@]}"; do
    binary=$root/usr/bin/$program
    header=$(readelf -hW "$binary")
    grep -Eq 'Type: +DYN' <<<"$header" || fail "$program is not position independent"
    readelf -lW "$binary" | grep -q GNU_RELRO || fail "$program has no read-only relocations"
    readelf -dW "$binary" | grep -Eq '\(BIND_NOW\)|\(FLAGS_1\).* NOW' || fail "$program is not bound at start-up"
    symbols=$(readelf --dyn-syms -W "$binary")
    grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
    grep -Eq '__[a-z_]+_chk(@| )' <<<"$symbols" ||
        fail "$program calls no fortified function (configure with -DVARKO5_HARDENING=ON)"
done

# ---- Debian's own checks --------------------------------------------------------------------
lintian_options=(--fail-on error,warning --display-info)
[ "$(id -u)" -ne 0 ] || lintian_options+=(--allow-root)
lintian "${lintian_options[@]}" "${debs[@]}" >"$scratch/lintian.log" 2>&1 || {
    cat "$scratch/lintian.log" >&2
    fail "lintian"
}
sed 's/^/package-test: lintian: /' "$scratch/lintian.log"
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >"$scratch/appstream.log" 2>&1 || {
    cat "$scratch/appstream.log" >&2
    fail "appstreamcli validate"
}
if $has_loader; then
    desktop-file-validate "$root/usr/share/applications/com.varko5.lpfp_loader.desktop" ||
        fail "desktop-file-validate com.varko5.lpfp_loader.desktop"
fi

# ---- the unpacked programs run ----------------------------------------------------------------
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

# The installed documents: the schema is JSON, and the completion completes with the installed
# program.
python3 -m json.tool "$root/usr/share/doc/varko5-lpfp-cli/lpfp_cli-result.schema.json" >/dev/null ||
    fail "the installed JSON schema does not parse"
completions=$(PATH="$root/usr/bin:$PATH" bash -c '
    source "$1" && COMP_WORDS=(lpfp_cli --getD) && COMP_CWORD=1 && _lpfp_cli && echo "${COMPREPLY[*]}"' \
    _ "$root/usr/share/bash-completion/completions/lpfp_cli") || fail "the installed bash completion fails"
[ "$completions" = "--getDefaults" ] || fail "the installed bash completion offers \"$completions\" for --getD"

run "lpfp_cli --test" env VARKO5_SIMULATOR="devices=1" "$cli" --test
expect_output "lpfp_cli --test" "Major: 5"
expect_output "lpfp_cli --test" "Minor: 2"

# The installed simulator serves a controller on a pseudo-terminal, and the installed console
# tool reaches it through the serial backend. Closing the simulator's input ends it.
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

# The installed desktop program starts, shows its window with one simulated device and, asked
# for a screenshot, saves it and ends.
if $has_loader; then
    shot=$scratch/loader.png
    run "lpfp_loader" env VARKO5_SIMULATOR="devices=1" VARKO5_SCREENSHOT="$shot" QT_QPA_PLATFORM=offscreen \
        "$root/usr/bin/lpfp_loader"
    [ -s "$shot" ] || fail "lpfp_loader saved no window grab"
fi

echo "package-test: packages, contents and installed programs OK (${programs[*]})"
