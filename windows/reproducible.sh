# A second build of the same sources in another folder must give the same zip, and an installer
# that differs only where wixl writes the clock into it: the package code and two times. The second
# build's zip and installer stay in build-windows/ as second-build.zip and .msi for a look.
# shellcheck shell=bash disable=SC2154

echo "== a second build in another folder"
copy_sources "$scratch/sources"
(cd "$scratch/sources" && cmake --preset windows -DBUILD_TESTING=OFF && cmake --build --preset windows) >/dev/null
configured_against_qt "$scratch/sources/build-windows"
stage "$scratch/sources/build-windows" "$build_dir/second-build.zip" "$build_dir/second-build.msi"

msi_contents "$msi_file" "$scratch/first-msi"
msi_contents "$build_dir/second-build.msi" "$scratch/second-msi"
check "a second build in another folder gives the same zip, byte for byte" cmp "$zip_file" "$build_dir/second-build.zip"
check "a second build gives an installer that differs only in its package code and times" \
    diff -r "$scratch/first-msi" "$scratch/second-msi"
