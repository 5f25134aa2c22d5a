# Authenticode signatures, made with osslsigncode when a release's keys are in the environment:
# VELTRANE_SIGN_CERT (the certificate chain, PEM) with either VELTRANE_SIGN_KEY (a PEM key) or a
# hardware key, VELTRANE_SIGN_PKCS11_MODULE and VELTRANE_SIGN_PKCS11_KEY (its PKCS#11 URI); and
# VELTRANE_TIMESTAMP_URL, an RFC 3161 server, when there is one. Sourced before windows/stage.sh,
# which signs the program before it zips it and the installer once it is made, in both builds that
# windows/reproducible.sh compares.
# shellcheck shell=bash disable=SC2154

# The signing time is the release's date, at noon UTC as in the Debian changelog, so that one key
# gives the same signature twice; a server's time stamp makes every signature a new one.
signing_time=$(date -u -d "$(sed -n 's/^## [0-9.]* (\([0-9-]*\))$/\1/p' "$root_dir/NEWS.md" | head -n 1) 12:00" +%s)

signing_keys() { [ -n "${VELTRANE_SIGN_CERT:-}" ]; }

sign_file() {
    signing_keys || return 0
    local key=(-key "${VELTRANE_SIGN_KEY:-}") stamp=(-time "$signing_time")
    if [ -n "${VELTRANE_SIGN_PKCS11_MODULE:-}" ]; then
        key=(-pkcs11module "$VELTRANE_SIGN_PKCS11_MODULE" -key "${VELTRANE_SIGN_PKCS11_KEY:?}")
    fi
    [ -z "${VELTRANE_TIMESTAMP_URL:-}" ] || stamp+=(-ts "$VELTRANE_TIMESTAMP_URL")
    rm -f "$1.signed"
    osslsigncode sign -certs "$VELTRANE_SIGN_CERT" "${key[@]}" -h sha256 -n Veltraner \
        ${VELTRANE_HOMEPAGE:+-i "$VELTRANE_HOMEPAGE"} "${stamp[@]}" -in "$1" -out "$1.signed" >/dev/null
    chmod --reference="$1" "$1.signed"
    mv "$1.signed" "$1"
}
