#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with. Safe to run again:
# it only asks apt for what is missing, and refreshes the package lists once per run.
set -euo pipefail

packages=(
    build-essential locales cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
    qtbase5-dev libtinyxml2-dev libspdlog-dev libfmt-dev libcli11-dev
    libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth
    nlohmann-json3-dev python3 python3-jsonschema
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
else
    echo "install-deps: installing ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A locale whose decimal separator is a comma, so the tests can prove that number text in
# the documents does not follow the user's locale.
if ! locale -a 2>/dev/null | grep -qix 'de_DE.utf-\?8'; then
    echo "install-deps: generating the de_DE.UTF-8 locale"
    "${sudo_cmd[@]}" localedef -i de_DE -f UTF-8 de_DE.UTF-8
fi
