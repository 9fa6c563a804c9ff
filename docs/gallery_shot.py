#!/usr/bin/env python3
"""Takes the README's picture of the gallery: the samples converted with
--gallery, the archive's page opened in headless Chromium and its screenshot
written, as a reader would see it.

usage: gallery_shot.py TOOL SAMPLES OUTPUT.png
Needs Debian's chromium.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile


def main():
    tool, samples, output = (os.path.abspath(a) for a in sys.argv[1:4])
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    if not browser:
        sys.exit("Chromium is not installed (Debian: chromium)")
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as scratch:
        game = os.path.join(scratch, "game")
        shutil.copytree(samples, game)
        subprocess.run([tool, "-o", "out", "--gallery", "game"], cwd=scratch, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        pages = os.path.join(scratch, "out", "index.pages")
        page = next(os.path.join(pages, n) for n in sorted(os.listdir(pages))
                    if re.search(r"<h1>game/ARCHIVE\.WAD</h1>", open(os.path.join(pages, n), encoding="utf-8").read()))
        subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                        "--force-device-scale-factor=1", "--window-size=900,640",
                        f"--user-data-dir={os.path.join(scratch, 'profile')}", f"--screenshot={output}",
                        "file://" + page], check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
