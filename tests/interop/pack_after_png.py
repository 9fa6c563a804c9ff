#!/usr/bin/env python3
"""Converts every sample and fixture with --format png, checks the PNGs
against the BMP conversion, and puts edited PNGs back with assetpack.

1. Every PNG shows what the BMP and its mask show: the same colours where
   the mask is not black, transparency (alpha 0, 128, 255) as the mask says.
2. Every PNG re-saved unedited by Pillow, by Pillow with its palette
   reordered as GIMP saves it (the transparent entry moved to 0), and by
   ImageMagick: each file rebuilds byte for byte (nothing is written).
3. One opaque pixel of the first picture of each file drawn red (Pillow,
   palette reordered): the rebuilt file converts to what the edit shows.

usage: pack_after_png.py SAMPLES_DIR FIXTURES_PROGRAM TOOL PACKER
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

try:
    from PIL import Image
except ImportError:
    print("Pillow is not installed (Debian: python3-pil)")
    sys.exit(77)

CONVERT = "/usr/bin/convert"
PICTURED = (".RLE", ".RLC", ".WAD", ".ZOM", ".FNT", ".FNC", ".FNM")


def run(program, args, cwd):
    done = subprocess.run([program] + args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return done.stdout, done.stderr


def pngs(folder):
    return sorted(n for n in os.listdir(folder) if n.endswith(".PNG"))


def rgba(path):
    with Image.open(path) as im:
        return im.size, list(im.convert("RGBA").getdata())


def shown(pixels):
    """What a viewer shows: the colour where not transparent, and the alpha."""
    return [(0, 0, 0, 0) if a == 0 else (r, g, b, a) for r, g, b, a in pixels]


def reorder(path, draw=None):
    """Re-saves an indexed PNG as GIMP does: its palette reordered, the
    entry of transparent pixels (if any) moved to 0; draw (x, y) paints one
    pixel red through an entry added for it."""
    with Image.open(path) as im:
        im.load()
        if im.mode != "P":
            if draw:
                im = im.convert("RGBA")
                im.putpixel(draw, (255, 0, 0, 255))
            im.save(path)
            return
        pal = im.getpalette()[:3 * 256]
        n = len(pal) // 3
        trns = im.info.get("transparency")
        alphas = list(trns) + [255] * (n - len(trns)) if isinstance(trns, (bytes, list)) else [255] * n
        if isinstance(trns, int):  # Pillow's form of a single transparent entry
            alphas[trns] = 0
        zero = [i for i in range(n) if alphas[i] == 0]
        order = zero[:1] + [i for i in reversed(range(n)) if i not in zero[:1]]
        new_of = {old: new for new, old in enumerate(order)}
        out = im.copy()
        out.putdata([new_of[p] for p in im.getdata()])
        out.putpalette(sum(([pal[3 * o], pal[3 * o + 1], pal[3 * o + 2]] for o in order), []))
        new_alpha = bytes(alphas[o] for o in order)
        if draw:
            # the last entry becomes red, unless a pixel uses it
            used = set(out.getdata())
            free = [i for i in range(n) if i not in used]
            if free:
                p = out.getpalette()
                p[3 * free[-1]:3 * free[-1] + 3] = [255, 0, 0]
                out.putpalette(p)
                out.putpixel(draw, free[-1])
                new_alpha = bytes(255 if i == free[-1] else a for i, a in enumerate(new_alpha))
        if trns is not None:
            out.save(path, transparency=new_alpha)
        else:
            out.save(path)


def imagemagick(path):
    # Under a plain name: ImageMagick reads "[...]" in a name as a frame list.
    plain = os.path.join(os.path.dirname(os.path.dirname(path)), "edit.png")
    shutil.copy(path, plain)
    subprocess.run([CONVERT, plain, plain], check=True)
    shutil.move(plain, path)


def main():
    samples, fixtures, tool, packer = sys.argv[1:5]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        png, bmp = os.path.join(work, "png"), os.path.join(work, "bmp")
        for d in (png, bmp):
            subprocess.run([fixtures, d], check=True, stdout=subprocess.DEVNULL)
            for name in os.listdir(samples):
                shutil.copy(os.path.join(samples, name), d)
        inputs = sorted(n for n in os.listdir(png) if n.upper().endswith(PICTURED) and "DAMAGED" not in n)
        out, err = run(tool, ["--format", "png"] + inputs, png)
        run(tool, inputs, bmp)
        inputs = [n for n in inputs if f"{n}\tDONE!" in out]
        checked = 0
        # 1. The PNGs against the BMPs and masks.
        for name in inputs:
            for p in pngs(os.path.join(png, name + ".FILES")):
                stem = os.path.join(bmp, name + ".FILES", p[:-4])
                size, want = rgba(stem + ".BMP")
                if os.path.exists(stem + ".MASK.BMP"):
                    _, mask = rgba(stem + ".MASK.BMP")
                    want = [(c[0], c[1], c[2], 0 if m[:3] == (0, 0, 0) else 255 if m[:3] == (255, 255, 255) else 128)
                            for c, m in zip(want, mask)]
                got_size, got = rgba(os.path.join(png, name + ".FILES", p))
                checked += 1
                if got_size != size or shown(got) != shown(want):
                    failures.append(f"{name}/{p}: does not show what the BMP and its mask show")
        print(f"{checked} PNGs show what their BMP and mask show")

        # 2. Unedited re-saves.
        for label, resave in (("Pillow", lambda p: Image.open(p).save(p)), ("Pillow, reordered", reorder),
                              ("ImageMagick", imagemagick)):
            if label == "ImageMagick" and not os.path.exists(CONVERT):
                continue
            for name in inputs:
                for p in pngs(os.path.join(png, name + ".FILES")):
                    resave(os.path.join(png, name + ".FILES", p))
            out, err = run(packer, inputs, png)
            rebuilt = [n for n in os.listdir(png) if ".packed." in n and not n.endswith(".FILES")]
            if rebuilt or out.count("DONE!") != len(inputs):
                failures.append(f"re-saved by {label}: not rebuilt byte for byte: {sorted(rebuilt)} {err}")
            for n in rebuilt:
                os.remove(os.path.join(png, n))
            print(f"re-saved by {label}: {len(inputs) - len(rebuilt)} of {len(inputs)} files rebuild byte for byte")

        # 3. One opaque pixel drawn red.
        drawn = {}
        for name in inputs:
            folder = os.path.join(png, name + ".FILES")
            for p in pngs(folder):
                size, pixels = rgba(os.path.join(folder, p))
                k = next((i for i, c in enumerate(pixels) if c[3] == 255), None)
                if k is not None:
                    reorder(os.path.join(folder, p), (k % size[0], k // size[0]))
                    drawn[name] = (p, k)
                    break
        out, err = run(packer, list(drawn), png)
        for name, (p, k) in drawn.items():
            stem, ext = name.rsplit(".", 1)
            packed = f"{stem}.packed.{ext}"
            run(tool, ["--format", "png", packed], png)
            own = f"{p[:-4].replace(stem, stem + '.packed', 1)}.PNG" if ext.upper() in ("RLE", "RLC") else p
            path = os.path.join(png, packed + ".FILES", own)
            if not os.path.exists(path):
                failures.append(f"{name}: drawing one pixel of {p}: no rebuilt picture ({err.strip()})")
                continue
            _, got = rgba(path)
            _, edited = rgba(os.path.join(png, name + ".FILES", p))
            red = got[k][:3]
            if ext.upper() in ("RLE", "RLC", "ZOM", "FNC") and red not in ((255, 0, 0), (248, 0, 0)):
                failures.append(f"{name}: the pixel drawn red in {p} came back as {red}")
            if shown([c for i, c in enumerate(got) if i != k]) != shown([c for i, c in enumerate(edited) if i != k]):
                failures.append(f"{name}: pixels not drawn in {p} changed")
        print(f"{len(drawn)} files with one pixel drawn packed back")

        # 4. PNGs that cannot be read back: refused with their reasons, nothing allocated for
        # pixels the file cannot hold.
        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

        def png_bytes(width, height, colour_type, rows):
            ihdr = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
            return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(rows, 9)) +
                    chunk(b"IEND", b""))
        many = b"\0" + b"".join(bytes((x, y, 7)) for y in range(20) for x in range(20))  # one row, 400 colours, RGB
        cases = {
            "a picture of more pixels than its bytes can hold": (
                png_bytes(30000, 30000, 6, b"\0" * 4001)[:200], "more than its"),
            "more than 256 colours": (png_bytes(400, 1, 2, many), "more than 256 colours"),
            "cut short": (png_bytes(4, 4, 6, b"\0" * 68)[:40], "PNG"),
        }
        for what, (data, reason) in cases.items():
            folder = os.path.join(png, "HERO.RLE.FILES")
            shutil.rmtree(folder, ignore_errors=True)
            run(tool, ["--format", "png", "HERO.RLE"], png)
            with open(os.path.join(folder, "HERO.PNG"), "wb") as f:
                f.write(data)
            out, err = run(packer, ["HERO.RLE"], png)
            if "HERO.RLE\tFAILED!" not in out or reason not in err:
                failures.append(f"a PNG {what}: not refused with its reason: {out.strip()} {err.strip()}")
        print(f"{len(cases)} unreadable PNGs refused")
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
