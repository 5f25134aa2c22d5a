# Shared by the scripts beside it: packages, builds through CMake's presets, counted checks, a
# virtual X server, the caches and Debian roots outside the clone.
# shellcheck shell=bash

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_jobs=$(nproc 2>/dev/null || echo 2)
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$build_jobs}
# Warnings fail the build in CI only: a newer compiler's new warning must not stop a user's build.
# The presets take it from here.
[ "${CI:-}" != true ] || export VELTRANE_WERROR=ON

# Installs whichever of the named Debian packages are missing; does nothing when all are there.
ensure_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$' ||
            missing+=("$package")
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
build_packages=(build-essential cmake ninja-build qt6-base-dev qt6-base-dev-tools qt6-5compat-dev
    fonts-dejavu-core)
qt5_packages=(qtbase5-dev qtbase5-dev-tools)
# A virtual X server with a window manager, and an accessibility bus on a session bus.
x_packages=(xvfb openbox xdotool)
a11y_packages=(dbus at-spi2-core python3-gi gir1.2-atspi-2.0)
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

# build_preset NAME [CMAKE OPTIONS...]: configures the tree of a preset in CMakePresets.json, once,
# and builds it incrementally; workflow NAME does the same and runs its tests.
build_preset() {
    local preset=$1
    shift
    (cd "$root_dir" && cmake --preset "$preset" "$@" && cmake --build --preset "$preset")
}
workflow() {
    (cd "$root_dir" && cmake --workflow --preset "$1")
}

# The time stamps of what is packaged are the commit's, so that the same commit always gives the
# same bytes; outside a git checkout (an archive of it keeps that time on its files) the files'.
export_source_date() {
    SOURCE_DATE_EPOCH=$(git -C "$root_dir" log -1 --format=%ct 2>/dev/null) ||
        SOURCE_DATE_EPOCH=$(stat -c %Y "$root_dir/CMakeLists.txt")
    export SOURCE_DATE_EPOCH
}

# pass and fail count the checks of a script that goes on past a failure to report them all;
# check DESCRIPTION COMMAND... counts whether the command succeeds; checks_summary NAME prints the
# closing line and fails when any check did.
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
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
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

# on_exit COMMAND: runs the command when the script ends, however it ends, after those given before.
exit_commands=()
on_exit() {
    exit_commands+=("$1")
    trap 'for command in "${exit_commands[@]}"; do eval "$command"; done' EXIT
}

# start_x: a virtual X server of this run's own with a window manager, at DISPLAY, both stopped at
# the end. Without a manager, Wine waits about two seconds for every window it maps, and the
# toolkit never makes a window active. Without -noreset the server starts anew whenever its last
# client leaves, and refuses clients meanwhile.
start_x() {
    local display_file
    display_file=$(mktemp)
    Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
    on_exit "kill $! 2>/dev/null || true"
    for ((i = 0; i < 100; i++)); do
        [ -s "$display_file" ] && break
        sleep 0.1
    done
    DISPLAY=:$(head -n 1 "$display_file")
    rm -f "$display_file"
    [ "$DISPLAY" != : ] || { echo "no virtual X server started" >&2; exit 1; }
    export DISPLAY
    openbox --sm-disable >/dev/null 2>&1 &
    on_exit "kill $! 2>/dev/null || true"
    for ((i = 0; i < 100; i++)); do
        xdotool get_desktop >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "no window manager on $DISPLAY" >&2
    exit 1
}

# in_dbus_session "$@": runs the script again on a session bus of its own, unless it is on one.
in_dbus_session() {
    [ -n "${VELTRANE_DBUS_SESSION:-}" ] || VELTRANE_DBUS_SESSION=1 exec dbus-run-session -- "$0" "$@"
}

# Debian's archive as this machine reaches it, unless MIRROR names another.
debian_mirror() {
    local mirror=${MIRROR:-$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null | head -n 1)}
    echo "${mirror:-http://deb.debian.org/debian}"
}

# cache_dir NAME: a folder kept between runs, outside the clone, in the account's own home rather
# than whatever HOME sudo left behind.
cache_dir() {
    echo "${XDG_CACHE_HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)/.cache}/$1"
}

# mount_into ROOT SOURCE [TARGET]: SOURCE (or proc) at TARGET, else the same path, in the Debian root
# ROOT, with what is mounted below it (/sys carries the cgroups that tst_memorylimit uses). Unmounted
# at the end, newest first; nothing mounted or unmounted below the root reaches the host's tree.
mounted=()
mount_into() {
    local target="$1${3:-$2}"
    mkdir -p "$target"
    if [ "$2" = proc ]; then
        mount -t proc proc "$target"
    else
        mount --rbind "$2" "$target"
        mount --make-rslave "$target"
    fi
    [ ${#mounted[@]} -gt 0 ] || on_exit unmount_all
    mounted+=("$target")
}
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[i]}" 2>/dev/null || echo "could not unmount ${mounted[i]}" >&2
    done
}
