# The zip and the installer against Windows, each in a fresh Wine prefix: the zip, unpacked, has
# every DLL it needs, opens its window and scales it with the screen; the installer installs it in
# the user's Programs folder, without an administrator, with a Start-menu shortcut and an entry
# under Apps & features, both with the program's icon, a newer version replaces it, and
# uninstalled, nothing of ours is left.
# shellcheck shell=bash disable=SC2154

# none COMMAND...: whether the command succeeds and prints nothing; what it prints goes to stderr.
none() { "$@" >"$scratch/printed" && ! grep . "$scratch/printed" >&2; }

# run_program FOLDER [SCREENSHOT]: starts veltrane.exe in FOLDER with no arguments, as a
# double-click does, waits for its window titled Veltraner, keeps its width and height in size (and
# a picture of it in SCREENSHOT), closes it as a user does, and returns the program's exit code,
# 124 when it has not ended within a minute and a half.
run_program() {
    local program window='' status=0 deadline=$((SECONDS + 60))
    size=
    (cd "$1" && exec timeout 90 wine veltrane.exe) &
    program=$!
    # Polled rather than --sync: a window that vanishes during the search (Wine's own come and go)
    # makes xdotool fail with BadWindow instead of waiting on.
    while [ -z "$window" ] && [ "$SECONDS" -lt "$deadline" ]; do
        window=$(xdotool search --onlyvisible --name '^Veltraner$' 2>/dev/null | head -n 1) || sleep 0.2
    done
    [ -n "$window" ] || { kill "$program" 2>/dev/null; echo "no window titled Veltraner" >&2; return 1; }
    size=$(xdotool getwindowgeometry --shell "$window" | sed -n 's/^\(WIDTH\|HEIGHT\)=//p' | paste -sd' ')
    [ -z "${2:-}" ] || xwd -silent -id "$window" | xwdtopnm 2>/dev/null | pnmtopng >"$2"
    xdotool windowactivate --sync "$window" key --clearmodifiers alt+F4
    wait "$program" || status=$?
    echo "window ${size/ /x}, exit code $status"
    return "$status"
}

# at_dpi DPI: the screen at DPI dots per inch, as many as 100 % has 96, for the programs started next.
at_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wineserver -w
}
# On a screen scaled to 150 % or 200 %, the whole window is that much larger, margins and all.
# scales DPI [SCREENSHOT]: whether the window at DPI is its size at 96 (plain) so scaled, to within a
# few pixels; how the program exits does not matter here.
scales() {
    at_dpi "$1"
    run_program "$unpacked" "${2:-}" >/dev/null
    echo "at $1 DPI the window is ${size/ /x}, at 96 DPI ${plain/ /x}"
    [ -n "$size" ] && [ -n "$plain" ] && near "${size% *}" "${plain% *}" "$1" && near "${size#* }" "${plain#* }" "$1"
}
near() { local off=$((($1 * 96 - $2 * $3) / 96)); ((off >= -4 && off <= 4)); }

echo "== $zip_name.zip under Wine"
new_wine_prefix "$scratch/prefix"
# Where Extract All puts it: a folder named after the zip.
unpacked="$WINEPREFIX/drive_c/$zip_name"
unzip -q "$zip_file" -d "$unpacked"
# Windows' own DLLs are those in its system folder, as Wine's prefix has them.
check "every DLL imported is in the zip or one of Windows' own" \
    none unresolved_dlls "$unpacked" "$WINEPREFIX/drive_c/windows/system32"
at_dpi 96
check "the unpacked program opens its window and exits with 0 when it is closed" run_program "$unpacked"
plain=$size
check "at 144 DPI the window scales to 150 %" scales 144
check "at 192 DPI the window scales to 200 %" scales 192 "$build_dir/window-at-200-percent.png"
echo "windows: the window at 200 %: $build_dir/window-at-200-percent.png"

echo "== $zip_name.msi under Wine"
new_wine_prefix "$scratch/msi-prefix"
profile="$WINEPREFIX/drive_c/users/$(id -un)"
installed="$profile/AppData/Local/Programs/Veltraner"
shortcut="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Veltraner.lnk"
newer_version=$(awk -F. -v OFS=. '{ $NF += 1; print }' <<<"$version")
make_msi "${zip_file%.zip}" "$scratch/newer.msi" "$newer_version"
# msiexec ARGS...: Windows Installer, silent, done once all it started has ended and the registry
# is written out.
msiexec() { wine msiexec "$@" /qn >/dev/null 2>&1 && wineserver -w; }
# entry VERSION NAME: the value NAME of the uninstall entry of VERSION's product, the user's own or,
# as Wine keeps those of any package, the machine's.
entry() {
    local key hive
    key="Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{$(named_uuid "product $1")}"
    for hive in HKCU HKLM; do wine reg query "$hive\\$key" /v "$2" 2>/dev/null; done | tr -d '\r' |
        sed -n "s/^ *$2 *REG_SZ *//p" | head -n 1 || true
}
# The package holds the icon and names it for Apps & features and for the shortcut.
icon_in_package() {
    msi_contents "$msi_file" "$scratch/msi-tables" &&
        cmp "${zip_file%.zip}.ico" "$scratch/msi-tables/Icon/Icon.veltrane.ico" &&
        grep -qP '^ARPPRODUCTICON\tveltrane.ico\r?$' "$scratch/msi-tables/Property.idt" &&
        grep -qP '^StartMenuShortcut\t.*\tveltrane.ico\t' "$scratch/msi-tables/Shortcut.idt"
}
# Windows Installer keeps a copy of the icon while the product is installed, registers it as the
# product's icon, which Apps & features shows, and points the shortcut at it.
icon_installed() {
    local icon
    icon=$(wine reg query 'HKCU\Software\Microsoft\Installer\Products' /s /v ProductIcon 2>/dev/null |
        tr -d '\r' | sed -n "s/^ *ProductIcon *REG_SZ *\(.*{$(named_uuid "product $version")}.*\)/\1/p")
    echo "the product's icon: $icon"
    [ -n "$icon" ] && cmp "$(winepath -u "$icon" 2>/dev/null)" "${zip_file%.zip}.ico" &&
        strings -el "$shortcut" | grep -qF "$icon"
}
replaced() {
    msiexec /i "$(windows_path "$scratch/newer.msi")" && [ -z "$(entry "$version" DisplayName)" ] &&
        [ "$(entry "$newer_version" DisplayVersion)" = "$newer_version" ] && [ -f "$installed/veltrane.exe" ]
}
# The registry as Wine keeps it, once its server has written it out, and the copy of the package
# that Windows Installer keeps while it is installed.
leftovers() {
    find "$WINEPREFIX/drive_c" \( -iname '*veltrane*' -o -path '*/windows/Installer/*' \) -print
    grep -il veltrane "$WINEPREFIX"/*.reg || true
}

check "the installer holds the program's icon for Apps & features and the shortcut" icon_in_package
check "msiexec /i installs it" msiexec /i "$(windows_path "$msi_file")"
check "the user's Programs\\Veltraner holds the zip's files, byte for byte" diff -r "$unpacked" "$installed"
check "a Start-menu shortcut Veltraner to the program" grep -qas veltrane.exe "$shortcut"
listed="$(entry "$version" DisplayName), $(entry "$version" DisplayVersion), $(entry "$version" Publisher)"
echo "under Apps & features: $listed"
check "under Apps & features: name, version and publisher" test "$listed" = "Veltraner, $version, The Veltraner developers"
check "under Apps & features and on the shortcut: the program's icon" icon_installed
check "the installed program opens its window and exits with 0 when it is closed" run_program "$installed"
check "version $newer_version replaces $version" replaced
check "msiexec /x uninstalls it" msiexec /x "$(windows_path "$scratch/newer.msi")"
check "uninstalled, no file, folder, shortcut or registry entry of ours is left" none leftovers
