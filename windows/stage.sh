# The folder a Windows user unpacks or installs, as a zip and as an installer: the program, the
# Qt, ICU and compiler DLLs it loads, its plugins and their licences.
# shellcheck shell=bash disable=SC2154

# unresolved_dlls FOLDER [DIR...]: the DLLs that an .exe or .dll in FOLDER imports and that are
# neither beside it, at FOLDER's top nor in one of the DIRs, each once; Windows ignores case.
unresolved_dlls() {
    local folder=$1 file dll
    shift
    while IFS= read -r -d '' file; do
        for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
            [ -n "$(find "${file%/*}" "$folder" "$@" -maxdepth 1 -iname "$dll" -print -quit)" ] || echo "$dll"
        done
    done < <(find "$folder" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0) | sort -fu
}

# make_icon ICO: the program's icon for the installer, drawn from its SVG at the sizes Windows
# shows; the largest as PNG, as Windows takes it, the others as bitmaps.
make_icon() {
    local size
    for size in 16 24 32 48 256; do
        rsvg-convert -w "$size" -h "$size" -o "$scratch/icon-$size.png" "$root_dir/data/org.veltrane.Veltraner.svg"
    done
    icotool -c -o "$1" "$scratch"/icon-{16,24,32,48}.png -r "$scratch/icon-256.png"
}

# stage BUILD ZIP MSI: lays out, from BUILD, the folder a Windows user unpacks or installs beside
# the zip, named after it, and makes the zip, the installer's icon beside them and the installer.
stage() {
    local build=$1 folder=${2%.zip} copied=yes dll from deb package source_version
    rm -rf "${folder:?}"
    cmake --install "$build" --prefix "$folder" >/dev/null
    x86_64-w64-mingw32-strip "$folder/veltrane.exe"
    sign_file "$folder/veltrane.exe"
    mkdir -p "$folder/licenses/Qt" "$folder/licenses/ICU"
    (cd "$VELTRANE_WINDOWS_QT/plugins" && cp --parents platforms/qwindows.dll styles/qwindowsvistastyle.dll "$folder/")
    # Every DLL the program and its plugins load, and those these load, but for Windows' own: Qt's,
    # ICU's and the compiler's, the compiler's with the licence of the Debian package it comes from.
    while [ -n "$copied" ]; do
        copied=
        for dll in $(unresolved_dlls "$folder"); do
            from=$(find "${runtime_dirs[@]}" -maxdepth 1 -name "$dll" -print -quit)
            [ -n "$from" ] || continue
            cp "$from" "$folder/"
            copied=yes
            [[ "$from" != "$VELTRANE_WINDOWS_QT"/* && "$from" != "$VELTRANE_WINDOWS_ICU"/* ]] || continue
            # The compiler's runtime comes with its debugging information, Qt's and ICU's without.
            x86_64-w64-mingw32-strip --strip-debug "$folder/$dll"
            deb=$(dpkg-query -S "$from" | cut -d: -f1 | head -n 1)
            cp "/usr/share/doc/$deb/copyright" "$folder/licenses/$deb.copyright"
        done
    done
    cp "$VELTRANE_WINDOWS_QT"/licenses/* "$folder/licenses/Qt/"
    read -r package source_version <"$VELTRANE_WINDOWS_QT/debian-source"
    printf '%s\n' "Qt ${source_version%%+*}, built from the Debian source package $package $source_version, with every" \
        "patch of its series and these of our own, which the Veltraner sources keep under windows/patches/:" \
        "${qt_own_patches[@]##*/}" >"$folder/licenses/Qt/SOURCE.txt"
    cp "$VELTRANE_WINDOWS_ICU"/licenses/* "$folder/licenses/ICU/"
    read -r package source_version <"$VELTRANE_WINDOWS_ICU/debian-source"
    printf '%s\n' "ICU ${source_version%%-*}, built from the Debian source package $package $source_version, with every" \
        "patch of its series; its data holds only the converters that the program and Qt use, as" \
        "windows/icu.sh in the Veltraner sources lists them." >"$folder/licenses/ICU/SOURCE.txt"
    chmod -R u=rwX,go=rX "$folder"
    find "$folder" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
    # Sorted entries, one time and one mode for all, no extra attributes: the same folder gives the
    # same bytes. No folder around them: Windows' Extract All makes one, named after the zip.
    rm -f "$2"
    (cd "$folder" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | TZ=UTC zip -X -q -9 "$2" -@)
    make_icon "$folder.ico"
    make_msi "$folder" "$3" "$version"
    sign_file "$3"
}

# A code of the product's own, the same for the same name: Python's name-based UUID under the
# package's upgrade code.
upgrade_code=$(sed -n 's/.*UpgradeCode="\([0-9A-F-]*\)".*/\1/p' "$root_dir/windows/veltrane.wxs")
named_uuid() {
    python3 -c 'import sys, uuid; print(str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' \
        "$upgrade_code" "$1"
}

# wxs_files DIR: the Directory elements below DIR, relative to the folder, with a component for each
# file in them but the program, which windows/veltrane.wxs names itself. Ids are hashes of paths,
# so the same folder always gives the same text; wixl-heat's are random.
wxs_files() {
    local entry id
    while IFS= read -r -d '' entry; do
        id=$(printf '%s' "${entry#./}" | sha1sum | cut -c1-32)
        if [ -d "$entry" ]; then
            echo "<Directory Id=\"d$id\" Name=\"${entry##*/}\">"
            wxs_files "$entry"
            echo "</Directory>"
        elif [ "$entry" != ./veltrane.exe ]; then
            echo "<Component Id=\"c$id\" Guid=\"*\" Win64=\"yes\">"
            echo "<File Id=\"f$id\" KeyPath=\"yes\" Source=\"\$(var.SourceDir)/${entry#./}\"/></Component>"
        fi
    done < <(find "$1" -mindepth 1 -maxdepth 1 -print0 | LC_ALL=C sort -z)
}

# make_msi FOLDER OUT VERSION: the installer of the folder, windows/veltrane.wxs with the version,
# a product code of that version's own, the folder's files and the icon beside it.
make_msi() {
    local folder=$1 out=$2 version=$3 files
    files=$(cd "$folder" && wxs_files .)
    {
        echo '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi"><Fragment>'
        echo "<DirectoryRef Id=\"INSTALLDIR\">$files</DirectoryRef><ComponentGroup Id=\"ProgramFiles\">"
        sed -n 's/^<Component Id="\([^"]*\)".*/<ComponentRef Id="\1"\/>/p' <<<"$files"
        echo '</ComponentGroup></Fragment></Wix>'
    } >"$scratch/files.wxs"
    rm -f "$out"
    # wixl finds the files by paths relative to where it runs.
    (cd "$folder" && wixl -a x64 -D SourceDir=. -D Icon="../${folder##*/}.ico" -D Version="$version" \
        -D ProductCode="$(named_uuid "product $version")" -o "$out" \
        "$root_dir/windows/veltrane.wxs" "$scratch/files.wxs")
}

# msi_contents MSI DIR: its tables and streams, but for the summary's package code and times and
# the signature, which signs them. msidump writes binary columns, such as the icon's, below the
# folder it runs in.
msi_contents() {
    mkdir -p "$2"
    (cd "$2" && msidump -d . -t -s "$1" >/dev/null)
    rm -f "$2/_Streams/"*SummaryInformation "$2/_Streams/"*DigitalSignature*
    sed -i '/^\(9\|12\|13\)\t/d' "$2/_SummaryInformation.idt"
}

echo "== $zip_name.zip and $zip_name.msi"
stage "$build_dir" "$zip_file" "$msi_file"
unzip -l "$zip_file"
