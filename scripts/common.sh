# Shared by the scripts beside it: packages, builds through CMake's presets, counted checks, a
# virtual X server, the caches and Debian roots outside the clone.
# shellcheck shell=bash disable=SC2034,SC2154 # its variables are for the scripts, and theirs for it

root_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_jobs=$(nproc 2>/dev/null || echo 2)
export CTEST_PARALLEL_LEVEL=${CTEST_PARALLEL_LEVEL:-$build_jobs}
# Warnings fail the build in CI only: a newer compiler's new warning must not stop a user's build.
# The presets take it from here.
[ "${CI:-}" != true ] || export VELTRANE_WERROR=ON

die() {
    echo "${0##*/}: $*" >&2
    exit 1
}

# missing_packages ROOT PACKAGE...: those of the Debian packages that the system at ROOT ('' for
# this machine's own) does not have installed, one a line.
missing_packages() {
    local root=$1 package
    shift
    for package in "$@"; do
        dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status}\n' "$package" 2>/dev/null |
            grep -q '^install ok installed$' || echo "$package"
    done
}

# Installs whichever of the named Debian packages are missing; does nothing when all are there.
ensure_packages() {
    local missing sudo=()
    mapfile -t missing < <(missing_packages '' "$@")
    [ ${#missing[@]} -gt 0 ] || return 0
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || die "installing ${missing[*]} needs root: run this as root."
        sudo=(sudo)
    fi
    echo "Installing: ${missing[*]}"
    # One script at a time: CI builds ICU and Qt for Windows while scripts/test runs, and apt does
    # not wait for another apt's lock.
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
    local owner
    owner=$(stat -c %U "$root_dir")
    [ "$(id -u)" -eq 0 ] && [ "$owner" != root ] || return 0
    [ "$owner" != UNKNOWN ] || die "the clone's owner (user id $(stat -c %u "$root_dir")) has no account" \
        "here; run this as that user, or as root in a clone that root owns."
    exec runuser -u "$owner" -- "$root_dir/scripts/${0##*/}" "$@"
}

# build_preset NAME [CMAKE OPTIONS...]: configures the tree of a preset in CMakePresets.json, once,
# and builds it incrementally.
build_preset() {
    (cd "$root_dir" && cmake --preset "$1" "${@:2}" && cmake --build --preset "$1")
}

# build_deb PRESET BUILD [CMAKE OPTIONS...]: the Debian package of the sources in the current folder,
# configured and built through PRESET in BUILD with the flags Debian builds its own packages with,
# and made there by CPack. The flags map the source folder away (-ffile-prefix-map), so they are
# asked for from there.
build_deb() {
    local flags=(env DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get)
    CXXFLAGS="$("${flags[@]}" CPPFLAGS) $("${flags[@]}" CXXFLAGS)" LDFLAGS=$("${flags[@]}" LDFLAGS) \
        cmake --preset "$1" "${@:3}" && cmake --build --preset "$1" && (cd "$2" && cpack -G DEB)
}

# The time stamps of what is packaged are the commit's, so that the same commit always gives the
# same bytes; outside a git checkout (an archive of it keeps that time on its files) the files'.
# The version that project() in CMakeLists.txt names, the one place it is written.
project_version() {
    sed -n 's/^project(veltrane VERSION \([0-9.]*\).*/\1/p' "$root_dir/CMakeLists.txt"
}
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
    if "${@:2}"; then pass "$1"; else fail "$1"; fi
}
checks_summary() {
    echo "$1: $checks_passed passed, $checks_failed failed"
    [ "$checks_failed" -eq 0 ]
}

# stop WHAT LOG: ends the script as WHAT failed, after the test functions that failed in its log, if
# any, and the log's end.
stop() {
    { grep -E -A1 ': FAIL!' "$2" || true; tail -n 30 "$2"; } >&2
    die "FAIL: $1 after $SECONDS s (log: $2)"
}

# wait_for PROGRAM [ARGUMENTS...]: asks again for up to ten seconds until the program succeeds.
wait_for() {
    timeout 10 sh -c 'until "$@"; do sleep 0.1; done' sh "$@"
}

# copy_sources DEST: the clone's files, committed or not but for the ignored ones, copied to DEST,
# for a second build that must give the same bytes as the first.
copy_sources() {
    mkdir -p "$1"
    if git -C "$root_dir" rev-parse --git-dir >/dev/null 2>&1; then
        git -C "$root_dir" ls-files -z --cached --others --exclude-standard
    else
        (cd "$root_dir" && find . -path './build*' -prune -o -type f -print0)
    fi | tar -C "$root_dir" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$1" -xf -
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
    wait_for test -s "$display_file" || die "no virtual X server started"
    DISPLAY=:$(head -n 1 "$display_file")
    export DISPLAY
    rm -f "$display_file"
    openbox --sm-disable >/dev/null 2>&1 &
    on_exit "kill $! 2>/dev/null || true"
    wait_for xdotool get_desktop >/dev/null 2>&1 || die "no window manager on $DISPLAY"
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

# Debian roots, for building and checking on another release or architecture, as root.
# debian_root DIR RELEASE [DEBOOTSTRAP OPTIONS...]: a minimal root of RELEASE in DIR, made unless a
# complete one is there, held by this run alone, with /proc, /sys, /dev and the package downloads
# mounted until the script ends; the downloads are kept in DIR/../debs for the roots beside it.
# root_packages DIR PACKAGE[:ARCH]...: installs those the root lacks. mount_into DIR FOLDER: a host
# folder at the same path in the root. in_root DIR [NAME=VALUE...] COMMAND...: the command in the
# root with a clean environment, as root, or as UID:GID where root_user=UID:GID is set. What
# debootstrap and apt print goes to the file $root_log, DIR.log unless set. Call debian_root and
# root_packages in the script's own shell, not in $(...) nor before ||: the mounts and the hold
# last as long as the shell that made them, and a failure must stop the script.
# cached_root RELEASE ARCH: where a root to build for ARCH on RELEASE is kept between runs: one of
# this machine's own architecture in ~/.cache/veltrane-roots, a cross root (this machine's
# architecture with ARCH's libraries) in VELTRANE_CROSS_CACHE, else ~/.cache/veltrane-cross.
cached_root() {
    local cache=${VELTRANE_CROSS_CACHE:-$(cache_dir veltrane-cross)}
    [ "$2" != "$(dpkg --print-architecture)" ] || cache=$(cache_dir veltrane-roots)
    echo "$cache/$1-$2"
}
debian_root() {
    local dir=$1 release=$2 cache lock
    cache=$(dirname "$dir")
    : "${root_log:=$dir.log}"
    [ "$(id -u)" -eq 0 ] || die "needs root (debootstrap, chroot, mount)."
    # The clone may be mounted into the root.
    [[ $dir/ != "$root_dir"/* ]] || die "$dir must lie outside the clone"
    ensure_packages debootstrap
    mkdir -p "$cache/debs/partial"
    exec {lock}>"$dir.lock"
    flock "$lock"
    if [ ! -x "$dir/usr/bin/apt-get" ]; then
        # A root that debootstrap did not finish is made again from scratch, never reused; nothing
        # may still be mounted in it, or removing it would reach into what is mounted.
        ! findmnt -rn -o TARGET | grep -E "^$dir.new(/|$)" || die "still mounted in $dir.new"
        rm -rf --one-file-system "$dir.new"
        echo "== debootstrap $release from $(debian_mirror) into $dir (log: $root_log)"
        flock "$cache/debs.lock" debootstrap --variant=minbase --cache-dir="$cache/debs" "${@:3}" \
            "$release" "$dir.new" "$(debian_mirror)" >"$root_log" 2>&1 || stop "debootstrap $release" "$root_log"
        mv "$dir.new" "$dir"
    fi
    # The root shares this machine's host name, which sudo looks up.
    cp /etc/resolv.conf /etc/hosts "$dir/etc/"
    mount_into "$dir" /proc
    mount_into "$dir" /sys
    mount_into "$dir" /dev
    mount_into "$dir" "$cache/debs" /var/cache/apt/archives
}
in_root() {
    chroot --userspec="${root_user:-0:0}" "$1" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
        PATH=/usr/sbin:/usr/bin:/sbin:/bin "${@:2}"
}
root_packages() {
    local dir=$1 missing lock package
    mapfile -t missing < <(missing_packages "$@")
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "== installing into $dir: ${missing[*]} (log: $root_log)"
    exec {lock}>"$(dirname "$dir")/debs.lock"
    flock "$lock"
    for package in "${missing[@]}"; do
        [[ $package != *:* ]] || in_root "$dir" dpkg --add-architecture "${package#*:}"
    done
    { in_root "$dir" apt-get update -q && in_root "$dir" DEBIAN_FRONTEND=noninteractive apt-get install -y -q \
        --no-install-recommends "${missing[@]}"; } >>"$root_log" 2>&1 || stop "installing ${missing[*]} into $dir" "$root_log"
    exec {lock}>&-
}

# mount_into ROOT SOURCE [TARGET]: SOURCE at TARGET, else the same path, in the Debian root ROOT, with
# what is mounted below it (/sys carries the cgroups that tst_memorylimit uses). Unmounted
# at the end, newest first; nothing mounted or unmounted below the root reaches the host's tree.
mounted=()
mount_into() {
    local target="$1${3:-$2}"
    mkdir -p "$target"
    mount --rbind "$2" "$target"
    mount --make-rslave "$target"
    [ ${#mounted[@]} -gt 0 ] || on_exit unmount_all
    mounted+=("$target")
}
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount -l "${mounted[i]}" 2>/dev/null || echo "could not unmount ${mounted[i]}" >&2
    done
}
