#!/usr/bin/env python3
"""The page in headless Chromium, checked against the native headless program playing the same taps.

Plays the menu's Game 2 to its quick save by taps injected through Chromium's debugging protocol, each at the
frame the native script names; then checks that
  - the page took exactly those taps at those frames (its own --record says which it took, and when),
  - the KORVA.Quick it saved is the native run's byte for byte, and reached IndexedDB,
  - its menu, as Chromium shows it, is the native frame pixel for pixel,
  - after a reload, and after the browser was closed and started again on the same profile, the menu offers
    QUICK LOAD (again compared with the native frame of that start), and QUICK LOAD resumes the saved game.
Prints the page's size (raw and gzip) and the time to its first frame and to its first menu frame.

Python's standard library only: the protocol runs over --remote-debugging-pipe, PNGs are read with zlib.
"""
import argparse
import base64
import gzip
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import serve  # noqa: E402

SEED = 7
MENU_SHOT = 86       # a frame of the still menu, before the first tap
PLAN = [             # (frame, x, y): the menu's GAME 2, four rotators, QUICK SAVE
    (90, 112, 83),
    (110, 60, 60),
    (125, 100, 120),
    (140, 140, 160),
    (155, 80, 180),
    (175, 59, 310),
]
QUICK_LOAD = (150, 117)
QUICK_LOAD_AREA = (140, 113, 213, 122)  # left, top, right, bottom: where the menu writes QUICK LOAD
RESUMED_SHOT = 20    # frames after the QUICK LOAD tap: the resumed board, at rest


# ---- The debugging protocol over a pipe ----

class Browser:
    def __init__(self, profile, log):
        to_browser_r, to_browser_w = os.pipe()
        from_browser_r, from_browser_w = os.pipe()

        def child_fds():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)

        args = ["chromium", "--headless", "--remote-debugging-pipe", "--user-data-dir=" + profile,
                "--no-first-run", "--no-default-browser-check", "--no-sandbox", "--mute-audio",
                "--autoplay-policy=no-user-gesture-required", "--force-color-profile=srgb",
                "--force-device-scale-factor=1", "--window-size=800,900", "--hide-scrollbars",
                "--enable-unsafe-swiftshader", "about:blank"]
        self.proc = subprocess.Popen(args, preexec_fn=child_fds, close_fds=False, stdin=subprocess.DEVNULL,
                                     stdout=log, stderr=log)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.out = to_browser_w
        self.inp = from_browser_r
        self.next_id = 0
        self.replies = {}
        self.events = []
        self.lock = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()
        self.session = None

    def _read(self):
        buf = b""
        while True:
            chunk = os.read(self.inp, 1 << 16)
            if not chunk:
                with self.lock:
                    self.replies[None] = "closed"
                    self.lock.notify_all()
                return
            buf += chunk
            while b"\0" in buf:
                msg, buf = buf.split(b"\0", 1)
                m = json.loads(msg)
                with self.lock:
                    if "id" in m:
                        self.replies[m["id"]] = m
                    else:
                        self.events.append(m)
                    self.lock.notify_all()

    def send(self, method, params=None, session=True, timeout=30):
        with self.lock:
            self.next_id += 1
            mid = self.next_id
        msg = {"id": mid, "method": method, "params": params or {}}
        if session and self.session:
            msg["sessionId"] = self.session
        os.write(self.out, json.dumps(msg).encode() + b"\0")
        deadline = time.monotonic() + timeout
        with self.lock:
            while mid not in self.replies:
                if None in self.replies:
                    raise RuntimeError("the browser went away during " + method)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise RuntimeError("no answer to " + method)
                self.lock.wait(left)
            m = self.replies.pop(mid)
        if "error" in m:
            raise RuntimeError("%s: %s" % (method, m["error"]))
        return m.get("result", {})

    def open_page(self):
        target = self.send("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
        self.session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True},
                                 session=False)["sessionId"]
        self.send("Page.enable")
        self.send("Runtime.enable")

    def eval(self, expression):
        r = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in r:
            raise RuntimeError("%s: %s" % (expression, r["exceptionDetails"].get("exception", {})
                                           .get("description", r["exceptionDetails"].get("text"))))
        return r["result"].get("value")

    def console(self):
        with self.lock:
            lines = []
            for e in self.events:
                if e.get("method") == "Runtime.consoleAPICalled":
                    lines.append(" ".join(str(a.get("value", a.get("description", "")))
                                          for a in e["params"]["args"]))
                elif e.get("method") == "Runtime.exceptionThrown":
                    lines.append("exception: " + json.dumps(e["params"]["exceptionDetails"])[:400])
            return lines

    def close(self, console_file=None):
        if console_file:
            with open(console_file, "a") as f:
                f.write("\n".join(self.console()) + "\n")
        try:
            self.send("Browser.close", session=False, timeout=10)
        except RuntimeError:
            pass
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        os.close(self.out)


# ---- PNG, as the native program writes it and as Chromium captures it ----

def png_pixels(data):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB or RGBA PNG without interlacing."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG"
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        n, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + n]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unsupported PNG layout"
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 255
            elif f == 2:
                line[i] = (line[i] + b) & 255
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def compare_frames(native_png, browser_png):
    """Pixels that differ between the native frame and Chromium's capture, and the first few of them."""
    nw, nh, n = png_pixels(native_png)
    bw, bh, b = png_pixels(browser_png)
    if (nw, nh) != (bw, bh):
        return nw * nh, ["sizes differ: native %dx%d, browser %dx%d" % (nw, nh, bw, bh)]
    diffs, shown = 0, []
    for y in range(nh):
        for x in range(nw):
            if b[y][x] != n[y][x]:
                diffs += 1
                if len(shown) < 5:
                    shown.append("(%d,%d): native %s, browser %s" % (x, y, n[y][x], b[y][x]))
    return diffs, shown


# ---- The native program ----

def run_native(exe, folder, script_lines, shots, data=None):
    """Runs the native game headless on a script; returns the data folder. shots: {frame: path}."""
    os.makedirs(folder, exist_ok=True)
    data = data or os.path.join(folder, "data")
    os.makedirs(data, exist_ok=True)
    script = os.path.join(folder, "script.txt")
    with open(script, "w") as f:
        f.write("\n".join(script_lines) + "\n")
    args = [exe, "--headless", "--script", script, "--data", data]
    for frame, path in shots.items():
        args += ["--screenshot-at", "%d:%s" % (frame, path)]
    r = subprocess.run(args, cwd=folder, capture_output=True, text=True, timeout=300)
    if r.returncode != 0:
        raise RuntimeError("native run failed (%d): %s" % (r.returncode, r.stderr))
    return data


# ---- Driving the page ----

class Page:
    def __init__(self, browser, url):
        self.b = browser
        self.b.send("Page.navigate", {"url": url})
        self.frames = []  # (presents, performance.now()) as first seen
        self.rect = None
        self.slowest = 0.0  # the longest a poll waited for the page to answer, in seconds, once it ran
        self.slowest_at = 0  # frames ended when that poll was answered

    def state(self):
        asked = time.monotonic()
        v = self.b.eval("(function(){var M=window.Module; if(!M||!M._korvaPresents||!M.calledRun) return null;"
                        "return [M._korvaPresents(), M._korvaFramesEnded(), performance.now()];})()")
        if v and (not self.frames or self.frames[-1][0] != v[0]):
            self.frames.append((v[0], v[2]))
        # A poll is answered only between the game's turns: a loop that kept the tab would show here.
        if v and v[0] >= 1 and time.monotonic() - asked > self.slowest:
            self.slowest, self.slowest_at = time.monotonic() - asked, v[1]
        return v

    def wait_frames(self, ended, timeout=60):
        """Polls until at least `ended` frames have ended; returns the state then."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            v = self.state()
            if v and v[1] >= ended:
                return v
            time.sleep(0.003)
        raise RuntimeError("the page did not reach frame %d (state %s); console:\n%s"
                           % (ended, self.state(), "\n".join(self.b.console()[-20:])))

    def canvas_rect(self):
        if not self.rect:
            self.rect = self.b.eval("(function(){var r=document.getElementById('canvas').getBoundingClientRect();"
                                    "return [r.left, r.top, r.width, r.height];})()")
        return self.rect

    def mouse(self, kind, x, y):
        left, top = self.canvas_rect()[:2]
        p = {"type": kind, "x": left + x, "y": top + y}
        if kind != "mouseMoved":
            p.update(button="left", clickCount=1)
        self.b.send("Input.dispatchMouseEvent", p)

    def tap_at(self, frame, x, y):
        """Down in the pump once `frame` frames have ended, up in the next, as the headless script's tap
        (unless the program ended in between)."""
        v = self.wait_frames(frame)
        if v[1] != frame:
            raise RuntimeError("the tap planned for frame %d came too late: %d frames had ended" % (frame, v[1]))
        # SDL takes a button's position from the last motion.
        self.mouse("mouseMoved", x, y)
        self.mouse("mousePressed", x, y)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline and self.b.eval("Module.korvaExit") is None:
            if self.state()[1] > frame:
                self.mouse("mouseReleased", x, y)
                return
            time.sleep(0.003)
        self.mouse("mouseReleased", x, y)

    def wait_exit(self, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            code = self.b.eval("Module.korvaExit")
            if code is not None:
                return code
            time.sleep(0.02)
        return None

    def screenshot(self):
        left, top, w, h = self.canvas_rect()
        r = self.b.send("Page.captureScreenshot", {"format": "png", "clip": {
            "x": left, "y": top, "width": w, "height": h, "scale": 1}})
        return base64.b64decode(r["data"])

    def read_file(self, path):
        v = self.b.eval("(function(){try{return Array.from(FS.readFile(%s));}catch(e){return null;}})()"
                        % json.dumps(path))
        return None if v is None else bytes(v)

    def wait_store(self, timeout=20):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            s = self.b.eval("Module.korvaStore")
            if s["started"] and s["started"] == s["finished"]:
                return s
            time.sleep(0.02)
        raise RuntimeError("the copy to IndexedDB did not finish: %s" % self.b.eval("Module.korvaStore"))


class Checks:
    def __init__(self):
        self.passed = self.failed = 0

    def check(self, ok, what, detail=""):
        print("%s: %s%s" % ("ok" if ok else "FAILED", what, "" if ok or not detail else "\n    " + detail),
              flush=True)
        if ok:
            self.passed += 1
        else:
            self.failed += 1
        return ok


def input_lines(record):
    """The input lines of a record, without its seed and start files."""
    return [l for l in record.splitlines() if l and not l.startswith(("seed ", "file ", "#"))]


def planned_lines():
    """What a record holds for the plan: each tap's down and up, but no up for the last, which ended the
    program in the update after its down."""
    out = []
    for frame, x, y in PLAN:
        out += ["%d down %d %d" % (frame, x, y), "%d up %d %d" % (frame + 1, x, y)]
    return out[:-1]


def gz(path):
    with open(path, "rb") as f:
        return len(gzip.compress(f.read(), 9))


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--page", required=True, help="the folder holding korvatron.html, .js, .wasm, .data")
    ap.add_argument("--native", required=True, help="the native korvatron program")
    ap.add_argument("--out", required=True, help="a folder for this run's files (emptied first)")
    a = ap.parse_args()
    if not shutil.which("chromium"):
        print("web-test: skipped: no chromium on this machine")
        return 0
    out = os.path.abspath(a.out)
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    page_dir, native = os.path.abspath(a.page), os.path.abspath(a.native)
    c = Checks()

    # Sizes: what a server sends as it is, and gzipped at level 9.
    files = ["korvatron.html", "korvatron.js", "korvatron.wasm", "korvatron.data"]
    raw = {f: os.path.getsize(os.path.join(page_dir, f)) for f in files}
    zipped = {f: gz(os.path.join(page_dir, f)) for f in files}
    for f in files:
        print("size: %-15s %9d bytes, %9d gzip" % (f, raw[f], zipped[f]))
    print("size: %-15s %9d bytes, %9d gzip" % ("page total", sum(raw.values()), sum(zipped.values())))

    # The native side first: the plan, then a close at the menu so the run ends.
    # The quick save ends the program, as on the handheld.
    plan = ["%d tap %d %d" % p for p in PLAN]
    native_menu = os.path.join(out, "native-menu.png")
    nat1 = run_native(native, os.path.join(out, "native-1"), ["seed %d" % SEED] + plan, {MENU_SHOT: native_menu})

    server = serve.server(page_dir, 0)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d/korvatron.html?--seed=%d&--scale=1" % (server.server_address[1], SEED)
    profile = tempfile.mkdtemp(prefix="korva-chromium-")
    log = open(os.path.join(out, "chromium.log"), "w")
    b = Browser(profile, log)
    try:
        b.open_page()
        # ---- First start: a fresh profile, no player files ----
        p = Page(b, base + "&--record=/tmp/record.txt")
        first = p.wait_frames(1)
        p.wait_frames(MENU_SHOT + 1)
        menu_time = next(t for n, t in p.frames if n >= MENU_SHOT + 1)
        menu_shot = p.screenshot()
        for frame, x, y in PLAN:
            p.tap_at(frame, x, y)
        c.check(p.slowest < 1.0, "the page answered every poll while the game ran (slowest %.1f ms, at frame %d)"
                % (p.slowest * 1000, p.slowest_at))
        code = p.wait_exit()
        c.check(code == 0, "the quick save ended the program, with exit code 0", "exit code %s" % code)
        first_time = next(t for n, t in p.frames if n >= 1)
        print("time: first frame %.0f ms, first menu frame (frame %d, after the intro) %.0f ms after navigation"
              % (first_time, MENU_SHOT, menu_time))
        with open(os.path.join(page_dir, "screenshot-menu.png"), "wb") as f:
            f.write(menu_shot)
        with open(native_menu, "rb") as f:
            diffs, shown = compare_frames(f.read(), menu_shot)
        c.check(diffs == 0, "the menu in Chromium is the native frame %d, pixel for pixel" % MENU_SHOT,
                "%d pixels differ: %s" % (diffs, "; ".join(shown)))
        store = p.wait_store()
        c.check(store["error"] is None and store["loaded"], "the quick save was copied to IndexedDB", str(store))
        record = (p.read_file("/tmp/record.txt") or b"").decode()
        with open(os.path.join(out, "web-record-1.txt"), "w") as f:
            f.write(record)
        taken = [l for l in input_lines(record) if " focus " not in l]
        c.check(taken == planned_lines(), "the page took the planned taps at the planned frames",
                "took %s" % taken)
        web_quick = p.read_file("/save/KORVA.Quick")
        with open(os.path.join(nat1, "KORVA.Quick"), "rb") as f:
            native_quick = f.read()
        c.check(web_quick == native_quick and len(native_quick) > 0,
                "KORVA.Quick from the page is the native run's, byte for byte (%d bytes)" % len(native_quick),
                "page %s bytes, native %d" % (None if web_quick is None else len(web_quick), len(native_quick)))

        # ---- A reload, then the browser closed and started again: QUICK LOAD on the menu ----
        def quick_load_offered(page, label, resume):
            page.wait_frames(MENU_SHOT + 1)
            shot = page.screenshot()
            tap = MENU_SHOT + 4
            resumed = None
            if resume:
                page.tap_at(tap, QUICK_LOAD[0], QUICK_LOAD[1])
                page.wait_frames(tap + RESUMED_SHOT + 1)
                # The resumed board stands still until the next tap; the capture is of a frame past that one.
                resumed = page.screenshot()
            rec = (page.read_file("/tmp/record.txt") or b"").decode()
            starts = [l.split(" ")[1] for l in rec.splitlines() if l.startswith("file ")]
            c.check("KORVA.Quick" in starts, "%s: the page found KORVA.Quick in its store" % label,
                    "its start files: %s" % starts)
            folder = os.path.join(out, "native-" + label.replace(" ", "-"))
            native_shot = os.path.join(folder, "menu.png")
            resumed_native = os.path.join(folder, "resumed.png")
            lines = [l for l in rec.splitlines() if l.startswith(("seed ", "file "))]
            lines += ["%d tap %d %d" % (tap, QUICK_LOAD[0], QUICK_LOAD[1]), "%d close" % (tap + RESUMED_SHOT + 5)]
            run_native(native, folder, lines, {MENU_SHOT: native_shot, tap + RESUMED_SHOT: resumed_native})
            with open(native_shot, "rb") as f:
                diffs, shown = compare_frames(f.read(), shot)
            c.check(diffs == 0, "%s: the menu is pixel for pixel the native frame of that start" % label,
                    "%d pixels differ: %s" % (diffs, "; ".join(shown)))
            # Where the first start's menu had no text, this one must have it.
            left, top, right, bottom = QUICK_LOAD_AREA
            now, before = png_pixels(shot)[2], png_pixels(menu_shot)[2]
            changed = sum(now[y][x] != before[y][x] for y in range(top, bottom) for x in range(left, right))
            c.check(changed > 0, "%s: the menu offers QUICK LOAD (%d pixels of its text)" % (label, changed))
            if resume:
                with open(resumed_native, "rb") as f:
                    diffs, shown = compare_frames(f.read(), resumed)
                c.check(diffs == 0, "%s: QUICK LOAD resumes the saved game as the native program does" % label,
                        "%d pixels differ: %s" % (diffs, "; ".join(shown)))
            return shot

        p = Page(b, base + "&--record=/tmp/record.txt")
        quick_load_offered(p, "after a reload", resume=False)
        b.close(os.path.join(out, "console.txt"))
        b = Browser(profile, log)
        b.open_page()
        p = Page(b, base + "&--record=/tmp/record.txt")
        quick_load_offered(p, "after the browser restarted", resume=True)
        b.close(os.path.join(out, "console.txt"))
        b = None
        with open(os.path.join(out, "console.txt")) as f:
            errors = [l for l in f.read().splitlines() if l.startswith("exception")]
        c.check(not errors, "no exception in any of the three starts", "\n".join(e[:300] for e in errors[:3]))
    finally:
        if b:
            b.close(os.path.join(out, "console.txt"))
        server.shutdown()
        log.close()
        shutil.rmtree(profile, ignore_errors=True)
    print("screenshot: %s" % os.path.join(page_dir, "screenshot-menu.png"))
    print("web: %d passed, %d failed" % (c.passed, c.failed))
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
