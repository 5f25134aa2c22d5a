# A second build of the same sources in another folder must give the same zip, and an installer
# that differs only where wixl writes the clock into it: the package code and two times. The second
# build's zip and installer stay in build-windows/ as second-build.zip and .msi for a look.
# shellcheck shell=bash disable=SC2154

echo "== a second build in another folder"
# Signed, the second build's program must be the first's without its signature, and then takes the
# first's signature, so that the zips compare whole though a time stamp makes each signature anew;
# its installer is left unsigned.
sign_file() {
    [[ $1 == *.exe ]] && signing_keys || return 0
    unzip -p "$zip_file" veltrane.exe >"$scratch/first.exe"
    osslsigncode remove-signature -in "$scratch/first.exe" -out "$scratch/first-unsigned.exe" >/dev/null
    ! cmp -s "$scratch/first-unsigned.exe" "$1" || cp "$scratch/first.exe" "$1"
}
copy_sources "$scratch/sources"
(cd "$scratch/sources" && cmake --preset windows -DBUILD_TESTING=OFF && cmake --build --preset windows) >/dev/null
configured_against_qt "$scratch/sources/build-windows"
stage "$scratch/sources/build-windows" "$build_dir/second-build.zip" "$build_dir/second-build.msi"

msi_contents "$msi_file" "$scratch/first-msi"
msi_contents "$build_dir/second-build.msi" "$scratch/second-msi"
check "a second build in another folder gives the same zip, byte for byte" cmp "$zip_file" "$build_dir/second-build.zip"
check "a second build gives an installer that differs only in its package code and times" \
    diff -r "$scratch/first-msi" "$scratch/second-msi"
