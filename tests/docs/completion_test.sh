#!/usr/bin/env bash
# The bash completion of lpfp_cli, as the build makes it from the option table, against the built
# program: every option of its --help is offered, and after an option that takes a value the
# right kind of value is.
# Usage: completion_test.sh COMPLETION_FILE LPFP_CLI
set -uo pipefail
completion=$1
cli=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/files/sub.d" "$work/files/subfolder"
ln -s "$cli" "$work/bin/lpfp_cli"
touch "$work/files/unit.app.xml" "$work/files/unit.mc.xml" "$work/files/line.lpfp"
export PATH="$work/bin:$PATH"
unset VARKO5_SIMULATOR VARKO5_PORTS

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# shellcheck source=/dev/null
source "$completion" || {
    echo "FAILED: $completion does not load"
    exit 1
}
complete -p lpfp_cli >/dev/null 2>&1 || fail "no completion registered for lpfp_cli"

# complete WORD...: the completions offered for the last word, one per line, sorted.
complete_words() {
    COMP_WORDS=(lpfp_cli "$@")
    COMP_CWORD=$(($# ))
    COMPREPLY=()
    _lpfp_cli
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

expect() { # expect NAME ACTUAL EXPECTED
    [ "$2" = "$3" ] || fail "$1: expected [$(echo $3)] got [$(echo $2)]"
}

cd "$work/files" || exit 1

# Every option of --help, and nothing else, for a bare "-".
# "-?" is a glob character and of no use to complete.
help_options=$(lpfp_cli --help | grep -oE '^  -[^ ]*(, -[^ ,]*)*' | tr -d ' ' | tr ',' '\n' | grep -vFx -- '-?' | sort)
[ "$(echo "$help_options" | wc -l)" -ge 20 ] || fail "--help lists too few options: $help_options"
expect "all options" "$(complete_words -)" "$help_options"
expect "a prefix" "$(complete_words --get)" "$(printf '%s\n' --getConfig --getDefaults)"
expect "a word that is no option" "$(complete_words unit)" ""

# Files after the options that take one, in both spellings.
expect "--app_config" "$(complete_words --app_config unit)" "$(printf '%s\n' unit.app.xml unit.mc.xml)"
expect "--lpfp_config" "$(complete_words --test --lpfp_config l)" "line.lpfp"
expect "--saveLpfp" "$(complete_words --saveLpfp li)" "line.lpfp"
expect "-o" "$(complete_words -o unit.a)" "unit.app.xml"
# Folders alone after --backup_dir.
expect "--backup_dir" "$(complete_words --backup_dir s)" "$(printf '%s\n' sub.d subfolder)"
# --diff takes two sources: files or the controller.
expect "--diff first" "$(complete_words --diff dev)" "$(printf '%s\n' device:current device:default)"
expect "--diff second" "$(complete_words --diff line.lpfp device:c)" "device:current"
expect "--diff files" "$(complete_words --diff li)" "line.lpfp"
expect "--serial" "$(complete_words --serial a)" ""
# A flag takes no value: options again.
expect "after a flag" "$(complete_words --test --no_b)" "--no_backup"
# The values of --baud and --serial are free.
expect "--baud" "$(complete_words --baud 9)" ""

if [ "$failures" -ne 0 ]; then
    echo "$failures completion checks failed"
    exit 1
fi
echo "Every completion check passed."
