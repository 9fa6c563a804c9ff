#!/usr/bin/env python3
"""Edits every picture of every sample and fixture with ImageMagick, which
re-quantises an indexed picture whenever it saves one (its colour table comes
back reordered and cut to the colours used), and puts them back with
assetpack.

1. Every picture re-saved unchanged: each file must rebuild byte for byte.
2. One pixel of one picture of each file drawn red: the rebuilt file must
   convert to what the edited picture shows: every pixel ImageMagick left as
   it was unchanged, and the drawn one red (RGB565-rounded where the format
   stores 16-bit colours; where the format cannot hold a colour at all, an
   archive's palette or a font's shades, the nearest it holds). ImageMagick
   itself may merge colours that differ by one step when it re-quantises:
   those pixels must come back as it saved them, and are counted apart.

usage: pack_after_imagemagick.py SAMPLES_DIR FIXTURES_PROGRAM TOOL PACKER
"""
import os
import shutil
import subprocess
import sys
import tempfile

CONVERT = "/usr/bin/convert"
try:
    from PIL import Image
except ImportError:
    print("Pillow is not installed (Debian: python3-pil)")
    sys.exit(77)
if not os.path.exists(CONVERT):
    print("ImageMagick is not installed (Debian: imagemagick)")
    sys.exit(77)

PICTURED = (".RLE", ".RLC", ".WAD", ".ZOM", ".FNT", ".FNC", ".FNM")


def run(program, args, cwd):
    done = subprocess.run([program] + args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return done.stdout, done.stderr


def empty(path):
    """A picture of no pixels (an empty glyph), which no editor opens."""
    with open(path, "rb") as f:
        head = f.read(26)
    return int.from_bytes(head[18:22], "little", signed=True) * int.from_bytes(head[22:26], "little", signed=True) == 0


def pictures(folder):
    return sorted(n for n in os.listdir(folder)
                  if n.upper().endswith(".BMP") and ".MASK." not in n.upper() and not empty(os.path.join(folder, n)))


def mask_of(folder, name):
    path = os.path.join(folder, name[:-4] + ".MASK.BMP")
    return path if os.path.exists(path) else None


def colours(path):
    with Image.open(path) as im:
        return im.size, list(im.convert("RGB").getdata())


def opaque(folder, name):
    """Per pixel: is it stored (its mask white or grey)?"""
    path = mask_of(folder, name)
    size, rgb = colours(os.path.join(folder, name))
    if not path:
        return [True] * len(rgb)
    return [c != (0, 0, 0) for c in colours(path)[1]]


def rgb565(c):
    """A colour as a 16-bit colour shows it."""
    r, g, b = c
    r5, g6, b5 = (r * 31 + 127) // 255, (g * 63 + 127) // 255, (b * 31 + 127) // 255
    return ((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2))


def packed_name(name):
    stem, ext = name.rsplit(".", 1)
    return f"{stem}.packed.{ext}"


def imagemagick(path, *draw):
    # Under a plain name: ImageMagick reads "[...]" in a name as a frame list.
    plain = os.path.join(os.path.dirname(os.path.dirname(path)), "edit.bmp")
    shutil.copy(path, plain)
    subprocess.run([CONVERT, plain, *draw, "-type", "Palette", "BMP3:" + plain], check=True)
    shutil.move(plain, path)


def main():
    samples, fixtures, tool, packer = sys.argv[1:5]
    failures = []
    figures = {}  # extension -> [files, rebuilt byte for byte, edits exact]
    with tempfile.TemporaryDirectory() as work:
        subprocess.run([fixtures, work], check=True, stdout=subprocess.DEVNULL)
        for name in os.listdir(samples):
            shutil.copy(os.path.join(samples, name), work)
        inputs = sorted(n for n in os.listdir(work) if n.upper().endswith(PICTURED) and "DAMAGED" not in n)
        out, err = run(tool, inputs, work)
        inputs = [n for n in inputs if f"{n}\tDONE!" in out and os.path.isdir(os.path.join(work, n + ".FILES"))]
        originals = {}
        for name in inputs:
            folder = os.path.join(work, name + ".FILES")
            originals[name] = {p: colours(os.path.join(folder, p)) for p in pictures(folder)}
            figures.setdefault(name.rsplit(".", 1)[1].upper(), [0, 0, 0])[0] += 1

        # 1. Every picture and mask re-saved unchanged.
        for name in inputs:
            folder = os.path.join(work, name + ".FILES")
            for n in os.listdir(folder):
                if n.upper().endswith(".BMP") and not empty(os.path.join(folder, n)):
                    imagemagick(os.path.join(folder, n))
        out, err = run(packer, inputs, work)
        for name in inputs:
            ext = name.rsplit(".", 1)[1].upper()
            # An unedited folder rebuilds to its original: nothing is written beside it.
            same = not os.path.exists(os.path.join(work, packed_name(name)))
            figures[ext][1] += same
            if not same:
                failures.append(f"{name}: re-saved unchanged, not rebuilt byte for byte: {err}")

        # 2. One stored pixel of the first picture that has one, drawn red.
        drawn = {}
        for name in inputs:
            folder = os.path.join(work, name + ".FILES")
            for target in pictures(folder):
                stored = opaque(folder, target)
                if True in stored:
                    size = originals[name][target][0]
                    k = stored.index(True)
                    x, y = k % size[0], k // size[0]
                    path = os.path.join(folder, target)
                    imagemagick(path, "-fill", "red", "-draw", f"point {x},{y}")
                    drawn[name] = (target, k, stored, colours(path)[1])
                    break
        out, err = run(packer, list(drawn), work)
        run(tool, [packed_name(n) for n in drawn], work)
        merged = 0
        for name, (target, k, stored, edited) in drawn.items():
            ext = name.rsplit(".", 1)[1].upper()
            folder = os.path.join(work, packed_name(name) + ".FILES")
            own = packed_name(target) if ext in ("RLE", "RLC") else target
            got = colours(os.path.join(folder, own))[1]
            was = originals[name][target][1]
            wrong = []
            for i, (a, e, g) in enumerate(zip(was, edited, got)):
                if not stored[i]:
                    continue
                if e != a and i != k:
                    merged += 1  # changed by ImageMagick's own re-quantising
                want = rgb565(e) if ext in ("RLC", "ZOM") else e
                if g != want and not (e != a and ext in ("WAD", "FNT", "FNM")):
                    wrong.append(i)
            # Every other picture of the file comes back as it was.
            for p, (size, before) in originals[name].items():
                if p != target and colours(os.path.join(folder, p))[1] != before:
                    wrong.append(p)
            figures[ext][2] += not wrong
            if wrong:
                failures.append(f"{name}: drawing one pixel of {target}: {len(wrong)} pixels not as edited: {err}")
        print(f"pixels ImageMagick changed itself (merged colours) besides the drawn ones: {merged}")

    for ext, (files, identical, exact) in sorted(figures.items()):
        print(f"{ext}: {files} files; re-saved by ImageMagick unedited: {identical} rebuilt byte for byte; "
              f"one pixel drawn: {exact} came back as edited")
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
