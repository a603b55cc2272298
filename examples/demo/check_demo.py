#!/usr/bin/env python3
"""Runs the demo headless with a script of taps and a close request, then checks its screenshot: the size, the
banded background, the keyed picture, the text and a white mark at every tap. Then: a script without a close
and no script at all end by themselves, a stray argument is refused, and on the desktop (SDL's dummy drivers)
the frames are paced by sleeping, not by spinning a core. Usage: check_demo.py DEMO WORKDIR"""
import os
import subprocess
import sys
import time

from PIL import Image

demo, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)
failures = []


def headless(name, script_text, *extra):
    """Runs the demo headless (with the script when given); its exit code and the screenshot, or None."""
    shot = os.path.join(work, name + ".png")
    if os.path.exists(shot):
        os.remove(shot)
    args = [demo, "--headless", "--screenshot", shot, *extra]
    if script_text is not None:
        script = os.path.join(work, name + ".txt")
        with open(script, "w") as f:
            f.write(script_text)
        args += ["--script", script]
    try:
        run = subprocess.run(args, cwd=work, timeout=30, capture_output=True, text=True)
    except subprocess.TimeoutExpired:
        failures.append(f"{name}: the demo did not end within 30 s")
        return None, None, ""
    return run.returncode, Image.open(shot).convert("RGB") if os.path.exists(shot) else None, run.stderr


code, img, _ = headless("taps", "# two taps, then the window is closed\n5 tap 60 250\n9 tap 200 30\n20 close\n")
if code != 0 or img is None:
    sys.exit(f"demo exited with {code}" + ("" if img else " and wrote no screenshot"))


def near(at, want, tolerance=12):
    got = img.getpixel(at)
    if any(abs(g - w) > tolerance for g, w in zip(got, want)):
        failures.append(f"pixel {at}: {got}, expected about {want}")


if img.size != (240, 320):
    sys.exit(f"screenshot is {img.size}, expected (240, 320)")
near((0, 0), (0x10, 0x18, 0x30))            # first background band
near((239, 319), (0x48, 0x50, 0x5A))        # last band: 0x101830 + 7 x 0x080806
near((60, 250), (255, 255, 255))            # the first tap's mark
near((200, 30), (255, 255, 255))            # the second tap's mark
near((40, 40), (0xFF, 0xE0, 0x40))          # the picture's stripe, centred on (40, 40)
near((40, 22), (0x20, 0x60, 0xE0))          # the picture's ball above the stripe
near((40 - 23, 40 - 23), (0x10, 0x18, 0x30))  # the picture's keyed corner shows the background
# "Tap the screen" in the system font, white, centred on the row 290: the font was found beside the demo.
lettering = sum(1 for x in range(60, 180) for y in range(288, 306) if img.getpixel((x, y)) == (255, 255, 255))
if lettering < 40:
    failures.append(f"the text row holds {lettering} white pixels: no text was drawn")

# A script that runs out without a close ends the run once its last tap shows; no script ends at once.
code, img, _ = headless("no-close", "5 tap 60 250\n")
if code is not None and (code != 0 or img is None or img.getpixel((60, 250)) != (255, 255, 255)):
    failures.append(f"a script without a close: exit {code}, mark {img.getpixel((60, 250)) if img else None}")
code, img, _ = headless("no-script", None)
if code is not None and (code != 0 or img is None):
    failures.append(f"no script: exit {code}, screenshot {'written' if img else 'missing'}")

code, _, err = headless("stray", None, "stray-argument")
if code is not None and (code != 2 or "stray-argument" not in err or "Usage:" not in err):
    failures.append(f"a stray argument: exit {code}, stderr {err!r}")

# On the desktop, two seconds of frames at 20 a second. SIGTERM becomes SDL's quit, as a closed window.
env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
start = time.monotonic()
proc = subprocess.Popen([demo], cwd=work, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
time.sleep(2)
proc.terminate()
_, status, usage = os.wait4(proc.pid, 0)
wall, cpu = time.monotonic() - start, usage.ru_utime + usage.ru_stime
if cpu > 0.6 * wall:
    failures.append(f"the desktop demo used {cpu:.2f} s of processor time in {wall:.2f} s: it spins")

if failures:
    sys.exit("\n".join(failures))
print("demo as expected: screenshot, text, ends without a close or a script, refuses a stray argument, "
      f"sleeps between frames ({cpu:.2f} s of processor time in {wall:.2f} s)")
