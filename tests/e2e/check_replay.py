#!/usr/bin/env python3
"""Records a headless run of the probe program, replays the record, and compares the screenshots byte for
byte; checks that the record carries the seed and the player file, and that the replay leaves the player's
own file alone. Usage: check_replay.py PROBE WORKDIR"""
import os
import shutil
import signal
import subprocess
import sys
import time

probe, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
data = os.path.join(work, "player")
os.makedirs(data)
env = dict(os.environ, TMPDIR=work)  # the replays' own folders stay in the work folder
failures = []


def path(name):
    return os.path.join(work, name)


def run(*args):
    r = subprocess.run([probe, "--headless", *args], cwd=work, env=env, timeout=60, capture_output=True, text=True)
    if r.returncode != 0:
        sys.exit(f"{' '.join(args)}: exit code {r.returncode}\n{r.stderr}")


def read(name):
    with open(name, "rb") as f:
        return f.read()


with open(os.path.join(data, "KORVA.Probe"), "wb") as f:
    f.write(b"\x03")
with open(path("play.txt"), "w") as f:
    f.write("3 tap 30 40\n5 key 90\n8 tap 100 200\n9 key 90\n14 close\n")

run("--script", path("play.txt"), "--data", data, "--record", path("rec.txt"), "--screenshot-at", "12:" + path("a.png"))
record = read(path("rec.txt")).decode()
lines = record.splitlines()
if not any(line.startswith("seed ") for line in lines):
    failures.append("the record has no seed line:\n" + record)
if "file KORVA.Probe 03" not in lines:
    failures.append("the record does not carry the player file as it was at the start:\n" + record)
if read(os.path.join(data, "KORVA.Probe")) != b"\x05":
    failures.append("the recorded run did not count its two presses into the player file")

run("--script", path("rec.txt"), "--screenshot-at", "12:" + path("b.png"))
if read(path("a.png")) != read(path("b.png")):
    failures.append("the replay's frame 12 differs from the recorded run's")
if read(os.path.join(data, "KORVA.Probe")) != b"\x05":
    failures.append("the replay wrote over the player's own file")

# The comparison above means something only if the seed and the file change the picture.
seed = next(int(line.split()[1]) for line in lines if line.startswith("seed "))
run("--script", path("rec.txt"), "--seed", str(seed ^ 0x5A5A5A5A), "--screenshot-at", "12:" + path("c.png"))
if read(path("c.png")) == read(path("a.png")):
    failures.append("another seed gave the same picture")
with open(path("rec9.txt"), "w") as f:
    f.write(record.replace("file KORVA.Probe 03", "file KORVA.Probe 09"))
run("--script", path("rec9.txt"), "--screenshot-at", "12:" + path("d.png"))
if read(path("d.png")) == read(path("a.png")):
    failures.append("another recorded file gave the same picture")

# Without --data the record takes the player file from where the file system finds it, the program's
# folder, and the replay still keeps to a folder of its own.
bin_dir = os.path.join(work, "bin")
os.makedirs(bin_dir)
probe = shutil.copy(probe, os.path.join(bin_dir, "probe"))
with open(os.path.join(bin_dir, "KORVA.Probe"), "wb") as f:
    f.write(b"\x07")
run("--script", path("play.txt"), "--record", path("rec-bin.txt"), "--screenshot-at", "12:" + path("e.png"))
if "file KORVA.Probe 07" not in read(path("rec-bin.txt")).decode().splitlines():
    failures.append("the record left out the player file in the program's folder")
run("--script", path("rec-bin.txt"), "--screenshot-at", "12:" + path("f.png"))
if read(path("e.png")) != read(path("f.png")):
    failures.append("the replay of a run without --data differs from it")
if read(os.path.join(bin_dir, "KORVA.Probe")) != b"\x09":
    failures.append("the replay wrote over the player file in the program's folder")

# The desktop backend (SDL's dummy driver): the window is closed by a signal once frame 3 is on screen; the
# record must be complete and replay headless to the very same picture.
desk_env = dict(env, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy")
desk = subprocess.Popen([probe, "--record", path("rec-desk.txt"), "--screenshot-at", "3:" + path("g.png")],
                        cwd=work, env=desk_env, stderr=subprocess.PIPE, text=True)
deadline = time.monotonic() + 30
while not os.path.exists(path("g.png")) and time.monotonic() < deadline and desk.poll() is None:
    time.sleep(0.05)
desk.send_signal(signal.SIGTERM)  # SDL turns it into a close request: the frame being written is finished
try:
    _, desk_err = desk.communicate(timeout=30)
except subprocess.TimeoutExpired:
    desk.kill()
    sys.exit("the desktop run did not end on SIGTERM")
if desk.returncode != 0:
    failures.append(f"the desktop run ended with {desk.returncode}: {desk_err}")
desk_lines = read(path("rec-desk.txt")).decode().splitlines()
if not desk_lines or not desk_lines[-1].endswith(" close"):
    failures.append("the desktop record does not end with the close request: " + repr(desk_lines[-3:]))
run("--script", path("rec-desk.txt"), "--screenshot-at", "3:" + path("h.png"))
if not os.path.exists(path("g.png")) or read(path("g.png")) != read(path("h.png")):
    failures.append("the headless replay of the desktop run shows another frame 3")

if failures:
    sys.exit("\n".join(failures))
print("the record replays frame for frame")
