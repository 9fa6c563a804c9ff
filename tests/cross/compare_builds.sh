#!/usr/bin/env bash
# Converts the same inputs with the Linux and the Windows build, then puts
# them back with each build's packer, and compares every output and rebuilt
# file byte for byte, and the result and problem lines byte for byte (line
# ends included: LF on both).
#   tests/cross/compare_builds.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
# The inputs are the test fixtures (assetdump_fixtures: among them an archive
# with every kind of name collision and a picture set of 200 pictures) and the
# samples, given by bare names, plus two given by paths: one through a forward
# slash, one through a folder and file named outside ASCII. Then each build
# walks the whole folder with --output, and the packer makes a mod folder;
# the folder is listed (--list, --json) and its gallery written; last, the folder is converted with PNG pictures and each palette format.
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

# Runs one program of each build in its copy with the same arguments and
# compares what they print.
both() {
    local program=$1
    shift
    local linuxStatus=0 windowsStatus=0
    (cd "$work/linux" && "$OLDPWD/$linux/$program" "$@" </dev/null >"$work/linux.out" 2>"$work/linux.err") ||
        linuxStatus=$?
    # Wine hands the arguments to Windows as UTF-16 from a UTF-8 locale.
    (cd "$work/windows" && LANG=C.UTF-8 WINEDEBUG=-all wine "$OLDPWD/$windows/$program.exe" "$@" \
        </dev/null >"$work/windows.out" 2>"$work/windows.err") || windowsStatus=$?
    [ "$linuxStatus" = "$windowsStatus" ] || {
        echo "$program: exit status $linuxStatus on Linux, $windowsStatus on Windows"
        exit 1
    }
    for stream in out err; do
        cmp "$work/linux.$stream" "$work/windows.$stream" || {
            diff "$work/linux.$stream" "$work/windows.$stream" | head -20
            exit 1
        }
    done
}

for program in assetdump assetpack; do
    both "$program" $inputs $paths
done
mkdir "$work/linux/game" "$work/windows/game"
for side in linux windows; do
    (cd "$work/$side" && cp $inputs game/ && mkdir game/sub && cp sub/HERO.RLE game/sub/)
done
both assetdump -o out game
both assetpack -e out -o mod game
# What each file holds, as lines and as JSON, and the gallery of the output.
both assetdump --list game
both assetdump -l --json game
both assetdump -o out --gallery game
# Every picture as PNG, and every palette in each palette format: the same bytes.
both assetdump --format png --palette-format gpl -o png game
both assetdump --palette-format jasc -o jasc game
both assetdump --palette-format act -o act game

# The folders' records keep the times their files were placed and the
# inputs' file numbers and devices: those differ from run to run, the rest
# must not.
find "$work/linux" "$work/windows" -name .assetdump.json -exec sed -i -E 's/"(mtime|ctime|inode|device)": [0-9-]*/"\1": T/g' {} +
files=$(cd "$work/linux" && find . -type f | wc -l)
if diff -r "$work/linux" "$work/windows"; then
    echo "Linux and Windows builds agree on all $files files and every line ($(echo $inputs $paths | wc -w) inputs, then walked)"
else
    echo "Linux and Windows builds differ"
    exit 1
fi
