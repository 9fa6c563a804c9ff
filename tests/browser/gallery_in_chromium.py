#!/usr/bin/env python3
"""The gallery of the samples and of the fixtures, opened in headless Chromium
through its DevTools protocol: every page loads with every picture decoded,
nothing is asked for outside the output folder, the console stays clean,
names that are markup show as text, and a known pixel of a known sprite shows
its colour where the page puts it (and a transparent one the board).

usage: gallery_in_chromium.py SAMPLES FIXTURE_GENERATOR TOOL
"""
import base64
import glob
import io
import json
import os
import re
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

try:
    from PIL import Image
except ImportError:
    print("Pillow is not installed (Debian: python3-pil)")
    sys.exit(77)

BROWSER = shutil.which("chromium") or shutil.which("chromium-browser")


class DevTools:
    """A WebSocket client of the DevTools protocol, as small as it can be."""

    def __init__(self, url):
        parts = urllib.parse.urlparse(url)
        self.sock = socket.create_connection((parts.hostname, parts.port), timeout=60)
        key = base64.b64encode(os.urandom(16)).decode()
        self.sock.sendall((f"GET {parts.path} HTTP/1.1\r\nHost: {parts.netloc}\r\nUpgrade: websocket\r\n"
                           f"Connection: Upgrade\r\nSec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n")
                          .encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.sock.recv(1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise RuntimeError(f"no WebSocket: {head!r}")
        self.next_id = 0
        self.events = []

    def _read(self, n):
        data = b""
        while len(data) < n:
            piece = self.sock.recv(n - len(data))
            if not piece:
                raise RuntimeError("the browser closed the connection")
            data += piece
        return data

    def _message(self):
        payload = b""
        while True:
            first, second = self._read(2)
            length = second & 127
            if length == 126:
                length = struct.unpack(">H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8))[0]
            payload += self._read(length)
            if first & 0x80:
                return json.loads(payload)

    def call(self, method, **params):
        self.next_id += 1
        body = json.dumps({"id": self.next_id, "method": method, "params": params}).encode()
        mask = os.urandom(4)
        head = bytes([0x81])
        if len(body) < 126:
            head += bytes([0x80 | len(body)])
        elif len(body) < 65536:
            head += bytes([0x80 | 126]) + struct.pack(">H", len(body))
        else:
            head += bytes([0x80 | 127]) + struct.pack(">Q", len(body))
        self.sock.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(body)))
        while True:
            message = self._message()
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message["result"]
            self.events.append(message)

    def wait_for(self, event, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            for i, message in enumerate(self.events):
                if message.get("method") == event:
                    del self.events[i]
                    return message
            self.events.append(self._message())
        raise RuntimeError(f"no {event} within {seconds} s")


def start_browser(profile):
    browser = subprocess.Popen(
        [BROWSER, "--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-default-apps", "--disable-sync", "--no-first-run",
         "--hide-scrollbars", "--force-device-scale-factor=1", "--window-size=1200,900",
         "--remote-debugging-port=0", f"--user-data-dir={profile}", "about:blank"],
        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
        start_new_session=True)  # its helpers end with it
    deadline = time.time() + 60
    while time.time() < deadline:
        line = browser.stderr.readline()
        found = re.search(r"DevTools listening on (ws://\S+)", line)
        if found:
            port = urllib.parse.urlparse(found.group(1)).port
            with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list") as answer:
                page = next(t for t in json.load(answer) if t["type"] == "page")
            return browser, DevTools(page["webSocketDebuggerUrl"])
    raise RuntimeError("the browser did not start")


# Every picture loaded now (lazy ones too) and decoded; their sources and widths.
LOAD_ALL = """
(async () => {
  const images = [...document.images];
  for (const image of images) image.loading = "eager";
  await Promise.all(images.map(image => image.decode().catch(() => null)));
  return JSON.stringify(images.map(image => [image.getAttribute("src"), image.naturalWidth]));
})()
"""


def evaluate(tools, expression):
    result = tools.call("Runtime.evaluate", expression=expression, awaitPromise=True, returnByValue=True)
    if "exceptionDetails" in result:
        raise RuntimeError(f"the page's check failed: {result['exceptionDetails']}")
    return result["result"].get("value")


def page_of(pages, shown):
    return next(p for p in pages if f"<h1>{shown}</h1>" in open(p, encoding="utf-8").read())


def main():
    samples, fixtures, tool = (os.path.abspath(a) for a in sys.argv[1:4])
    if not BROWSER:
        print("Chromium is not installed (Debian: chromium)")
        return 77
    failures = []
    with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as scratch:
        game = os.path.join(scratch, "game")
        os.makedirs(game)
        for name in os.listdir(samples):
            shutil.copy(os.path.join(samples, name), game)
        subprocess.run([fixtures, os.path.join(scratch, "fixtures")], check=True, stdout=subprocess.DEVNULL)
        shutil.copy(os.path.join(scratch, "fixtures", "markup.WAD"), game)
        out = os.path.realpath(os.path.join(scratch, "out"))
        run = subprocess.run([tool, "-o", out, "--gallery", "game"], cwd=scratch, capture_output=True, text=True)
        if run.returncode != 3:  # DAMAGED.RLE fails on purpose
            failures.append(f"the run exited with {run.returncode}: {run.stderr}")
        pages = [os.path.join(out, "index.html")] + sorted(glob.glob(os.path.join(out, "index.pages", "*.html")))
        browser, tools = start_browser(os.path.join(scratch, "profile"))
        try:
            for method in ("Page.enable", "Network.enable", "Runtime.enable", "Log.enable"):
                tools.call(method)
            for page in pages:
                tools.call("Page.navigate", url="file://" + urllib.parse.quote(page))
                tools.wait_for("Page.loadEventFired")
                for src, width in json.loads(evaluate(tools, LOAD_ALL)):
                    if width <= 0:
                        failures.append(f"{os.path.basename(page)}: {src} does not decode")
            # Nothing asked for outside the output folder, nothing said on the console.
            for message in tools.events:
                method, params = message.get("method"), message.get("params", {})
                if method == "Network.requestWillBeSent":
                    url = urllib.parse.unquote(params["request"]["url"])
                    if not url.startswith("file://" + out + "/"):
                        failures.append(f"a request leaves the output folder: {url}")
                elif method == "Runtime.consoleAPICalled" or method == "Runtime.exceptionThrown":
                    failures.append(f"the console: {params}")
                elif method == "Log.entryAdded" and params["entry"]["level"] in ("error", "warning"):
                    failures.append(f"the console: {params['entry']['text']} ({params['entry'].get('url')})")

            # The names that are markup, shown as text and run nowhere.
            markup = page_of(pages, "game/markup.WAD")
            tools.call("Page.navigate", url="file://" + urllib.parse.quote(markup))
            tools.wait_for("Page.loadEventFired")
            text = evaluate(tools, "document.body.innerText")
            for name in ('<img src=x onerror=alert(1)>', '"><script>alert(2)</script>', "&amp;'x'.PIC", "<b>P</b>.ACT"):
                if name not in text:
                    failures.append(f"the name {name} does not show as text")
            if evaluate(tools, "document.scripts.length + document.querySelectorAll('b, img[src=x]').length") != 0:
                failures.append("a name became markup")

            # HERO.RLE's page: a pixel the mask keeps shows its colour, one it
            # clears shows the board.
            hero = page_of(pages, "game/HERO.RLE")
            tools.call("Page.navigate", url="file://" + urllib.parse.quote(hero))
            tools.wait_for("Page.loadEventFired")
            evaluate(tools, LOAD_ALL)
            box = json.loads(evaluate(tools, "JSON.stringify((r => [r.x, r.y, r.width])("
                                             "document.querySelector('figure img').getBoundingClientRect()))"))
            shot = tools.call("Page.captureScreenshot", format="png")
            screen = Image.open(io.BytesIO(base64.b64decode(shot["data"]))).convert("RGB")
            folder = os.path.join(out, "game", "HERO.RLE.FILES")
            picture = Image.open(os.path.join(folder, "HERO.BMP")).convert("RGB")
            mask = Image.open(os.path.join(folder, "HERO.MASK.BMP")).convert("L")
            zoom = box[2] / picture.width
            kept = next((x, y) for y in range(picture.height) for x in range(picture.width)
                        if mask.getpixel((x, y)) == 255 and picture.getpixel((x, y)) not in ((255, 255, 255), (200, 200, 200)))
            cleared = next((x, y) for y in range(picture.height) for x in range(picture.width)
                           if mask.getpixel((x, y)) == 0)
            for (x, y), want in ((kept, [picture.getpixel(kept)]), (cleared, [(200, 200, 200), (255, 255, 255)])):
                at = (int(box[0] + (x + 0.5) * zoom), int(box[1] + (y + 0.5) * zoom))
                shown = screen.getpixel(at)
                if not any(max(abs(a - b) for a, b in zip(shown, w)) <= 2 for w in want):
                    failures.append(f"HERO.BMP's pixel {(x, y)} shows {shown} at {at}, not {want}")
        finally:
            os.killpg(browser.pid, signal.SIGKILL)
            browser.wait()
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
