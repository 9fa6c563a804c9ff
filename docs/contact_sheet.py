#!/usr/bin/env python3
"""Draws a contact sheet of the images the demo made.

usage: contact_sheet.py DEMO_FOLDER OUTPUT.png
Run after `cmake --build --preset demo`; needs Pillow (Debian's python3-pil).
"""
import os
import sys

from PIL import Image, ImageDraw

SCALE = 3
PAD = 8
LABEL = 12
BACKGROUND = (48, 48, 56)


def tiles(folder):
    """(label, image) per converted input, images side by side, in name order."""
    for entry in sorted(os.listdir(folder)):
        if not entry.endswith(".FILES"):
            continue
        out = os.path.join(folder, entry)
        names = sorted(n for n in os.listdir(out) if n.upper().endswith(".BMP"))
        if entry.endswith("FNT.FILES"):  # only the drawn glyphs, not the blanks
            names = [n for n in names if n[:-4].isdigit() and (48 <= int(n[:-4]) <= 57 or 65 <= int(n[:-4]) <= 90)]
        images = [Image.open(os.path.join(out, n)).convert("RGB") for n in names]
        if images:
            yield entry[:-len(".FILES")], images


def strip(images):
    width = sum(i.width * SCALE + 2 for i in images)
    height = max(i.height for i in images) * SCALE
    row = Image.new("RGB", (width, height), BACKGROUND)
    x = 0
    for i in images:
        row.paste(i.resize((i.width * SCALE, i.height * SCALE), Image.NEAREST), (x, 0))
        x += i.width * SCALE + 2
    return row


def main():
    folder, target = sys.argv[1], sys.argv[2]
    rows = [(label, strip(images)) for label, images in tiles(folder)]
    width = max(r.width for _, r in rows) + 2 * PAD
    height = sum(r.height + LABEL + PAD for _, r in rows) + PAD
    sheet = Image.new("RGB", (width, height), BACKGROUND)
    draw = ImageDraw.Draw(sheet)
    y = PAD
    for label, row in rows:
        draw.text((PAD, y), label, fill=(230, 230, 230))
        sheet.paste(row, (PAD, y + LABEL))
        y += row.height + LABEL + PAD
    sheet.save(target, optimize=True)


if __name__ == "__main__":
    main()
