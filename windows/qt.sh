# Qt 5.15 for 64-bit Windows, cross-built once from Debian's source package against ICU (icu.sh) and
# kept in the cache beside it. Sourced by scripts/windows after sources.sh and icu.sh.
# shellcheck shell=bash disable=SC2154

qt_source_package=qtbase-opensource-src
# The source the Windows program was last tested with, and the SHA-256 of its two archives, the
# .orig.tar.xz's first. A newer upload is built only as source_version allows.
qt_tested_version=5.15.15+dfsg-6+deb13u1
qt_tested_sha256="0710566cfa9d5d3b14f889cd60e02debd92bae2b831144460b1f952b096b7878  qtbase-opensource-src_5.15.15+dfsg.orig.tar.xz
a512e98926654c4586b064f1693b6af567dabc6ad108bdad03bb728296c642b0  qtbase-opensource-src_5.15.15+dfsg-6+deb13u1.debian.tar.xz"
# Debian's own patches, every one in its series, as Debian builds its Qt, and ours, each of which
# says at its head what it mends or shortens.
qt_own_patches=("$root_dir"/windows/patches/*.patch)

# Only what the program, its tests and its plugins need: widgets, the windows platform plugin and
# the Vista style, QtTest; ICU's converters as the codecs, as on Debian. Windows draws
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
    -icu -no-opengl -no-dbus -qt-zlib -qt-libpng -no-freetype -no-harfbuzz -qt-pcre
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

# qt_key VERSION ICU_VERSION: what the build depends on, hashed.
qt_key() {
    build_key "$1" "${qt_configure_options[@]}" "$(cat "${qt_own_patches[@]}")" "$(icu_abi "$2")"
}

# qt_for_windows ICU: prints the prefix of a complete Qt build against the ICU build at ICU, building
# it first when the cache has none, and removes every other Qt build from the cache. Once built, the
# tested version serves without asking the archive.
qt_for_windows() {
    local icu=$1 icu_version version=$qt_tested_version prefix work
    read -r _ icu_version <"$icu/debian-source"
    prefix="$windows_cache/qt-$version-$(qt_key "$version" "$icu_version")"
    if [ "${VELTRANE_NEWEST_SOURCES:-}" = 1 ] || [ ! -f "$prefix/.complete" ]; then
        version=$(source_version "$qt_source_package" "$qt_tested_version") || return 1
        prefix="$windows_cache/qt-$version-$(qt_key "$version" "$icu_version")"
    fi
    keep_only_build qt "$prefix"
    [ -f "$prefix/.complete" ] && { echo "$prefix"; return 0; }

    echo "windows: building Qt $version for Windows into $prefix (about twenty minutes on two cores)" >&2
    rm -rf "$prefix"
    work="$prefix.work"
    fetch_source "$qt_source_package" "$version" "$work" "$qt_tested_version" "$qt_tested_sha256" \
        "${qt_own_patches[@]}" || return 1
    (
        set -e
        mkdir -p "$work/build"
        cd "$work/build"
        cross_tools
        # Each compile faults in hundreds of megabytes of heap; in huge pages rather than 4 KiB
        # ones, the whole build takes about a tenth less CPU time.
        export GLIBC_TUNABLES=${GLIBC_TUNABLES:+$GLIBC_TUNABLES:}glibc.malloc.hugetlb=1
        # configure builds qmake with a plain make.
        MAKEFLAGS=-j$build_jobs "$work/src/configure" -prefix "$prefix" "${qt_configure_options[@]}" \
            -I "$icu/include" -L "$icu/lib"
        nice make -j"$build_jobs"
        make install
        # Qt's CMake files look for the tools beside qmake.
        ln -sf "$qt_host_tools/moc" "$qt_host_tools/rcc" "$qt_host_tools/uic" "$prefix/bin/"
    ) >"$work/build.log" 2>&1 || { build_failed Qt "$work/build.log"; return 1; }
    # What the zip must carry beside Qt's DLLs: its licences, and where its source comes from.
    mkdir -p "$prefix/licenses"
    cp "$work"/src/LICENSE.{LGPL3,LGPLv3,GPL2,GPL3,GPL3-EXCEPT} "$prefix/licenses/"
    cp "$work/src/debian/copyright" "$prefix/licenses/debian-copyright"
    echo "$qt_source_package $version" >"$prefix/debian-source"
    touch "$prefix/.complete"
    rm -rf "$work"
    echo "$prefix"
}
