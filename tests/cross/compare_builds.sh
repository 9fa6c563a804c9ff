#!/usr/bin/env bash
# Converts the same inputs with the Linux and the Windows build, then puts
# them back with each build's packer, and compares every output and rebuilt
# file byte for byte, and the result and problem lines line for line.
#   tests/cross/compare_builds.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
# The inputs are the test fixtures (assetdump_fixtures) and the samples, given
# by bare names, plus two given by paths: one through a forward slash, one
# through a folder and file named outside ASCII.
set -euo pipefail
cd "$(dirname "$0")/../.."
linux=${1:-build/release}
windows=${2:-build/windows}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$linux/assetdump_fixtures" "$work/inputs"
cp samples/* "$work/inputs/"
inputs=$(cd "$work/inputs" && ls)
mkdir "$work/inputs/sub" "$work/inputs/日本"
cp "$work/inputs/mixed.RLE" "$work/inputs/sub/HERO.RLE"
cp "$work/inputs/mixed.RLE" "$work/inputs/日本/ÉTÉ.RLE"
paths="sub/HERO.RLE 日本/ÉTÉ.RLE"
cp -r "$work/inputs" "$work/linux"
cp -r "$work/inputs" "$work/windows"

for program in assetdump assetpack; do
    (cd "$work/linux" && "$OLDPWD/$linux/$program" $inputs $paths </dev/null >"$work/linux.out" 2>"$work/linux.err")
    # Wine hands the arguments to Windows as UTF-16 from a UTF-8 locale.
    (cd "$work/windows" && LANG=C.UTF-8 WINEDEBUG=-all wine "$OLDPWD/$windows/$program.exe" $inputs $paths \
        </dev/null >"$work/windows.out" 2>"$work/windows.err")
    # Windows writes its console text with CR LF; the lines must agree otherwise.
    for stream in out err; do
        tr -d '\r' <"$work/windows.$stream" >"$work/windows.$stream.lines"
        diff "$work/linux.$stream" "$work/windows.$stream.lines"
    done
done

files=$(cd "$work/linux" && find . -type f | wc -l)
if diff -r "$work/linux" "$work/windows"; then
    echo "Linux and Windows builds agree on all $files files and every line ($(echo $inputs $paths | wc -w) inputs)"
else
    echo "Linux and Windows builds differ"
    exit 1
fi
