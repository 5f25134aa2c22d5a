# The form of the executable, as Windows reads it before the program runs: a GUI program entered
# through Qt's WinMain adapter, hardened, without a link time stamp, with its manifest its one
# resource. Sourced by scripts/windows, whose names it uses.
# shellcheck shell=bash disable=SC2154

echo "== the executable"
exe="$build_dir/veltrane.exe"
headers=$(x86_64-w64-mingw32-objdump -p "$exe")
symbols=$(x86_64-w64-mingw32-nm "$exe")
resources=$(wrestool -l "$exe")
grep -E '^(Subsystem|Time/Date)\s' <<<"$headers"
echo "$resources"

# contains TEXT PATTERN...: whether TEXT has a line matching each extended PATTERN.
contains() {
    local text=$1 pattern
    shift
    for pattern; do grep -qE -- "$pattern" <<<"$text" || return 1; done
}
only_manifest() { [ "$(grep -c . <<<"$resources")" -eq 1 ] && contains "$resources" '^--type=24 --name=1 '; }

check "GUI subsystem" contains "$headers" '^Subsystem\s+00000002\s+\(Windows GUI\)'
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
    check "DLL characteristics: $flag" contains "$(grep -A6 '^DllCharacteristics' <<<"$headers")" "\b$flag\b"
done
check "no link time stamp" contains "$headers" '^Time/Date\s+Thu Jan  1 00:00:00 1970'
# qMain keeps its C++ name, as the adapter declares it.
check "entered through Qt's WinMain adapter, which calls the program's main as qMain" \
    contains "$symbols" ' T WinMain$' ' T _Z5qMainiPPc$'
# The protector's functions are linked in or imported.
check "stack protector" contains "$symbols"$'\n'"$headers" '__stack_chk_(fail|guard)'
check "exactly one resource, the manifest" only_manifest
check "the manifest asks for asInvoker without UI access" \
    contains "$(wrestool -x --raw --type=24 --name=1 "$exe")" 'level="asInvoker"' 'uiAccess="false"'
# Qt's build string, which carries the version that qVersion() gives, must name the version of the
# DLL's own file version, not that of the host's qmake that configured it.
core="$VELTRANE_WINDOWS_QT/bin/Qt5Core.dll"
file_version=$(wrestool -x --raw --type=16 "$core" | strings -el | sed -n '/^FileVersion$/{n;s/\.0$//;p;q}')
check "Qt5Core.dll says it is Qt $file_version, as its file version does" \
    contains "$(strings "$core")" "^Qt ${file_version//./\\.} \("
