# Qt 5.15 for 64-bit Windows, cross-built once from Debian's source package and kept in a cache
# outside the clone: VELTRANE_WINDOWS_CACHE, else ~/.cache/veltrane-windows. Each Qt build lands in a
# folder named after what went into it, so a new source version, patch or configure line builds
# anew and never reuses a build that does not match. Sourced by scripts/windows after common.sh.
# shellcheck shell=bash disable=SC2154

windows_cache=${VELTRANE_WINDOWS_CACHE:-$(cache_dir veltrane-windows)}

qt_source_package=qtbase-opensource-src
# The source the Windows program was last tested with, and the SHA-256 of its two archives, the
# .orig.tar.xz's first. A newer upload is built only when VELTRANE_QT_NEWEST=1 asks for it; the
# newest when the named one is gone.
qt_tested_version=5.15.15+dfsg-6+deb13u1
qt_tested_sha256="0710566cfa9d5d3b14f889cd60e02debd92bae2b831144460b1f952b096b7878  qtbase-opensource-src_5.15.15+dfsg.orig.tar.xz
a512e98926654c4586b064f1693b6af567dabc6ad108bdad03bb728296c642b0  qtbase-opensource-src_5.15.15+dfsg-6+deb13u1.debian.tar.xz"
# Debian's own patches, every one in its series, as Debian builds its Qt, and ours, each of which
# says at its head what it mends or shortens.
qt_own_patches=("$root_dir"/windows/patches/*.patch)

# Only what the program, its tests and its plugins need: widgets, the windows platform plugin and
# the Vista style, QtTest; QtCore's own codecs rather than ICU, which Windows lacks. Windows draws
# text itself, so no FreeType, and QtGui's own shaper serves in place of HarfBuzz; no widgets,
# dialogs or documents the program never opens. All this keeps a build from an empty cache short.
# Debian's repacked source has no wintab headers, hence no tablet events. The host tools are
# Debian's own: moc's output carries a revision that every Qt 5.15 shares, and the code it
# generates checks it.
qt_host_tools=/usr/lib/qt5/bin
qt_configure_options=(
    -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32-
    -external-hostbindir "$qt_host_tools"
    -release -shared -opensource -confirm-license -nomake examples -nomake tests
    -no-icu -no-opengl -no-dbus -qt-zlib -qt-libpng -no-freetype -no-harfbuzz -qt-pcre
    -no-libjpeg -no-gif -no-ico -no-direct2d -no-feature-sql -no-feature-network -no-feature-xml
    -no-feature-concurrent -no-feature-printer -no-feature-tabletevent -no-feature-pdf
    -no-feature-graphicsview -no-feature-mdiarea -no-feature-calendarwidget
    -no-feature-colordialog -no-feature-fontdialog -no-feature-filedialog -no-feature-wizard
    -no-feature-style-stylesheet -no-feature-movie -no-feature-textodfwriter
    -no-feature-textmarkdownreader -no-feature-textmarkdownwriter -no-feature-statemachine
    -no-feature-undocommand -no-feature-fontcombobox -no-feature-keysequenceedit
    -no-feature-lcdnumber -no-feature-dial -no-feature-splashscreen -no-feature-commandlinkbutton
    -no-feature-datawidgetmapper -no-feature-progressdialog -no-feature-errormessage
    -no-feature-columnview -no-feature-toolbox -no-feature-syntaxhighlighter
    -no-feature-systemtrayicon
)

# Debian 12's and 13's source lists, with their security updates, live in the cache, so that the
# machine's own apt sources stay untouched.
qt_apt=(-q -o Dir::Etc::sourcelist="$windows_cache/apt/sources.list" -o Dir::Etc::sourceparts=-
    -o Dir::State::Lists="$windows_cache/apt/lists" -o Dir::Cache="$windows_cache/apt/cache")

# qt_key VERSION: what the build depends on, hashed.
qt_key() {
    {
        echo "$1"
        printf '%s\n' "${qt_configure_options[@]}"
        cat "${qt_own_patches[@]}"
        x86_64-w64-mingw32-g++-posix --version | head -n 1
    } | sha256sum | cut -c1-12
}

# qt_served: the versions of the source package that those lists hold; fails when the archive is
# out of reach.
qt_served() {
    local mirror
    mirror=$(debian_mirror)
    mkdir -p "$windows_cache/apt/lists/partial" "$windows_cache/apt/cache/archives/partial"
    printf 'deb-src %s main\n' "$mirror bookworm" "$mirror-security bookworm-security" "$mirror trixie" \
        "$mirror-security trixie-security" >"$windows_cache/apt/sources.list"
    apt-get "${qt_apt[@]}" update >"$windows_cache/apt/update.log" 2>&1 &&
        apt-cache "${qt_apt[@]}" showsrc --only-source "$qt_source_package" | sed -n 's/^Version: //p'
}

# qt_fetch_source VERSION WORK: the source package of VERSION unpacked in WORK/src, Debian's
# packaging in WORK/src/debian, and every patch applied, its archives checked against the tested ones
# when it is that version.
qt_fetch_source() (
    local version=$1 work=$2 patch
    mkdir -p "$work/download"
    cd "$work/download" || return 1
    apt-get "${qt_apt[@]}" source --download-only "$qt_source_package=$version" >&2 || return 1
    if [ "$version" = "$qt_tested_version" ]; then
        sha256sum --quiet --strict -c <<<"$qt_tested_sha256" >&2 ||
            { echo "windows: the archives are not those Qt $version was tested with" >&2; return 1; }
    fi
    # Unpacks both archives and applies Debian's series, checking the archives against the .dsc.
    dpkg-source -x ./*.dsc "$work/src" >&2 || return 1
    for patch in "${qt_own_patches[@]}"; do
        patch -d "$work/src" -p1 --forward --batch --quiet <"$patch" >&2 ||
            { echo "windows: $patch does not apply" >&2; return 1; }
    done
)

# Prints the prefix of a complete Qt build, building it first when the cache has none, and removes
# every other build from the cache. Once built, the tested version serves without asking the archive.
qt_for_windows() {
    local version=$qt_tested_version served candidate newest=0 prefix work tool
    prefix="$windows_cache/qt-$version-$(qt_key "$version")"
    if [ "${VELTRANE_QT_NEWEST:-}" = 1 ] || [ ! -f "$prefix/.complete" ]; then
        served=$(qt_served) || { echo "windows: Debian's sources are out of reach" >&2; return 1; }
        for candidate in $served; do
            dpkg --compare-versions "$candidate" le "$newest" || newest=$candidate
        done
        if [ "${VELTRANE_QT_NEWEST:-}" = 1 ] || ! grep -qxF "$version" <<<"$served"; then
            version=$newest
            prefix="$windows_cache/qt-$version-$(qt_key "$version")"
        fi
        [ "$version" = "$qt_tested_version" ] ||
            echo "windows: Qt $version, the newest Debian serves, rather than the tested $qt_tested_version" >&2
    fi
    find "$windows_cache" -mindepth 1 -maxdepth 1 -name 'qt-*' ! -path "$prefix" \
        -printf 'windows: removing %p, which no longer matches\n' -exec rm -rf {} + >&2
    [ -f "$prefix/.complete" ] && { echo "$prefix"; return 0; }

    echo "windows: building Qt $version for Windows into $prefix (about twenty minutes on two cores)" >&2
    rm -rf "$prefix"
    work="$prefix.work"
    qt_fetch_source "$version" "$work" || return 1
    # The cross compiler under its plain names, whatever alternative the machine has chosen: Qt's
    # threads need the posix thread model.
    mkdir -p "$work/build" "$windows_cache/cross-bin"
    for tool in gcc g++ c++ cpp gcc-ar gcc-nm gcc-ranlib; do
        ln -sf "/usr/bin/x86_64-w64-mingw32-$tool-posix" "$windows_cache/cross-bin/x86_64-w64-mingw32-$tool"
    done
    (
        cd "$work/build"
        export PATH="$windows_cache/cross-bin:$PATH"
        # Each compile faults in hundreds of megabytes of heap; in huge pages rather than 4 KiB
        # ones, the whole build takes about a tenth less CPU time.
        export GLIBC_TUNABLES=${GLIBC_TUNABLES:+$GLIBC_TUNABLES:}glibc.malloc.hugetlb=1
        # configure builds qmake with a plain make.
        MAKEFLAGS=-j$build_jobs "$work/src/configure" -prefix "$prefix" "${qt_configure_options[@]}"
        nice make -j"$build_jobs"
        make install
        # Qt's CMake files look for the tools beside qmake.
        ln -sf "$qt_host_tools/moc" "$qt_host_tools/rcc" "$qt_host_tools/uic" "$prefix/bin/"
    ) >"$work/build.log" 2>&1 || {
        tail -n 40 "$work/build.log" >&2
        echo "windows: the Qt build failed; its log is $work/build.log" >&2
        return 1
    }
    # What the zip must carry beside Qt's DLLs: its licences, and where its source comes from.
    mkdir -p "$prefix/licenses"
    cp "$work"/src/LICENSE.{LGPL3,LGPLv3,GPL2,GPL3,GPL3-EXCEPT} "$prefix/licenses/"
    cp "$work/src/debian/copyright" "$prefix/licenses/debian-copyright"
    echo "$qt_source_package $version" >"$prefix/debian-source"
    touch "$prefix/.complete"
    rm -rf "$work"
    echo "$prefix"
}
