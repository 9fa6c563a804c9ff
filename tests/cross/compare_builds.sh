#!/usr/bin/env bash
# Converts the same inputs with the Linux and the Windows build and compares
# every output file byte for byte.
#   tests/cross/compare_builds.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
# The inputs are the test fixtures (assetdump_fixtures) and the samples.
set -euo pipefail
cd "$(dirname "$0")/../.."
linux=${1:-build/release}
windows=${2:-build/windows}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$linux/assetdump_fixtures" "$work/inputs"
cp samples/* "$work/inputs/"
cp -r "$work/inputs" "$work/linux"
cp -r "$work/inputs" "$work/windows"
inputs=$(cd "$work/inputs" && ls)

(cd "$work/linux" && "$OLDPWD/$linux/assetdump" $inputs </dev/null >"$work/linux.out")
(cd "$work/windows" && WINEDEBUG=-all wine "$OLDPWD/$windows/assetdump.exe" $inputs </dev/null >"$work/windows.out" 2>/dev/null)

# The result lines must agree too (Windows writes its console text with CR LF).
tr -d '\r' <"$work/windows.out" | sed 's/Press any key to continue[. ]*//' | grep -P '\t' >"$work/windows.lines"
grep -P '\t' "$work/linux.out" >"$work/linux.lines"
diff "$work/linux.lines" "$work/windows.lines"

files=$(cd "$work/linux" && find . -type f | wc -l)
if diff -r "$work/linux" "$work/windows"; then
    echo "Linux and Windows builds agree on all $files files ($(echo $inputs | wc -w) inputs)"
else
    echo "Linux and Windows builds differ"
    exit 1
fi
