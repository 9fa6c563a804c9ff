#!/usr/bin/env python3
"""Resizes one picture of every sample with smoothing in each editor at hand
(Pillow, ImageMagick, GraphicsMagick, netpbm, GIMP), saves it indexed as the
editor does (each rebuilds the colour table, with many new colours), and puts
it back with assetpack. The rebuilt file must:

- convert with every other picture exactly as before (a font's shared
  palette is never taken from one glyph's rebuilt table);
- keep every entry of the edited picture's table, fourth byte and all,
  except the entries its new colours take;
- show each stored pixel of the resized picture in the colour the editor
  gave it, or the nearest the table holds where the format cannot hold it.

A mask is resized without smoothing (nearest pixel) by Pillow, so that it
keeps its three levels. Editors that are not installed are skipped.

usage: pack_after_resize.py SAMPLES_DIR TOOL PACKER
"""
import os
import shutil
import subprocess
import sys
import tempfile

try:
    from PIL import Image
except ImportError:
    print("Pillow is not installed (Debian: python3-pil)")
    sys.exit(77)

INPUTS = ["HERO.RLE", "SHIP.RLC", "ARCHIVE.WAD", "CITY.ZOM", "LETTERS.FNT", "GOLD.FNC", "INK.FNM"]


def run(program, args, cwd):
    done = subprocess.run([program] + args, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True, text=True)
    return done.stdout, done.stderr


def pillow(src, dst):
    with Image.open(src) as im:
        big = im.convert("RGB").resize((im.width * 2, im.height * 2), Image.BILINEAR)
    big.quantize(256).save(dst)


def magick(program):
    def resize(src, dst):
        subprocess.run(program + [src, "-resize", "200%", "-type", "Palette", "BMP3:" + dst], check=True,
                       capture_output=True)
    return resize


def netpbm(src, dst):
    subprocess.run(f"bmptopnm '{src}' | pamscale 2 | pnmquant 256 | ppmtobmp -bpp 8 > '{dst}'", shell=True,
                   check=True, capture_output=True)


def gimp(src, dst):
    script = (f'(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "{src}" "{src}")))'
              f' (w (car (gimp-image-width image))) (h (car (gimp-image-height image))))'
              f' (gimp-image-convert-rgb image)'
              f' (gimp-context-set-interpolation INTERPOLATION-CUBIC)'
              f' (gimp-image-scale image (* 2 w) (* 2 h))'
              f' (gimp-image-convert-indexed image CONVERT-DITHER-NONE CONVERT-PALETTE-GENERATE 256 FALSE FALSE "")'
              f' (file-bmp-save2 RUN-NONINTERACTIVE image (car (gimp-image-get-active-drawable image))'
              f' "{dst}" "{dst}" 0 0 0))')
    subprocess.run(["gimp-console", "-i", "-d", "-f", "-b", script, "-b", "(gimp-quit 0)"], check=True,
                   capture_output=True, timeout=300)


EDITORS = [("Pillow", pillow, None), ("ImageMagick", magick(["/usr/bin/convert"]), "/usr/bin/convert"),
           ("GraphicsMagick", magick(["gm", "convert"]), "gm"), ("netpbm", netpbm, "pnmquant"),
           ("GIMP", gimp, "gimp-console")]


def rgb_of(path):
    with Image.open(path) as im:
        return im.size, list(im.convert("RGB").getdata())


def table_of(path):
    """The BMP's colour table as stored: blue, green, red, fourth byte."""
    with open(path, "rb") as f:
        data = f.read()
    header = int.from_bytes(data[14:18], "little")
    count = int.from_bytes(data[46:50], "little") or (1 << int.from_bytes(data[28:30], "little"))
    start = 14 + header
    return [tuple(data[start + 4 * i:start + 4 * i + 4]) for i in range(count)]


def rgb565(c):
    """A colour as a 16-bit colour shows it (ties may round either way)."""
    r, g, b = c
    r5, g6, b5 = (r * 31 + 127) // 255, (g * 63 + 127) // 255, (b * 31 + 127) // 255
    return ((r5 << 3) | (r5 >> 2), (g6 << 2) | (g6 >> 4), (b5 << 3) | (b5 >> 2))


def stored_mask(folder, name):
    path = os.path.join(folder, name[:-4] + ".MASK.BMP")
    if not os.path.exists(path):
        return None, None
    size, rgb = rgb_of(path)
    return path, [c != (0, 0, 0) for c in rgb]


def outputs(folder):
    return {n: open(os.path.join(folder, n), "rb").read() for n in sorted(os.listdir(folder)) if not n.startswith(".")}


def packed_name(name):
    stem, ext = name.rsplit(".", 1)
    return f"{stem}.packed.{ext}"


def own_name(ext, name):
    return packed_name(name) if ext in ("RLE", "RLC") else name


def main():
    samples, tool, packer = sys.argv[1:4]
    failures, tried = [], 0
    for editor, resize, program in EDITORS:
        if program and not shutil.which(program):
            print(f"{editor}: not installed, skipped")
            continue
        with tempfile.TemporaryDirectory() as work:
            for name in INPUTS:
                shutil.copy(os.path.join(samples, name), work)
            out, err = run(tool, INPUTS, work)
            if out.count("DONE!") != len(INPUTS):
                failures.append(f"{editor}: the samples did not convert: {err}")
                continue
            for name in INPUTS:
                ext = name.rsplit(".", 1)[1].upper()
                folder = os.path.join(work, name + ".FILES")
                before = outputs(folder)
                target = next(n for n in sorted(before) if n.upper().endswith(".BMP") and ".MASK." not in n.upper()
                              and rgb_of(os.path.join(folder, n))[0][0] > 1)
                original_table = table_of(os.path.join(folder, target))
                plain = os.path.join(work, "edit.bmp")
                shutil.copy(os.path.join(folder, target), plain)
                try:
                    resize(plain, plain + ".out.bmp")
                except subprocess.SubprocessError as e:
                    failures.append(f"{editor} {name}: the editor failed: {e} {getattr(e, 'stderr', '')}")
                    continue
                shutil.move(plain + ".out.bmp", os.path.join(folder, target))
                mask_path, _ = stored_mask(folder, target)
                if mask_path:
                    with Image.open(mask_path) as m:
                        m.resize((m.width * 2, m.height * 2), Image.NEAREST).save(mask_path)
                _, edited = rgb_of(os.path.join(folder, target))
                _, stored = stored_mask(folder, target)
                out, err = run(packer, [name], work)
                tried += 1
                if "DONE!" not in out:
                    failures.append(f"{editor} {name}: {out.strip()} {err.strip()}")
                    continue
                run(tool, [packed_name(name)], work)
                after = outputs(os.path.join(work, packed_name(name) + ".FILES"))
                wrong = []
                for n, data in before.items():
                    if n in (target, target[:-4] + ".MASK.BMP") or not n.upper().endswith(".BMP"):
                        continue
                    mine = os.path.join(work, packed_name(name) + ".FILES", own_name(ext, n))
                    if ".MASK." in n.upper() or not os.path.exists(mine):
                        if after.get(own_name(ext, n)) != data:
                            wrong.append(f"{n} changed")
                    elif rgb_of(mine) != rgb_of(os.path.join(folder, n)):
                        wrong.append(f"{n}: pixels changed")  # its table may hold new colours of the shared palette
                got_path = os.path.join(work, packed_name(name) + ".FILES", own_name(ext, target))
                new_table = table_of(got_path)
                original_colours = {(t[2], t[1], t[0]) for t in original_table}
                new_colours = set(edited) - original_colours
                rounded = {rgb565(c) for c in new_colours}  # a 16-bit format stores the nearest it holds

                def new(c):
                    return c in new_colours or (ext in ("RLC", "ZOM") and (c in rounded or any(
                        abs(c[0] - e[0]) <= 4 and abs(c[1] - e[1]) <= 2 and abs(c[2] - e[2]) <= 4
                        for e in new_colours)))
                for i, (was, now) in enumerate(zip(original_table, new_table)):
                    if was != now and (ext in ("WAD", "FNT", "FNM") or not new((now[2], now[1], now[0]))):
                        wrong.append(f"entry {i} became {now} from {was}")
                _, got = rgb_of(got_path)
                held = {t[:3] for t in new_table}
                for k, (e, g) in enumerate(zip(edited, got)):
                    want = (e[2], e[1], e[0])  # the table holds blue, green, red
                    if (stored is None or stored[k]) and ext not in ("RLC", "ZOM") and want in held and g != e:
                        wrong.append(f"pixel {k} shows {g}, not {e}")
                        break
                if wrong:
                    failures.append(f"{editor} {name}: " + "; ".join(wrong[:5]))
                shutil.rmtree(os.path.join(work, packed_name(name) + ".FILES"), ignore_errors=True)
    print(f"{tried} resized pictures packed back")
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
