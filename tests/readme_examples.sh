#!/usr/bin/env bash
# Runs the README's command blocks as a reader would, in their order, on the
# samples: a folder laid out as the Quick start leaves it (build/release
# with both programs, build/release/demo with the samples converted), each
# block in a shell of its own started there, stopping at the first command
# that fails. The Quick start and the Windows build's blocks build, and are
# left out.
#   tests/readme_examples.sh README TOOL_DIR SAMPLES
# Exit 77 (skipped) when Pillow or ImageMagick, which two examples use, is missing.
set -euo pipefail
readme=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
tools=$(cd "$2" && pwd)
samples=$(cd "$3" && pwd)
/usr/bin/python3 -c "import PIL" 2>/dev/null && [ -x /usr/bin/convert ] || { echo "no Pillow or ImageMagick"; exit 77; }
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/build/release/demo"
ln -s "$tools/assetdump" "$tools/assetpack" "$root/build/release/"
cp "$samples"/* "$root/build/release/demo/"
(cd "$root/build/release/demo" && { ../assetdump ./*.* >/dev/null 2>&1 || [ $? -eq 3 ]; })  # as the demo target does
blocks=0
while IFS= read -r -d '' block; do
    case "$block" in *"cmake --"*|*apt-get*) continue ;; esac
    blocks=$((blocks + 1))
    if ! (cd "$root" && bash -euo pipefail -c "$block") >"$root/out.txt" 2>&1; then
        echo "README block $blocks failed:"
        printf '%s\n' "$block" | sed 's/^/    /'
        cat "$root/out.txt"
        exit 1
    fi
done < <(awk '/^```sh$/ { inside = 1; text = ""; next }
              /^```$/ && inside { inside = 0; printf "%s%c", text, 0; next }
              inside { text = text $0 "\n" }' "$readme")
echo "$blocks README blocks ran as written"
[ "$blocks" -ge 5 ]
