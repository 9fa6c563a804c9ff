#!/usr/bin/env python3
"""Edits the sample outputs with Pillow, an independent BMP writer, and puts
them back with assetpack.

1. Every image re-saved unchanged by Pillow: the rebuilt file must convert to
   the same pictures; how many rebuild byte for byte is reported.
2. One picture of each file edited (pixels changed, resized, mask changed)
   and saved by Pillow: the rebuilt file must convert to exactly that edit.

usage: pack_after_pillow.py SAMPLES_DIR TOOL PACKER
"""
import os
import shutil
import subprocess
import sys
import tempfile

try:
    from PIL import Image
except ImportError:  # ctest reports the test as skipped
    print("Pillow is not installed (Debian: python3-pil)")
    sys.exit(77)

INPUTS = ["HERO.RLE", "SHIP.RLC", "ARCHIVE.WAD", "CITY.ZOM"]  # re-saved, then edited
FONTS = ["LETTERS.FNT", "GOLD.FNC", "INK.FNM"]  # re-saved only


def run(program, args, cwd):
    done = subprocess.run([program] + args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return done.stdout, done.stderr


def images(folder):
    return sorted(n for n in os.listdir(folder) if n.upper().endswith(".BMP") and ".MASK." not in n.upper())


def mask_of(folder, name):
    path = os.path.join(folder, name[:-4] + ".MASK.BMP")
    return path if os.path.exists(path) else None


def judged(mask):
    """Mask values by colour: white 255, black 0, anything else 127."""
    rgb = mask.convert("RGB")
    return [255 if c == (255, 255, 255) else 0 if c == (0, 0, 0) else 127 for c in rgb.getdata()]


def shown(image_path, mask_path):
    """What a converted sprite shows: indexes (255 where transparent) and mask values."""
    with Image.open(image_path) as im:
        pixels = list(im.getdata())
        size = im.size
    values = [255] * len(pixels)
    if mask_path:
        with Image.open(mask_path) as m:
            values = judged(m)
    return size, [255 if v == 0 else p for p, v in zip(pixels, values)], values


def packed_name(name):
    stem, ext = name.rsplit(".", 1)
    return f"{stem}.packed.{ext}"


def main():
    samples, tool, packer = sys.argv[1:4]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for name in INPUTS + FONTS:
            shutil.copy(os.path.join(samples, name), work)
        run(tool, INPUTS + FONTS, work)

        # 1. Re-saved unchanged.
        for name in INPUTS + FONTS:
            folder = os.path.join(work, name + ".FILES")
            for n in os.listdir(folder):
                if n.upper().endswith(".BMP"):
                    with Image.open(os.path.join(folder, n)) as im:
                        im.load()
                        copy = im.copy()
                    copy.save(os.path.join(folder, n))
        out, err = run(packer, INPUTS + FONTS, work)
        identical = 0
        for name in INPUTS + FONTS:
            if f"{name}\tDONE!" not in out:
                failures.append(f"{name}: not packed after re-saving: {err}")
                continue
            # An unedited folder rebuilds to its original: nothing is written beside it.
            identical += not os.path.exists(os.path.join(work, packed_name(name)))
        print(f"re-saved by Pillow, unedited: {identical} of {len(INPUTS + FONTS)} rebuilt byte for byte")
        if identical != len(INPUTS + FONTS):
            failures.append("an unedited file did not rebuild byte for byte")

        # 2. Edited.
        expected = {}
        for name in INPUTS:
            folder = os.path.join(work, name + ".FILES")
            target = images(folder)[0]
            path = os.path.join(folder, target)
            with Image.open(path) as im:
                im.load()
                edited = im.resize((im.size[0] + 3, max(1, im.size[1] - 2)))
            px = edited.load()
            for k in range(min(edited.size)):
                px[k, k] = (k * 37) % 256
            edited.save(path)
            mask_path = mask_of(folder, target)
            if mask_path:
                with Image.open(mask_path) as m:
                    m.load()
                    mask = m.resize(edited.size)
                # Keep the mask's colours but move them to other indexes: judged by colour.
                rgb = mask.convert("RGB")
                if name.endswith(".RLC"):  # no grey in an RLC sprite
                    rgb = rgb.point(lambda v: 255 if v >= 128 else 0)
                rgb.convert("P", palette=Image.ADAPTIVE, colors=8).save(mask_path)
            expected[name] = (target, shown(path, mask_path))
        out, err = run(packer, INPUTS, work)
        for name in INPUTS:
            if f"{name}\tDONE!" not in out:
                failures.append(f"{name}: edited, not packed: {err}")
        rebuilt = [packed_name(n) for n in INPUTS]
        run(tool, rebuilt, work)
        for name in INPUTS:
            target, want = expected[name]
            folder = os.path.join(work, packed_name(name) + ".FILES")
            got_name = target if name.endswith((".WAD", ".ZOM")) else target[:-4] + ".packed.BMP"
            got_path = os.path.join(folder, got_name)
            if not os.path.exists(got_path):
                failures.append(f"{name}: {got_name} missing after packing")
                continue
            if shown(got_path, mask_of(folder, got_name)) != want:
                failures.append(f"{name}: {target} does not come back as edited")

    for f in failures:
        print("FAIL", f)
    print(f"{len(INPUTS) * 2 + len(FONTS) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
