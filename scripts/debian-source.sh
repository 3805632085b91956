# Sourced by the Windows build scripts: fetches and unpacks Debian's own source packages
# through a private apt state (a deb-src list made from this machine's apt sources), so that
# /etc/apt and the system's package lists are never touched.
#
#   debian_source WORKDIR PACKAGE...   unpacks each source package below WORKDIR/src

# The deb-src twin of every enabled apt source (one-line .list and deb822 .sources forms).
debian_source_lists() {
    local file
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$file"
    done
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # One stanza per blank-line-separated paragraph; only those whose Types has "deb".
        awk -v RS= -v ORS='\n\n' '
            /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && !/(^|\n)Enabled:[ \t]*no/ {
                sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print
            }' "$file" >"$debian_source_apt/sources.list.d/$(basename "$file")"
    done
}

debian_source() {
    local work=$1
    shift
    debian_source_apt=$work/apt
    mkdir -p "$debian_source_apt/lists/partial" "$debian_source_apt/sources.list.d" "$work/src"
    debian_source_lists >"$debian_source_apt/sources.list"
    local apt_options=(-o "Dir::Etc::SourceList=$debian_source_apt/sources.list"
        -o "Dir::Etc::SourceParts=$debian_source_apt/sources.list.d"
        -o "Dir::State::Lists=$debian_source_apt/lists"
        -o "Dir::Cache=$debian_source_apt/cache" -o Debug::NoLocking=1
        -o "APT::Sandbox::User=$(id -un)")
    mkdir -p "$debian_source_apt/cache/archives/partial"
    if [ -z "$(ls "$debian_source_apt/lists" | grep -i sources || true)" ]; then
        apt-get "${apt_options[@]}" update -qq
    fi
    local package
    for package in "$@"; do
        if ! ls -d "$work/src/$package".unpacked >/dev/null 2>&1; then
            (cd "$work/src" && apt-get "${apt_options[@]}" source -qq "$package" >/dev/null)
            touch "$work/src/$package.unpacked"
        fi
    done
}
