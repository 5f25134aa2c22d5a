# What the Windows program is built from beside its own sources: Debian's source packages of Qt and
# ICU, cross-built once each into a cache outside the clone, VELTRANE_WINDOWS_CACHE, else
# ~/.cache/veltrane-windows. Each build lands in a folder named after what went into it, so a new
# source version, patch or option builds anew and never reuses a build that does not match.
# Sourced by scripts/windows after common.sh, before qt.sh and icu.sh.
# shellcheck shell=bash disable=SC2154

windows_cache=${VELTRANE_WINDOWS_CACHE:-$(cache_dir veltrane-windows)}

# Debian 12's and 13's source lists, with their security updates, live in the cache, so that the
# machine's own apt sources stay untouched.
source_apt=(-q -o Dir::Etc::sourcelist="$windows_cache/apt/sources.list" -o Dir::Etc::sourceparts=-
    -o Dir::State::Lists="$windows_cache/apt/lists" -o Dir::Cache="$windows_cache/apt/cache")

# build_key LINES...: a short hash of what a build depends on, the cross compiler included.
build_key() {
    { printf '%s\n' "$@"; x86_64-w64-mingw32-g++-posix --version | head -n 1; } | sha256sum | cut -c1-12
}

# source_version PACKAGE TESTED [PREFIX]: the version of PACKAGE to build. That is TESTED, the one
# the Windows program was tested with, while Debian serves it; else, or when
# VELTRANE_NEWEST_SOURCES=1 asks for it, the newest upload served whose version starts with PREFIX.
# A release (VELTRANE_TESTED_SOURCES=1) never takes an untested one unasked: it stops instead.
source_version() {
    local package=$1 tested=$2 prefix=${3:-} mirror served candidate newest=''
    mkdir -p "$windows_cache/apt/lists/partial" "$windows_cache/apt/cache/archives/partial"
    mirror=$(debian_mirror)
    printf 'deb-src %s main\n' "$mirror bookworm" "$mirror-security bookworm-security" "$mirror trixie" \
        "$mirror-security trixie-security" >"$windows_cache/apt/sources.list"
    if ! flock "$windows_cache/apt.lock" apt-get "${source_apt[@]}" update >"$windows_cache/apt/update.log" 2>&1; then
        echo "windows: Debian's sources are out of reach (log: $windows_cache/apt/update.log)" >&2
        return 1
    fi
    served=$(apt-cache "${source_apt[@]}" showsrc --only-source "$package" | sed -n 's/^Version: //p')
    for candidate in $served; do
        [[ $candidate == "$prefix"* ]] || continue
        [ -n "$newest" ] && dpkg --compare-versions "$candidate" le "$newest" || newest=$candidate
    done
    if [ "${VELTRANE_NEWEST_SOURCES:-}" != 1 ] && grep -qxF "$tested" <<<"$served"; then
        echo "$tested"
        return 0
    fi
    [ -n "$newest" ] || { echo "windows: Debian serves no source of $package $prefix" >&2; return 1; }
    if [ "${VELTRANE_NEWEST_SOURCES:-}" != 1 ] && [ "${VELTRANE_TESTED_SOURCES:-}" = 1 ]; then
        echo "windows: Debian no longer serves $package $tested, which the Windows program was tested with," \
            "and a release builds only that. VELTRANE_NEWEST_SOURCES=1 builds $newest instead; once it" \
            "passes every check, name it in windows/${package%%-*}.sh." >&2
        return 1
    fi
    [ "$newest" = "$tested" ] ||
        echo "windows: $package $newest, the newest Debian serves, rather than the tested $tested" >&2
    echo "$newest"
}

# fetch_source PACKAGE VERSION WORK TESTED SHA256 [PATCH...]: the source package of VERSION unpacked
# in WORK/src with Debian's patches and then each PATCH applied; when VERSION is TESTED, its archives
# must have the checksums in SHA256 (sha256sum's lines).
fetch_source() (
    local package=$1 version=$2 work=$3 tested=$4 sha256=$5 patch
    shift 5
    mkdir -p "$work/download"
    cd "$work/download" || return 1
    apt-get "${source_apt[@]}" source --download-only "$package=$version" >&2 || return 1
    if [ "$version" = "$tested" ]; then
        sha256sum --quiet --strict -c <<<"$sha256" >&2 ||
            { echo "windows: the archives are not those $package $version was tested with" >&2; return 1; }
    fi
    # Unpacks the archives and applies Debian's series, checking the archives against the .dsc.
    dpkg-source -x ./*.dsc "$work/src" >&2 || return 1
    for patch; do
        patch -d "$work/src" -p1 --forward --batch --quiet <"$patch" >&2 ||
            { echo "windows: $patch does not apply" >&2; return 1; }
    done
)

# keep_only_build NAME PREFIX: removes every build of NAME from the cache but PREFIX.
keep_only_build() {
    find "$windows_cache" -mindepth 1 -maxdepth 1 -name "$1-*" ! -path "$2" \
        -printf 'windows: removing %p, which no longer matches\n' -exec rm -rf {} + >&2
}

# cross_tools: the cross compiler under its plain names first on the path, whatever alternative the
# machine has chosen: the posix thread model, which Qt's threads and ICU's mutexes need.
cross_tools() {
    local tool
    mkdir -p "$windows_cache/cross-bin"
    for tool in gcc g++ c++ cpp gcc-ar gcc-nm gcc-ranlib; do
        ln -sf "/usr/bin/x86_64-w64-mingw32-$tool-posix" "$windows_cache/cross-bin/x86_64-w64-mingw32-$tool"
    done
    export PATH="$windows_cache/cross-bin:$PATH"
}

# build_failed WHAT LOG: says so with the log's end.
build_failed() {
    tail -n 40 "$2" >&2
    echo "windows: the $1 build failed; its log is $2" >&2
    return 1
}
