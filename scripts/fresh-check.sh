#!/usr/bin/env bash
# Checks that the project builds, tests and packages on a brand-new minimal Debian 12: makes a
# root with debootstrap --variant=minbase from the mirror this machine's apt already uses,
# clones the repository's current commit into it, runs .ci/run there in a chroot and reports
# the outcome. Needs root (it asks sudo when not run as root), the network and some minutes;
# it is not part of CI. Uncommitted changes are not part of the check.
#
#   scripts/fresh-check.sh [--keep] [FOLDER]
#
# FOLDER (default build/fresh-root in the checkout) must be new, or a root an earlier run made, which is
# replaced. The root is removed after a pass and kept after a failure, for a look inside
# (chroot FOLDER); --keep always keeps it. VARKO5_MIRROR overrides the mirror.
set -euo pipefail

fail() {
    echo "FRESH CHECK FAILED: $*" >&2
    exit 1
}

# Marks a folder as one this script made, so that only such folders are ever deleted.
MARKER=.varko5-fresh-root
SUITE=bookworm

# ---- inside a private mount namespace: mount, run .ci/run in the chroot, unmount ------------
if [ "${1:-}" = "--in-namespace" ]; then
    root=$2
    mounted=()
    unmount_all() {
        local i
        for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
            umount -R "${mounted[i]}" 2>/dev/null || umount -R -l "${mounted[i]}" || true
        done
    }
    trap unmount_all EXIT
    mount -t proc proc "$root/proc"
    mounted+=("$root/proc")
    mount -t sysfs -o ro,nosuid,nodev,noexec sysfs "$root/sys"
    mounted+=("$root/sys")
    # /dev with its pseudo-terminals (lpfp_sim) and /dev/shm; slave, so that nothing done
    # below it, the unmount included, reaches the machine's own /dev.
    mount --rbind /dev "$root/dev"
    mounted+=("$root/dev")
    mount --make-rslave "$root/dev"

    environment=(HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin)
    for name in http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
        [ -z "${!name:-}" ] || environment+=("$name=${!name}")
    done
    status=0
    chroot "$root" /usr/bin/env -i "${environment[@]}" /bin/bash -c 'cd /src/varko5 && .ci/run' || status=$?
    exit "$status"
fi

# ---- outside ------------------------------------------------------------------------------
keep=false
if [ "${1:-}" = "--keep" ]; then
    keep=true
    shift
fi
[ $# -le 1 ] || { echo "usage: $0 [--keep] [FOLDER]" >&2; exit 2; }

# Absolute paths first: the script runs itself again (under sudo, in the namespace), and a
# FOLDER given relative to the caller's directory means that directory.
script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
repo=$(cd "$(dirname "$script")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
    echo "fresh-check: debootstrap and chroot need root; asking sudo"
    args=()
    $keep && args+=(--keep)
    [ $# -eq 0 ] || args+=("$(cd "$(dirname "$1")" && pwd)/$(basename "$1")")
    exec sudo --preserve-env=VARKO5_MIRROR,http_proxy,https_proxy,no_proxy "$script" "${args[@]}"
fi

commit=$(git -C "$repo" rev-parse HEAD)
if [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
    echo "fresh-check: note: uncommitted changes are not part of the check (commit $commit)"
fi

# The Debian 12 mirror of this machine's apt sources: the first enabled "deb" entry for the
# suite itself (not -updates or -security), in one-line (.list) or deb822 (.sources) form.
find_mirror() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        awk -v suite="$SUITE" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite) { print $i; exit }
            }' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v RS= -v suite="$SUITE" '
            {
                types = ""; uris = ""; suites = ""; enabled = "yes"
                n = split($0, lines, "\n")
                for (l = 1; l <= n; l++) {
                    line = lines[l]
                    if (line ~ /^#/ || !match(line, /^[A-Za-z-]+:/)) continue
                    key = tolower(substr(line, 1, RLENGTH - 1))
                    value = substr(line, RLENGTH + 1)
                    gsub(/^[ \t]+|[ \t]+$/, "", value)
                    if (key == "types") types = value
                    else if (key == "uris") uris = value
                    else if (key == "suites") suites = value
                    else if (key == "enabled") enabled = tolower(value)
                }
                if (enabled != "no" && (" " types " ") ~ / deb / && (" " suites " ") ~ (" " suite " ")) {
                    split(uris, first, /[ \t]+/)
                    print first[1]
                    exit
                }
            }' "$file"
    done
}
mirror=${VARKO5_MIRROR:-$(find_mirror | head -n 1)}
[ -n "$mirror" ] || fail "no $SUITE mirror in /etc/apt/sources.list or sources.list.d; set VARKO5_MIRROR"

root=${1:-$repo/build/fresh-root}
mkdir -p "$(dirname "$root")"
root=$(cd "$(dirname "$root")" && pwd)/$(basename "$root")
[[ $root =~ ^/[A-Za-z0-9._/+-]+$ ]] || fail "the folder's path must be plain (letters, digits, . _ - + /): $root"

# Nothing may be mounted below the root when it is deleted, or rm would reach into the
# machine's /dev.
mounted_below() {
    awk -v root="$root" '$5 == root || index($5, root "/") == 1 { found = 1 } END { exit !found }' \
        /proc/self/mountinfo
}
remove_root() {
    if mounted_below; then
        echo "fresh-check: something is still mounted below $root; it is left in place" >&2
        return 1
    fi
    rm -rf --one-file-system "$root"
}

if [ -e "$root" ]; then
    if [ -f "$root/$MARKER" ]; then
        echo "fresh-check: replacing the root of an earlier run in $root"
        remove_root || fail "cannot replace $root"
    elif [ -n "$(ls -A "$root")" ]; then
        fail "$root exists and is not a root this script made; choose another folder"
    fi
fi

if ! command -v debootstrap >/dev/null; then
    echo "fresh-check: installing debootstrap"
    env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap ||
        fail "debootstrap could not be installed"
fi

started=$(date +%s)
mkdir -p "$root"
touch "$root/$MARKER"
echo "fresh-check: debootstrap --variant=minbase $SUITE $root $mirror"
debootstrap --variant=minbase "$SUITE" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 || {
    tail -n 30 "$root.debootstrap.log" >&2
    fail "debootstrap (log: $root.debootstrap.log)"
}
cp /etc/resolv.conf "$root/etc/resolv.conf"

echo "fresh-check: cloning $repo at $commit into /src/varko5"
git clone --quiet --no-hardlinks "$repo" "$root/src/varko5"
git -C "$root/src/varko5" checkout --quiet --detach "$commit"

echo "fresh-check: running .ci/run in the chroot"
status=0
if unshare --mount --propagation private true 2>/dev/null; then
    unshare --mount --propagation private -- bash "$script" --in-namespace "$root" || status=$?
else
    bash "$script" --in-namespace "$root" || status=$?
fi
minutes=$((($(date +%s) - started + 59) / 60))

if [ "$status" -ne 0 ]; then
    echo "FRESH CHECK FAILED: .ci/run ended with status $status after about $minutes min" \
        "(commit $commit; the root stays in $root)" >&2
    exit 1
fi
if $keep; then
    echo "fresh-check: the root stays in $root"
else
    remove_root || true
    rm -f "$root.debootstrap.log"
fi
echo "FRESH CHECK PASSED: .ci/run on a fresh minimal Debian 12 in about $minutes min (commit $commit)"
