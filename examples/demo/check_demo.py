#!/usr/bin/env python3
"""Runs the demo headless with a script of taps and a close request, then checks its screenshot: the size, the
banded background, the keyed picture and a white mark at every tap. Usage: check_demo.py DEMO WORKDIR"""
import os
import subprocess
import sys

from PIL import Image

demo, work = sys.argv[1], sys.argv[2]
os.makedirs(work, exist_ok=True)
script = os.path.join(work, "taps.txt")
shot = os.path.join(work, "shot.png")
if os.path.exists(shot):
    os.remove(shot)
with open(script, "w") as f:
    f.write("# two taps, then the window is closed\n5 tap 60 250\n9 tap 200 30\n20 close\n")

run = subprocess.run([demo, "--headless", "--script", script, "--screenshot", shot], cwd=work, timeout=100)
if run.returncode != 0:
    sys.exit(f"demo exited with {run.returncode}")

img = Image.open(shot).convert("RGB")
failures = []


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
if failures:
    sys.exit("\n".join(failures))
print("demo screenshot as expected")
