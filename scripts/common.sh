# Shared by the scripts beside it: package installation and the CMake build.
# shellcheck shell=bash

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_jobs=$(nproc 2>/dev/null || echo 2)

# Installs whichever of the named Debian packages are missing; does nothing when all are there.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Installing ${missing[*]} needs root: run this as root." >&2; exit 1; }
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    # One script at a time: CI builds Qt for Windows while scripts/test runs, and apt does not wait
    # for another apt's lock.
    "${sudo[@]}" flock /tmp/veltrane-apt.lock sh -c 'apt-get update -q &&
        DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"' sh "${missing[@]}"
}

# Qt 6 with the compatibility module that carries the text codecs; Qt 5.15 is tested as well.
build_packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools qt6-5compat-dev fonts-dejavu-core)
qt5_packages=(qtbase5-dev qtbase5-dev-tools)
# What the checks that scripts/test runs need beyond the build; scripts/test installs them all at
# once, while it may still be root.
portable_packages=(binutils)
# For scripts/package, dpkg-dev and file let CPack compute the package's dependencies and give the
# build flags; the others are validators.
package_packages=(dpkg-dev file desktop-file-utils appstream lintian devscripts)
wayland_packages=(weston qt6-wayland qtwayland5)
fuzz_packages=(clang libclang-rt-dev)
tidy_packages=(clang-tidy clang-format)

# build_as_owner "$@": root is needed for installing packages and for nothing else. Run as root (or
# through sudo) in a clone that a user owns, a script goes on as that user once its packages are in,
# so that it leaves nothing in the clone that the user cannot change or remove.
build_as_owner() {
    [ "$(id -u)" -eq 0 ] || return 0
    local owner
    owner=$(stat -c %U "$root_dir")
    if [ "$owner" = root ]; then
        return 0
    elif [ "$owner" = UNKNOWN ]; then
        echo "The clone's owner (user id $(stat -c %u "$root_dir")) has no account here;" \
             "run this as that user, or as root in a clone that root owns." >&2
        exit 1
    fi
    exec runuser -u "$owner" -- "$root_dir/scripts/${0##*/}" "$@"
}

# Warnings fail the build in CI only: a newer compiler's new warning must not stop a user's build.
werror=OFF
[ "${CI:-}" = true ] && werror=ON

# cmake_build DIR [CMAKE OPTIONS...]: configures once, then builds incrementally.
cmake_build() {
    local dir=$1
    shift
    cmake -S "$root_dir" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DVELTRANE_WERROR="$werror" "$@"
    cmake --build "$dir" --parallel "$build_jobs"
}

# pass and fail count the checks of a script that goes on past a failure to report them all;
# checks_summary NAME prints the closing line and fails when any check did.
checks_passed=0
checks_failed=0
pass() {
    echo "ok: $*"
    checks_passed=$((checks_passed + 1))
}
fail() {
    echo "FAIL: $*" >&2
    checks_failed=$((checks_failed + 1))
}
checks_summary() {
    echo "$1: $checks_passed passed, $checks_failed failed"
    [ "$checks_failed" -eq 0 ]
}

# copy_sources DEST: the clone's files, committed or not but for the ignored ones, copied to DEST,
# for a second build that must give the same bytes as the first.
copy_sources() {
    local dest=$1 files
    mkdir -p "$dest"
    files=$(mktemp)
    if git -C "$root_dir" rev-parse --git-dir >/dev/null 2>&1; then
        (cd "$root_dir" && git ls-files -z --cached --others --exclude-standard) >"$files"
    else
        (cd "$root_dir" && find . -path './build*' -prune -o -type f -print0) >"$files"
    fi
    tar -C "$root_dir" --null -T "$files" --ignore-failed-read -cf - 2>/dev/null | tar -C "$dest" -xf -
    rm -f "$files"
}
