# A second build of the same sources in another folder must give the same zip, and an installer
# that differs only where wixl writes the clock into it: the package code and two times. What
# differs stays in build-windows/ for a look.
# shellcheck shell=bash disable=SC2154

echo "== a second build in another folder"
copy_sources "$scratch/sources"
(cd "$scratch/sources" && cmake --preset windows -DBUILD_TESTING=OFF && cmake --build --preset windows) >/dev/null
configured_against_qt "$scratch/sources/build-windows"
stage "$scratch/sources/build-windows" "$scratch/second-build.zip" "$scratch/second-build.msi"

# msi_contents MSI DIR: its tables and streams, but for the summary's package code and times.
msi_contents() {
    mkdir -p "$2"
    msidump -d "$2" -t -s "$1" >/dev/null
    rm -f "$2/_Streams/"*SummaryInformation
    sed -i '/^\(9\|12\|13\)\t/d' "$2/_SummaryInformation.idt"
}
# kept COMMAND...: the command's status; when it fails, the second build's zip and installer stay.
kept() {
    "$@" >&2 && return 0
    cp "$scratch"/second-build.{zip,msi} "$build_dir/"
    echo "the second build's zip and installer are kept in $build_dir" >&2
    return 1
}
msi_contents "$msi_file" "$scratch/first-msi"
msi_contents "$scratch/second-build.msi" "$scratch/second-msi"
check "a second build in another folder gives the same zip, byte for byte" kept cmp "$zip_file" "$scratch/second-build.zip"
check "a second build gives an installer that differs only in its package code and times" \
    kept diff -r "$scratch/first-msi" "$scratch/second-msi"
