# The Windows Package Manager's manifests of a release's installer, which a maintainer submits to
# its catalogue: written by windows/winget.py into dist/winget/, validated against the published
# schemas in third-party/. The installer's address and the release's notes are where the forge
# publishes the release's files, below VELTRANE_REPOSITORY_URL. Sourced by scripts/release.
# shellcheck shell=bash disable=SC2154

winget_schemas=$root_dir/third-party/winget-manifest-schema-1.10.0
# Debian's Python, with the YAML and JSON-schema modules that scripts/release installs.
winget_py() { /usr/bin/python3 "$root_dir/windows/winget.py" "$@"; }

winget_begin() {
    ensure_packages python3-jsonschema python3-yaml
    [ -n "${VELTRANE_REPOSITORY_URL:-}" ] || die "set VELTRANE_REPOSITORY_URL, the forge's page of the" \
        "repository: the winget manifests name the installer and the release's notes below it"
}

# winget_manifests MSI DIR: the manifests of the installer MSI, written into DIR.
winget_manifests() {
    local repository=${VELTRANE_REPOSITORY_URL%/}
    rm -rf "$2"
    winget_py write "$2" --schemas "$winget_schemas" --msi "$1" --version "$version" \
        --date "$(sed -n 's/^## [0-9.]* (\([0-9-]*\))$/\1/p' "$root_dir/NEWS.md" | head -n 1)" \
        --homepage "$VELTRANE_HOMEPAGE" --installer-url "$repository/releases/download/$version/${1##*/}" \
        --notes-url "$repository/releases/tag/$version" --license "$root_dir/LICENSE" >/dev/null
}

# winget_says FIELD...: the installer manifest's values of these fields (Installers/0/InstallerSha256).
winget_says() {
    /usr/bin/python3 -c 'import sys, yaml
manifest = yaml.safe_load(open(sys.argv[1], encoding="utf-8"))
for path in sys.argv[2:]:
    value = manifest
    for key in path.split("/"):
        value = value[int(key) if key.isdigit() else key]
    print(value)' "$(find "$dist/winget" -name '*.installer.yaml')" "$@"
}
# msi_says PROPERTY...: the values the MSI's Property table gives them.
msi_says() {
    local property
    for property; do
        msiinfo export "$dist/veltrane-$version-win64.msi" Property | tr -d '\r' | sed -n "s/^$property\t//p"
    done
}
codes_match() {
    local manifest msi
    manifest=$(winget_says Installers/0/ProductCode AppsAndFeaturesEntries/0/ProductCode AppsAndFeaturesEntries/0/UpgradeCode) &&
        msi=$(msi_says ProductCode ProductCode UpgradeCode) && echo "$msi" | paste -sd' ' &&
        [ "$(grep -c '^{[0-9A-F-]*}$' <<<"$msi")" -eq 3 ] && [ "$manifest" = "$msi" ]
}
winget_refuses() {
    ! winget_py check "$@" 2>/dev/null
}

# winget_checks: the manifests in dist/winget against the schemas, and against the MSI they describe.
winget_checks() {
    local identifier
    check "the winget manifests pass the 1.10.0 schemas" winget_py check "$dist/winget" --schemas "$winget_schemas"
    # The schemas must catch a fault: an installer's SHA-256 one digit short.
    cp -r "$dist/winget" "$scratch/winget-cut"
    sed -i 's/^\(  InstallerSha256: [0-9A-F]*\)[0-9A-F]$/\1/' "$scratch/winget-cut"/*.installer.yaml
    check "they fail the schemas once the installer's SHA-256 is one digit short" \
        winget_refuses "$scratch/winget-cut" --schemas "$winget_schemas"
    check "their InstallerSha256 is the SHA-256 of dist/veltrane-$version-win64.msi" \
        test "$(winget_says Installers/0/InstallerSha256)" = "$(sha256sum "$dist/veltrane-$version-win64.msi" | cut -d' ' -f1 | tr a-f A-F)"
    check "their ProductCode and UpgradeCode are the ones the MSI carries" codes_match
    identifier=$(winget_says PackageIdentifier)
    check "the README names the package identifier, $identifier" grep -qF "\`winget install $identifier\`" "$root_dir/README.md"
}
