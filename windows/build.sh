# The program and its tests, built in build-windows/ through the windows preset against the cached
# Qt alone, never one of the build machine's; the whole suite under Wine with the real windows
# platform plugin. Sourced by scripts/windows, whose names it uses.
# shellcheck shell=bash disable=SC2154

# configured_against_qt BUILD: stops the run unless BUILD found its Qt in the cache.
configured_against_qt() {
    [[ "$(sed -n 's/^Qt5Core_DIR:PATH=//p' "$1/CMakeCache.txt")" == "$VELTRANE_WINDOWS_QT"/* ]] ||
        { echo "windows: $1 is not configured against $VELTRANE_WINDOWS_QT (Qt5Core_DIR)" >&2; exit 1; }
}

# in_build_runtime COMMAND...: the command with the DLLs and plugins that the build's programs load
# found where they were built, not beside the programs as in the zip.
in_build_runtime() (
    WINEPATH=$(for dir in "${runtime_dirs[@]}"; do windows_path "$dir"; done | paste -sd';')
    WINEQT_PLUGIN_PATH=$(windows_path "$VELTRANE_WINDOWS_QT/plugins")
    export WINEPATH WINEQT_PLUGIN_PATH
    "$@"
)

# The server and its services start first, apart from ctest: started by a test, they would hold
# its output open long after it ended.
run_suite() {
    wineserver -p >/dev/null 2>&1
    wine cmd /c exit >/dev/null 2>&1
    (cd "$root_dir" && ctest --preset windows)
}

echo "== build in $build_dir"
build_preset windows
configured_against_qt "$build_dir"
echo "== tests under Wine, windows platform plugin, Xvfb"
new_wine_prefix "$build_dir/wine"
check "the test suite passes under Wine" in_build_runtime run_suite
