# The apt repository through which the releases' Debian packages reach the machines they are
# installed on: a suite for each Debian release (its codename), the component main, every version
# ever released, its indices written by apt-ftparchive and signed by the release key. A release reads
# the repository published before it through apt, as a user's machine does, so that apt vouches for
# what it builds on, and adds its own packages to it. Sourced by scripts/release.
# shellcheck shell=bash disable=SC2154

# The codenames of the Debian releases that scripts/release builds packages for.
apt_suites=(bookworm trixie)
apt_component=main
# apt refuses a repository whose Origin, Label or Codename changes between two updates.
apt_origin=Veltraner

# apt_private DIR: apt_options, for an apt of its own in DIR that reads only the sources in
# DIR/sources and trusts only the key each of them names; this machine's proxy settings still hold.
apt_private() {
    mkdir -p "$1/sources" "$1/keyrings" "$1/state/lists/partial" "$1/cache/archives/partial"
    : >"$1/status"
    apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$1/sources"
        -o Dir::Etc::Trusted=/dev/null -o "Dir::Etc::TrustedParts=$1/keyrings" -o "Dir::State=$1/state"
        -o "Dir::State::status=$1/status" -o "Dir::Cache=$1/cache" -o Debug::NoLocking=true
        -o APT::Sandbox::User=root)
}

# apt_export_key: apt_key, the public part of VELTRANE_GPG_KEY, which apt checks a repository against.
apt_export_key() {
    apt_key=$scratch/apt-key-$VELTRANE_GPG_KEY.asc
    gpg --batch --armor --export "$VELTRANE_GPG_KEY" >"$apt_key"
}

# apt_new DIR [URL]: an empty repository in DIR, the start of one, read from URL if given. One being
# made is DIR/pool with the packages and DIR/SUITE.files naming each suite's.
apt_new() {
    local suite
    rm -rf "$1"
    mkdir -p "$1/pool"
    echo "the apt repository ${2:+at $2}" >"$1/name"
    for suite in "${apt_suites[@]}"; do : >"$1/$suite.files"; done
}

apt_pool_path() {
    echo "pool/$apt_component/${1:0:1}/$1/${1}_${2}_$3.deb"
}

# apt_architectures DIR SUITE: the architectures of the suite's packages in the repository in DIR.
apt_architectures() {
    sed 's/.*_\([^_]*\)\.deb$/\1/' "$1/$2.files" | LC_ALL=C sort -u | paste -sd' '
}

# apt_read URL DIR: the repository published at URL, read into DIR through apt with the release key
# alone. Stops the release when apt refuses a suite, as it refuses one that another key signed, or
# when URL holds none of the suites; a suite that is not there yet starts with this release.
apt_read() {
    local url=$1 dir=$2 suite apt log architectures architecture index read=0 package version arch
    apt_new "$dir" "$url"
    for suite in "${apt_suites[@]}"; do
        apt=$dir/apt-$suite
        log=$apt/apt.log
        apt_private "$apt"
        printf '%s\n' "Types: deb" "URIs: $url" "Suites: $suite" "Components: $apt_component" \
            "Signed-By: $apt_key" >"$apt/sources/published.sources"
        if ! apt-get "${apt_options[@]}" --error-on=any update >"$log" 2>&1; then
            if grep -q 'does not have a Release file' "$log" &&
                ! grep '^E: ' "$log" | grep -qv 'does not have a Release file'; then
                continue
            fi
            die "the apt repository at $url is not signed by the release key $VELTRANE_GPG_KEY, or" \
                "cannot be read ($suite); apt says:"$'\n'"$(grep -E '^(E|W|Err):|^  ' "$log")"
        fi
        # Each architecture that the suite holds, as its Release file names them.
        read -ra architectures <<<"$(sed -n 's/^Architectures: //p' "$apt"/state/lists/*Release)"
        for architecture in "${architectures[@]}"; do
            apt_options+=(-o "APT::Architectures::=$architecture")
        done
        apt-get "${apt_options[@]}" --error-on=any update >>"$log" 2>&1 ||
            die "apt cannot read the apt repository at $url ($suite) for every architecture; see $log"
        mkdir -p "$dir/fetched"
        # shellcheck disable=SC2016 # apt's own placeholder
        while read -r package version arch; do
            (cd "$dir/fetched" && apt-get "${apt_options[@]}" download "$package:$arch=$version") >>"$log" 2>&1 ||
                die "apt cannot fetch $package $version ($arch) from the apt repository at $url; see $log"
            index=$(apt_pool_path "$package" "$version" "$arch")
            mkdir -p "$dir/${index%/*}"
            mv "$dir"/fetched/*.deb "$dir/$index"
            echo "$index" >>"$dir/$suite.files"
        done < <(apt-get "${apt_options[@]}" indextargets --format '$(FILENAME)' 'Identifier: Packages' |
            while read -r index; do /usr/lib/apt/apt-helper cat-file "$index"; done |
            awk '/^Package:/ { p = $2 } /^Version:/ { v = $2 } /^Architecture:/ { a = $2 }
                 /^$/ && p { print p, v, a; p = "" } END { if (p) print p, v, a }')
        read=$((read + 1))
    done
    [ "$read" -gt 0 ] || die "there is no apt repository at $url: none of ${apt_suites[*]} has a Release" \
        "file there. The first release starts one: VELTRANE_APT_PREVIOUS=none"
}

# apt_refuse_held DIR PACKAGE VERSION: stops the release when the repository in DIR holds that
# version of the package, VERSION a glob.
apt_refuse_held() {
    local held
    held=$(cd "$1" && find pool -name "${2}_${3}_*.deb" -print -quit)
    [ -z "$held" ] || die "$(cat "$1/name") already holds $held: a version is" \
        "published once, so a new release needs a new version in project() and NEWS.md"
}

# apt_add DIR SUITE DEB: adds the package to the suite of the repository in DIR.
apt_add() {
    local package version arch path
    [[ " ${apt_suites[*]} " == *" $2 "* ]] || die "$2 is not one of the apt repository's suites, apt_suites"
    # shellcheck disable=SC2016 # dpkg's own placeholders
    read -r package version arch < <(dpkg-deb -W --showformat='${Package} ${Version} ${Architecture}\n' "$3")
    path=$(apt_pool_path "$package" "$version" "$arch")
    [ ! -e "$1/$path" ] || apt_refuse_held "$1" "$package" "$version"
    mkdir -p "$1/${path%/*}"
    cp "$3" "$1/$path"
    echo "$path" >>"$1/$2.files"
}

# apt_write DIR OUT: the repository in DIR as apt reads it, in OUT: the pool, each suite's indices
# and their Release file, signed inline (InRelease) and apart (Release.gpg) with VELTRANE_GPG_KEY.
# By-hash copies of the indices let apt read a suite while a newer one replaces it.
apt_write() {
    local dir=$1 out=$2 work=$2.work suite architectures arch
    local hashes=(-o APT::FTPArchive::MD5=false -o APT::FTPArchive::SHA1=false)
    rm -rf "$out" "$work"
    mkdir -p "$out" "$work"
    cp -r "$dir/pool" "$out/"
    {
        # The packages' cache is the run's own: apt-ftparchive keeps it in the current folder otherwise,
        # and takes a package from it by its path alone.
        echo "Dir { ArchiveDir \"$out\"; FileListDir \"$work\"; CacheDir \"$work\"; };"
        echo 'Default { Packages::Compress ". gzip xz"; };'
        for suite in "${apt_suites[@]}"; do
            [ -s "$dir/$suite.files" ] || continue
            architectures=$(apt_architectures "$dir" "$suite")
            for arch in $architectures; do
                grep "_$arch\.deb$" "$dir/$suite.files" | LC_ALL=C sort >"$work/$suite-$arch"
                mkdir -p "$out/dists/$suite/$apt_component/binary-$arch"
            done
            echo "Tree \"dists/$suite\" { Sections \"$apt_component\"; Architectures \"$architectures\";" \
                "FileList \"$suite-\$(ARCH)\"; };"
        done
    } >"$work/generate.conf"
    # apt-ftparchive reports a file it cannot write, but does not fail.
    if ! apt-ftparchive -q=2 --no-contents "${hashes[@]}" generate "$work/generate.conf" >"$work/generate.log" 2>&1 ||
        grep -q '^[EW]: ' "$work/generate.log"; then
        cat "$work/generate.log" >&2
        die "apt-ftparchive could not write the indices"
    fi
    for suite in "${apt_suites[@]}"; do
        [ -s "$dir/$suite.files" ] || continue
        apt-ftparchive "${hashes[@]}" -o APT::FTPArchive::DoByHash=true \
            -o "APT::FTPArchive::Release::Origin=$apt_origin" -o "APT::FTPArchive::Release::Label=$apt_origin" \
            -o "APT::FTPArchive::Release::Suite=$suite" -o "APT::FTPArchive::Release::Codename=$suite" \
            -o "APT::FTPArchive::Release::Components=$apt_component" \
            -o "APT::FTPArchive::Release::Architectures=$(apt_architectures "$dir" "$suite")" \
            release "$out/dists/$suite" >"$work/Release"
        mv "$work/Release" "$out/dists/$suite/Release"
        gpg --batch --yes --no-auto-check-trustdb --local-user "$VELTRANE_GPG_KEY" --digest-algo SHA512 --clearsign \
            --output "$out/dists/$suite/InRelease" "$out/dists/$suite/Release"
        gpg --batch --yes --no-auto-check-trustdb --local-user "$VELTRANE_GPG_KEY" --digest-algo SHA512 --armor --detach-sign \
            --output "$out/dists/$suite/Release.gpg" "$out/dists/$suite/Release"
    done
    rm -rf "$work"
}

# apt_begin DIR: the repository that this release's packages join, in DIR: the one published at
# VELTRANE_APT_PREVIOUS, or with "none" a new one. Stops the release when it holds this version.
apt_begin() {
    if [ "$VELTRANE_APT_PREVIOUS" = none ]; then
        apt_new "$1"
    else
        apt_read "$VELTRANE_APT_PREVIOUS" "$1"
    fi
    apt_refuse_held "$1" veltrane "${version}[+]*"
}

# apt_release_begin: apt_repository, where this release's packages join the repository published so
# far; none without an OpenPGP key to sign it. --check starts a new one unless told otherwise.
apt_release_begin() {
    apt_repository=''
    if [ -z "${VELTRANE_GPG_KEY:-}" ]; then
        echo "release: no OpenPGP key, so no apt repository"
        return 0
    fi
    [ -z "$check_mode" ] || : "${VELTRANE_APT_PREVIOUS:=none}"
    [ -n "${VELTRANE_APT_PREVIOUS:-}" ] || die "set VELTRANE_APT_PREVIOUS to the address of the apt" \
        "repository published so far, or to none for the first release"
    ensure_packages apt-utils
    apt_export_key
    apt_repository=$scratch/apt
    echo "== the apt repository published so far: $VELTRANE_APT_PREVIOUS"
    apt_begin "$apt_repository"
}

# The checks of scripts/release. apt_repack DEB VERSION OUT: the package as another version, the
# stand-in for a later release's.
apt_repack() {
    rm -rf "$scratch/repack"
    dpkg-deb -R "$1" "$scratch/repack"
    sed -i "s/^Version: .*/Version: $2/" "$scratch/repack/DEBIAN/control"
    dpkg-deb --root-owner-group -b "$scratch/repack" "$3" >/dev/null
}

# apt_serve: an HTTP server on 127.0.0.1 for the rest of the run, serving what the link
# $scratch/www/apt points to at $apt_url.
apt_serve() {
    local log=$scratch/http.log
    mkdir -p "$scratch/www"
    /usr/bin/python3 -u -m http.server --bind 127.0.0.1 --directory "$scratch/www" 0 >"$log" 2>&1 &
    on_exit "kill $! 2>/dev/null || true"
    wait_for grep -q '^Serving HTTP' "$log" || die "the HTTP server for the apt repository did not start"
    apt_url=http://127.0.0.1:$(sed -n 's/^Serving HTTP on [0-9.]* port \([0-9]*\) .*/\1/p' "$log")/apt/
}
# apt_serving DIR: serves DIR from now on. Its files become newer than any served before, as a new
# upload's are: the server answers apt's If-Modified-Since by the files' times, to the second.
apt_serving() {
    apt_served=$((${apt_served:-0} + 1))
    find "$1" -type f -exec touch -d "@$(($(date +%s) + apt_served))" {} +
    ln -sfn "$1" "$scratch/www/apt"
}

# apt_holds OUT DIR: apt reads the repository in OUT with the release key, and it holds exactly the
# packages of the one made in DIR, byte for byte.
apt_holds() {
    local suite path
    (apt_read "file://$1" "$scratch/apt-read") || return 1
    for suite in "${apt_suites[@]}"; do
        diff <(LC_ALL=C sort "$2/$suite.files") <(LC_ALL=C sort "$scratch/apt-read/$suite.files") || return 1
        while read -r path; do cmp "$2/$path" "$scratch/apt-read/$path" || return 1; done <"$2/$suite.files"
    done
}

# stops_saying MESSAGE COMMAND...: the command fails, saying MESSAGE.
stops_saying() {
    local said status=0
    said=$("${@:2}" 2>&1) || status=$?
    printf '    %s\n' "${said//$'\n'/$'\n    '}"
    [ "$status" -ne 0 ] && grep -qF -- "$1" <<<"$said"
}

# readme_apt_lines ADDRESS: the README's lines that add the repository, with ADDRESS for its own.
readme_apt_lines() {
    awk '/^\*\*On Debian, later releases/ { on = 1 } on && /^```sh$/ { block = 1; next }
         block && /^```$/ { exit } block' "$root_dir/README.md" | sed "s|^URIs: .*|URIs: $1|"
}
# What the README has a user run for each later release.
readme_apt_upgrade='sudo apt update && sudo apt upgrade'

# In the fresh root apt_root: apt_as_user COMMANDS runs them with sh as the README's user does, who
# answers yes; apt_installed prints the version of veltrane installed; apt_offers VERSION, whether
# apt offers it; apt_installs_with COMMANDS VERSION, whether the commands succeed and install it.
apt_as_user() {
    in_root "$apt_root" DEBIAN_FRONTEND=noninteractive sh -ec "$1" >>"$root_log" 2>&1
}
apt_installed() {
    # shellcheck disable=SC2016 # dpkg's own placeholder
    in_root "$apt_root" dpkg-query -W -f='${Version}' veltrane 2>/dev/null
}
apt_offers() {
    in_root "$apt_root" apt-cache madison veltrane | grep -qF " $1 "
}
apt_installs_with() {
    apt_as_user "$1" && [ "$(apt_installed)" = "$2" ]
}
apt_upgrades() {
    grep -qF "\`$readme_apt_upgrade\`" "$root_dir/README.md" && apt_installs_with "$readme_apt_upgrade" "$1"
}
# apt update keeps the indices it has of a suite whose new InRelease it refuses, and says so, with
# an error line for that InRelease, but only warns.
apt_refuses_other_key() {
    local said
    said=$(in_root "$apt_root" sh -c 'sudo apt update' 2>&1) || true
    echo "$said" >>"$root_log"
    grep -q "^Err:[0-9]* ${apt_url%/} [a-z]* InRelease" <<<"$said" && ! apt_offers "$1" && [ "$(apt_installed)" = "$2" ]
}

# apt_installs RELEASE NUMBER: in a fresh root of the Debian release, the README's lines add the
# repository served at apt_url and install this version; with --check, the next release's
# repository is served then, which apt upgrade installs from, and last one that another key signed,
# which apt refuses.
apt_installs() {
    local release=$1 suffix=+deb$2
    # Made anew, beside the build roots for the packages debootstrap downloads; with sudo, as the
    # README's user has it.
    apt_root=$(cache_dir veltrane-roots)/fresh-$release
    root_log=$scratch/fresh-$release.log
    rm -rf --one-file-system "$apt_root"
    debian_root "$apt_root" "$release" --include=sudo
    on_exit "rm -rf --one-file-system '$apt_root'"
    mkdir -p "$apt_root/tmp/readme"
    readme_apt_lines "$apt_url" >"$apt_root/tmp/readme/lines.sh"
    cp "$apt_key" "$apt_root/tmp/readme/release-key.asc"
    echo 'APT::Get::Assume-Yes "true";' >"$apt_root/etc/apt/apt.conf.d/90yes"
    echo "== the apt repository in a fresh $release root (log: $root_log)"
    apt_serving "$dist/apt"
    check "$release: the README's lines add the repository, and apt install veltrane installs $version$suffix" \
        apt_installs_with 'cd /tmp/readme && . ./lines.sh' "$version$suffix"
    [ -n "$check_mode" ] || return 0
    apt_serving "$scratch/apt-next"
    check "$release: '$readme_apt_upgrade', as the README says, installs $apt_next$suffix from the next throwaway release's repository" \
        apt_upgrades "$apt_next$suffix"
    apt_serving "$scratch/apt-other-key"
    check "$release: apt update refuses the repository once another key signs its InRelease, and offers nothing of it" \
        apt_refuses_other_key "$apt_other$suffix" "$apt_next$suffix"
}

# apt_fresh_roots: apt_installs for each Debian release of this machine's architecture's packages.
apt_fresh_roots() {
    local package release arch
    [ -n "${apt_url:-}" ] || apt_serve
    for package in "${packages[@]}"; do
        read -r release arch <<<"$package"
        [ "$arch" != "$(dpkg --print-architecture)" ] || apt_installs "$release" "$(debian_number "$release")"
    done
}

# apt_throwaway_releases: in $scratch, the repository that a next release (this one's packages
# repacked as apt_next) makes from the one served, and one with apt_other that another key signs.
apt_throwaway_releases() (
    local package release arch suffix name
    apt_read "$apt_url" "$scratch/apt-next-src"
    apt_new "$scratch/apt-other-key-src"
    for package in "${packages[@]}"; do
        read -r release arch <<<"$package"
        suffix=+deb$(debian_number "$release")
        name=veltrane_${version}_debian${suffix#+deb}_$arch.deb
        apt_repack "$dist/$name" "$apt_next$suffix" "$scratch/next.deb"
        apt_add "$scratch/apt-next-src" "$release" "$scratch/next.deb"
        apt_repack "$dist/$name" "$apt_other$suffix" "$scratch/other.deb"
        apt_add "$scratch/apt-other-key-src" "$release" "$scratch/other.deb"
    done
    apt_write "$scratch/apt-next-src" "$scratch/apt-next"
    local other=$scratch/other-gnupg key
    mkdir -m 700 "$other"
    gpg --homedir "$other" --batch --quiet --passphrase '' --quick-gen-key "Another key <another@veltrane.invalid>" ed25519 sign 1d 2>/dev/null
    key=$(gpg --homedir "$other" --batch --with-colons --list-secret-keys 2>/dev/null | awk -F: '/^fpr/ { print $10; exit }')
    GNUPGHOME=$other VELTRANE_GPG_KEY=$key apt_write "$scratch/apt-other-key-src" "$scratch/apt-other-key"
    gpgconf --homedir "$other" --kill all
)

# apt_given URL: the start of a release given the repository at URL as the one published so far.
apt_given() (
    VELTRANE_APT_PREVIOUS=$1
    apt_begin "$scratch/apt-given"
)

# apt_checks: the repository in dist/apt as apt reads it; with --check, a next throwaway release
# added to it, the refusals of a repository that another key signed or that holds this version
# already; but with --host-only, a fresh root of each Debian release that installs from it.
apt_checks() {
    check "apt reads dist/apt with the release key: every package it was given and this release's, byte for byte" \
        apt_holds "$dist/apt" "$apt_repository"
    if [ -n "$check_mode" ]; then
        apt_serve
        apt_serving "$dist/apt"
        apt_next=$(awk -F. -v OFS=. '{ $NF += 1; print }' <<<"$version")
        apt_other=$(awk -F. -v OFS=. '{ $NF += 2; print }' <<<"$version")
        apt_throwaway_releases >/dev/null
        check "a next throwaway release, this one's packages repacked as $apt_next, joins the repository read over HTTP, keeping every package of this one" \
            apt_holds "$scratch/apt-next" "$scratch/apt-next-src"
        apt_serving "$scratch/apt-other-key"
        check "a release given a repository that another key signed stops before it builds" \
            stops_saying "is not signed by the release key $VELTRANE_GPG_KEY" apt_given "$apt_url"
        apt_serving "$dist/apt"
        check "a release given a repository that holds its version already stops before it builds" \
            stops_saying "already holds pool/$apt_component/v/veltrane/veltrane_$version+deb" apt_given "$apt_url"
    fi
    [ -n "$host_only" ] || apt_fresh_roots
}
