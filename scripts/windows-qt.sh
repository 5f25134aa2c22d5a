# Qt 5.15 for 64-bit Windows, cross-built once from Debian's source package and kept in a cache
# outside the clone. Sourced by scripts/windows after common.sh.
# shellcheck shell=bash

# The cache: VELTRANE_WINDOWS_CACHE, else ~/.cache/veltrane-windows. Each Qt build lands in a folder
# named after what went into it, so a new source version, patch or configure line builds anew and
# never reuses a build that does not match.
# The home is the account's own, not whatever HOME sudo left behind.
windows_cache=${VELTRANE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)/.cache}/veltrane-windows}

qt_source_package=qtbase-opensource-src
# Debian's security fixes for the modules built here, and a fix of a toolkit fault of our own:
# the GBK encoder drops a character it cannot map instead of writing "?".
qt_debian_patches=(CVE-2024-25580.diff CVE-2025-5455.diff gcc_14.diff)
qt_own_patches=("$root_dir"/windows/patches/*.patch)

# Only what the program, its tests and its plugins need: widgets, the windows platform plugin and
# the Vista style, QtTest; QtCore's own codecs rather than ICU, which Windows lacks.
# Debian's repacked source has no wintab headers, hence no tablet events.
qt_configure_options=(
    -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -release -shared -opensource -confirm-license -nomake examples -nomake tests
    -no-icu -no-opengl -no-dbus -qt-zlib -qt-libpng -qt-freetype -qt-harfbuzz -qt-pcre
    -no-libjpeg -no-direct2d -no-feature-sql -no-feature-network -no-feature-xml
    -no-feature-concurrent -no-feature-printer -no-feature-tabletevent
)

# The deb-src lists live in the cache, so the machine's own apt sources stay untouched.
# qt_apt apt-get|apt-cache ARGS...
qt_apt() {
    local dir="$windows_cache/apt" command=$1
    shift
    "$command" -q -o Dir::Etc::sourcelist="$dir/sources.list" -o Dir::Etc::sourceparts=- \
        -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" "$@"
}

# Prints the newest version of Qt 5.15's base module among Debian 12's and 13's sources, with their
# security updates; nothing when the archive cannot be reached.
qt_newest_source() {
    local dir="$windows_cache/apt" mirror
    mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)
    mirror=${mirror:-http://deb.debian.org/debian}
    mkdir -p "$dir/lists/partial" "$dir/cache/archives/partial"
    {
        for release in bookworm trixie; do
            echo "deb-src $mirror $release main"
            echo "deb-src ${mirror}-security $release-security main"
        done
    } >"$dir/sources.list"
    qt_apt apt-get update >"$dir/update.log" 2>&1 || return 0
    qt_apt apt-cache showsrc --only-source "$qt_source_package" 2>/dev/null |
        sed -n 's/^Version: //p' | sort -V | tail -n 1
}

# The cross compiler under its plain names, whatever alternative the machine has chosen: Qt's
# threads need the posix thread model.
qt_cross_tools() {
    local bin="$windows_cache/cross-bin" tool
    mkdir -p "$bin"
    for tool in gcc g++ c++ cpp gcc-ar gcc-nm gcc-ranlib; do
        ln -sf "/usr/bin/x86_64-w64-mingw32-$tool-posix" "$bin/x86_64-w64-mingw32-$tool"
    done
    echo "$bin"
}

# qt_key VERSION: what the build depends on, hashed.
qt_key() {
    {
        echo "$1"
        printf '%s\n' "${qt_debian_patches[@]}" "${qt_configure_options[@]}"
        cat "${qt_own_patches[@]}"
        x86_64-w64-mingw32-g++-posix --version | head -n 1
    } | sha256sum | cut -c1-12
}

# Prints the prefix of a complete Qt build, building it first when the cache has none for the
# newest source. Without the archive, the newest complete build in the cache serves.
qt_for_windows() {
    local version prefix key work
    mkdir -p "$windows_cache"
    version=$(qt_newest_source)
    if [ -z "$version" ]; then
        prefix=$(find "$windows_cache" -maxdepth 2 -name .complete -printf '%h\n' 2>/dev/null | sort -V | tail -n 1)
        [ -n "$prefix" ] || { echo "windows: cannot reach Debian's sources and no Qt in $windows_cache" >&2; return 1; }
        echo "windows: Debian's sources unreachable; using $prefix" >&2
        echo "$prefix"
        return 0
    fi
    key=$(qt_key "$version")
    prefix="$windows_cache/qt-$version-$key"
    if [ -f "$prefix/.complete" ]; then
        echo "$prefix"
        return 0
    fi

    echo "windows: building Qt $version for Windows into $prefix (about half an hour)" >&2
    rm -rf "$prefix"
    work="$windows_cache/work-$key"
    rm -rf "$work"
    mkdir -p "$work/download"
    (cd "$work/download" && qt_apt apt-get source --download-only "$qt_source_package=$version") >&2
    mkdir -p "$work/src"
    tar -C "$work/src" --strip-components=1 -xJf "$work"/download/*.orig.tar.xz
    tar -C "$work" -xJf "$work"/download/*.debian.tar.xz
    local patch
    for patch in "${qt_debian_patches[@]/#/$work/debian/patches/}" "${qt_own_patches[@]}"; do
        echo "windows: applying $(basename "$patch")" >&2
        patch -d "$work/src" -p1 --forward --batch <"$patch" >&2
    done

    local cross_bin
    cross_bin=$(qt_cross_tools)
    mkdir -p "$work/build"
    (
        cd "$work/build"
        export PATH="$cross_bin:$PATH"
        "$work/src/configure" -prefix "$prefix" "${qt_configure_options[@]}"
        nice make -j"$build_jobs"
        make install
    ) >"$work/build.log" 2>&1 || {
        tail -n 40 "$work/build.log" >&2
        echo "windows: the Qt build failed; its log is $work/build.log" >&2
        return 1
    }
    # What the zip must carry beside Qt's DLLs: its licences, and where its source comes from.
    mkdir -p "$prefix/licenses"
    cp "$work"/src/LICENSE.{LGPL3,LGPLv3,GPL2,GPL3,GPL3-EXCEPT} "$prefix/licenses/"
    cp "$work/debian/copyright" "$prefix/licenses/debian-copyright"
    echo "$qt_source_package $version" >"$prefix/debian-source"
    touch "$prefix/.complete"
    rm -rf "$work"
    echo "$prefix"
}
