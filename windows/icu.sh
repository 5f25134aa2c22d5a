# ICU for 64-bit Windows, so that Qt's codecs there are the very converters Debian's Qt uses: Debian
# 12's ICU, as the published Windows files are built on Debian 12, with Debian's patches, cross-built
# once into the cache beside Qt. Sourced by scripts/windows after sources.sh.
# shellcheck shell=bash disable=SC2154

icu_source_package=icu
# The source the Windows program was last tested with, and the SHA-256 of its two archives, the
# .orig.tar.gz's first. Another upload of the same ICU is built only as source_version allows.
icu_tested_version=72.1-3+deb12u1
icu_tested_sha256="a2d2d38217092a7ed56635e34467f92f976b370e20182ad325edea6681a71d68  icu_72.1.orig.tar.gz
bd6b27fc0a18f6044a47cd96c7d687720b95e4f592718bf8e34c6391b7753a1d  icu_72.1-3+deb12u1.debian.tar.xz"

# The libraries Qt links, and nothing else; the host's own ICU tools (icu-devtools) package the data,
# where ICU's build would make a native build of its own for them.
icu_configure_options=(--host=x86_64-w64-mingw32 --enable-release --disable-debug --disable-static
    --enable-shared --disable-tools --disable-tests --disable-samples --disable-extras --disable-layoutex
    --disable-icuio --with-data-packaging=library)

# The data cut to what the program reaches, about 0.7 MB of ICU's 31: the alias table through which
# Qt finds a converter by name, the eight encodings' converters (with the base tables that some
# extend) and those of Windows' ANSI code pages, one of which ICU opens when Qt asks for the
# locale's codec; without it ICU would quietly take US-ASCII instead. The encodings: GBK is
# windows-936-2000 on ibm-1386; EUC-JP euc-jp-2007; Shift-JIS ibm-943, which ISO-2022-JP loads for
# JIS X 0208; Big5 windows-950-2000 on ibm-1373; EUC-KR, for which Qt asks for windows-949,
# windows-949-2000 on ibm-1363. UTF-8 and UTF-16 are Qt's own. The code pages: 874, 932 (ibm-943),
# 936, 949, 950 and 1250 to 1258 (ibm-5346 to 5350, 9447 to 9449 and 5354).
icu_data=(cnvalias.icu
    windows-936-2000.cnv ibm-1386_P100-2001.cnv euc-jp-2007.cnv ibm-943_P15A-2003.cnv
    windows-950-2000.cnv ibm-1373_P100-2002.cnv windows-949-2000.cnv ibm-1363_P11B-1998.cnv
    windows-874-2000.cnv ibm-5346_P100-1998.cnv ibm-5347_P100-1998.cnv ibm-5348_P100-1997.cnv
    ibm-5349_P100-1998.cnv ibm-5350_P100-1998.cnv ibm-9447_P100-2002.cnv ibm-9448_X100-2005.cnv
    ibm-9449_P100-2002.cnv ibm-5354_P100-1998.cnv)

# icu_abi VERSION: what a build that links ICU depends on: not the data, which ICU loads at run time.
icu_abi() {
    printf '%s\n' "icu $1" "${icu_configure_options[@]}"
}

# Prints the prefix of a complete ICU build, building it first when the cache has none, and removes
# every other ICU build from the cache. Once built, the tested version serves without asking the
# archive.
icu_for_windows() {
    local version=$icu_tested_version prefix work tool dat
    prefix="$windows_cache/icu-$version-$(build_key "$(icu_abi "$version")" "${icu_data[@]}")"
    if [ "${VELTRANE_NEWEST_SOURCES:-}" = 1 ] || [ ! -f "$prefix/.complete" ]; then
        version=$(source_version "$icu_source_package" "$icu_tested_version" "${icu_tested_version%%-*}-") || return 1
        prefix="$windows_cache/icu-$version-$(build_key "$(icu_abi "$version")" "${icu_data[@]}")"
    fi
    keep_only_build icu "$prefix"
    [ -f "$prefix/.complete" ] && { echo "$prefix"; return 0; }

    echo "windows: building ICU $version for Windows into $prefix (about three minutes on two cores)" >&2
    rm -rf "$prefix"
    work="$prefix.work"
    fetch_source "$icu_source_package" "$version" "$work" "$icu_tested_version" "$icu_tested_sha256" || return 1
    (
        set -e
        # ICU's cross build takes its tools from a native build's folder, as its config/icucross.mk
        # names them; the host's tools serve in their stead.
        mkdir -p "$work/host/bin" "$work/host/config" "$work/data" "$work/build"
        for tool in icupkg pkgdata genccode gencmn; do
            ln -s "$(PATH=/usr/sbin:/usr/bin command -v "$tool")" "$work/host/bin/$tool"
        done
        # shellcheck disable=SC2016 # make expands them
        printf '%s\n' 'TOOLEXEEXT=' 'TOOLBINDIR=$(cross_buildroot)/bin' 'TOOLLIBDIR=' 'INVOKE=' 'PKGDATA_INVOKE=' \
            >"$work/host/config/icucross.mk"
        # shellcheck disable=SC2016
        printf '%s\n' "CURR_FULL_DIR?=\$(shell pwd | sed 's/ /\\\\ /g')" >"$work/host/config/icucross.inc"

        # The data archive that the build packages, cut down.
        dat=$(find "$work/src/source/data/in" -name 'icudt*l.dat')
        printf '%s\n' "${icu_data[@]}" >"$work/data/items.txt"
        "$work/host/bin/icupkg" -d "$work/data" -x "$work/data/items.txt" "$dat"
        "$work/host/bin/icupkg" -s "$work/data" -a "$work/data/items.txt" new "$work/data/${dat##*/}"
        mv "$work/data/${dat##*/}" "$dat"

        cd "$work/build"
        cross_tools
        "$work/src/source/configure" --prefix="$prefix" --with-cross-build="$work/host" \
            "${icu_configure_options[@]}" CC=x86_64-w64-mingw32-gcc CXX=x86_64-w64-mingw32-g++
        nice make -j"$build_jobs"
        make install
        x86_64-w64-mingw32-strip --strip-unneeded "$prefix"/bin/*.dll
    ) >"$work/build.log" 2>&1 || { build_failed ICU "$work/build.log"; return 1; }
    # What the zip must carry beside ICU's DLLs: its licence, and where its source comes from.
    mkdir -p "$prefix/licenses"
    cp "$work/src/LICENSE" "$prefix/licenses/LICENSE"
    cp "$work/src/debian/copyright" "$prefix/licenses/debian-copyright"
    echo "$icu_source_package $version" >"$prefix/debian-source"
    touch "$prefix/.complete"
    rm -rf "$work"
    echo "$prefix"
}
