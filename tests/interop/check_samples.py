#!/usr/bin/env python3
"""Converts freshly generated samples and opens every image with Pillow.

Checks each image's size, bit depth, palette and pixel indexes against what
the generator put into the input files.

usage: check_samples.py SAMPLE_GENERATOR TOOL
"""
import json
import os
import subprocess
import sys
import tempfile

try:
    from PIL import Image
except ImportError:  # ctest reports the test as skipped
    print("Pillow is not installed (Debian: python3-pil)")
    sys.exit(77)

REFUSED = {"DAMAGED.RLE"}  # samples that show a rejection


def main():
    generator, tool = sys.argv[1], sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory() as scratch:
        folder = os.path.join(scratch, "samples")
        listing = os.path.join(scratch, "expected.json")
        subprocess.run([generator, "write", folder, listing], check=True)
        with open(listing) as f:
            expected = json.load(f)
        inputs = sorted(os.listdir(folder))
        run = subprocess.run([tool] + inputs, cwd=folder, stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, check=False)
        if run.returncode != (3 if REFUSED else 0):  # 3: a file failed, as the refused ones do
            failures.append(f"tool exited with {run.returncode}")
        for name in inputs:
            verdict = "FAILED!" if name in REFUSED else "DONE!"
            if f"{name}\t{verdict}\n" not in run.stdout:
                failures.append(f"{name}: expected {verdict}")

        made = set()
        for root, _, names in os.walk(folder):
            for n in names:
                if n.upper().endswith(".BMP"):
                    made.add(os.path.relpath(os.path.join(root, n), folder).replace(os.sep, "/"))
        wanted = {e["path"] for e in expected}
        for path in sorted(made - wanted):
            failures.append(f"{path}: not expected")
        for path in sorted(wanted - made):
            failures.append(f"{path}: missing")

        for e in expected:
            path = os.path.join(folder, e["path"])
            if not os.path.exists(path):
                continue
            failures += check_image(path, e)

    for f in failures:
        print("FAIL", f)
    checked = len(expected)
    print(f"{checked - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


def check_image(path, e):
    problems = []
    with Image.open(path) as im:
        im.load()
        if im.format != "BMP" or im.mode != "P":
            return [f"{e['path']}: format {im.format} mode {im.mode}"]
        if im.size != (e["width"], e["height"]):
            problems.append(f"{e['path']}: size {im.size}")
        colours = 1 << e["bits"]
        table = bytes.fromhex(e["palette"])
        rgb = []
        for i in range(colours):
            blue, green, red = table[4 * i:4 * i + 3]
            rgb += [red, green, blue]
        palette = im.getpalette()
        if len(palette) != 3 * colours:  # the colour table's length gives the bit depth
            problems.append(f"{e['path']}: {len(palette) // 3} colours, expected {colours}")
        elif palette != rgb:
            problems.append(f"{e['path']}: palette differs")
        if list(im.getdata()) != list(bytes.fromhex(e["indexes"])):
            problems.append(f"{e['path']}: pixel indexes differ")
    return problems


if __name__ == "__main__":
    sys.exit(main())
