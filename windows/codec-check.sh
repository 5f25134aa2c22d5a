# The Windows program's conversions against the Linux program's, across every encoding's whole
# repertoire: tests/codectable.cpp built for both, run natively and under Wine, must write the same
# table. Sourced by scripts/windows after build.sh, whose build it uses.
# shellcheck shell=bash disable=SC2154

echo "== the conversions, against the Linux build's"
build_preset default --log-level=WARNING >/dev/null
cmake --build --preset default --target codectable >/dev/null
"$root_dir/build/tests/codectable" "$scratch/linux.table"
in_build_runtime wine "$build_dir/tests/codectable.exe" "$(windows_path "$scratch/windows.table")"
# How many of each encoding's lines differ, encoded (e) and decoded (d), with a few of them.
diff "$scratch/linux.table" "$scratch/windows.table" >"$scratch/tables.diff" || {
    sed -n 's/^> \([^ ]* [ed]\) .*/\1/p' "$scratch/tables.diff" | sort | uniq -c
    grep -m 10 '^[<>]' "$scratch/tables.diff"
}
check "the Windows program converts as the Linux one does in all $(wc -l <"$scratch/linux.table") cases" \
    cmp -s "$scratch/linux.table" "$scratch/windows.table"
