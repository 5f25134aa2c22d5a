# Windows programs under Wine, on a virtual X server of this run's own, for the jobs that follow:
# each in a prefix of its own, whose server stops when the next prefix is made and at the end,
# before the X server and the scratch folder go. Sourced by scripts/windows.
# shellcheck shell=bash

export WINEDEBUG=-all
# Wine would otherwise make the build machine's desktop a menu entry for each shortcut installed.
export WINEDLLOVERRIDES=winemenubuilder.exe=d
# Wine passes no QT_ variable on to Windows programs but takes WINEQT_ ones in their stead.
export WINEQT_QPA_PLATFORM=windows WINEQT_FORCE_STDERR_LOGGING=1
# The build machine's own prefix is never touched.
unset WINEPREFIX
stop_wine() { [ -z "${WINEPREFIX:-}" ] || wineserver -k 2>/dev/null || true; }
on_exit stop_wine
start_x

# windows_path PATH: the path as a Windows program under Wine sees it.
windows_path() { echo "Z:${1//\//\\}"; }

# new_wine_prefix DIR: a Wine prefix with CJK fonts, booted without the Mono and Gecko prompts.
new_wine_prefix() {
    stop_wine
    export WINEPREFIX=$1
    rm -rf "$WINEPREFIX"
    WINEDLLOVERRIDES="mscoree,mshtml=;$WINEDLLOVERRIDES" wineboot --init >/dev/null 2>&1
    # Programs started later must meet a fresh server on their own display, not the one wineboot
    # started without any.
    timeout 60 wineserver -w || wineserver -k
    cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
}
