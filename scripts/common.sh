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
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Qt 6 with the compatibility module that carries the text codecs; Qt 5.15 is tested as well.
build_packages=(build-essential cmake qt6-base-dev qt6-base-dev-tools qt6-5compat-dev fonts-dejavu-core)
qt5_packages=(qtbase5-dev qtbase5-dev-tools)

# cmake_build DIR [CMAKE OPTIONS...]: configures once, then builds incrementally.
cmake_build() {
    local dir=$1
    shift
    cmake -S "$root_dir" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$dir" --parallel "$build_jobs"
}
