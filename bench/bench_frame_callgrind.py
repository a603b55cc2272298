#!/usr/bin/env python3
"""Instruction counts under valgrind's callgrind, which the shared machine's load does not move: the whole
in-game frame per layout (bench_frame --frames, counted between its instrumentation start and stop), and one
headless start-up up to the first menu frame, with what decoding pictures and building fonts take of it."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

BENCH = "@CMAKE_CURRENT_BINARY_DIR@/bench_frame"
GAME_DIR = "@CMAKE_BINARY_DIR@/game"
FRAMES = 20
GOAL = 450_000  # instructions per frame

# (label, bench_frame arguments): ours in both layouts, and the peers for scale.
FRAME_RUNS = [
    ("ours, identity", ["--layout", "identity"]),
    ("ours, turned", ["--layout", "turned"]),
    ("peer key blits, identity", ["--layout", "identity", "--peer", "key"]),
    ("peer key, rotateSurface90Degrees", ["--layout", "turned", "--peer", "key_rot90"]),
    ("peer key, pixman SRC 90deg", ["--layout", "turned", "--peer", "key_pixman"]),
]

# What the start-up report names, as (label, function-name pattern); inclusive counts.
STARTUP_FUNCTIONS = [
    ("imagesLoad (the 54-slot table, brightness included)", r"imagesLoad\("),
    ("  applyBrightness (the per-load colour pass)", r"applyBrightness\("),
    ("sfLoadTGA (every picture: member read and decode)", r"sfLoadTGA\("),
    ("  TGA pixel decoding proper", r"tgaPixels<"),
    ("  unzReadCurrentFile (archive reads, sounds too)", r"unzReadCurrentFile"),
    ("fontLoad (game font: picture and glyphs)", r"fontLoad\("),
    ("fntInitSystem (system font: picture and glyphs)", r"fntInitSystem\("),
    ("fntBuildGlyphs (both fonts' glyph tables)", r"fntBuildGlyphs\("),
    ("sndLoadSample (the nine sounds)", r"sndLoadSample\("),
    ("introPlay (its 10 pictures and 82 frames)", r"introPlay\("),
    ("gfxPresent (every present)", r"gfxPresent\("),
    ("shellShutDown (after the frame)", r"shellShutDown\("),
]


def have_valgrind():
    return shutil.which("valgrind") is not None and shutil.which("callgrind_annotate") is not None


def totals(out_file):
    with open(out_file) as f:
        for line in f:
            if line.startswith("totals:") or line.startswith("summary:"):
                return int(line.split()[1])
    return None


def callgrind(args, out_file, extra=()):
    cmd = ["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out_file, *extra, *args]
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return r.returncode


def inclusive(out_file):
    """Function name -> the largest inclusive count callgrind_annotate gives any line of it."""
    r = subprocess.run(["callgrind_annotate", "--inclusive=yes", "--threshold=100", out_file],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    rows = []
    for line in r.stdout.splitlines():
        m = re.match(r"\s*([\d,]+)\s+\(\s*[\d.]+%\)\s+(.*)$", line)
        if m:
            rows.append((int(m.group(1).replace(",", "")), m.group(2)))
    return rows


def frame_figures(tmp):
    print("Instructions per frame (gameDraw + present), callgrind, %d frames after one warm-up:" % FRAMES)
    print("%-36s %14s %10s %s" % ("frame", "instructions", "goal", ""))
    for label, args in FRAME_RUNS:
        out = os.path.join(tmp, "frame.out")
        rc = callgrind([BENCH, "--frames", str(FRAMES), *args], out, ["--instr-atstart=no"])
        n = totals(out) if rc == 0 else None
        if n is None:
            print("%-36s %14s (run failed, exit code %d)" % (label, "-", rc))
            continue
        per = n / FRAMES
        verdict = ("met" if per <= GOAL else "NOT MET") if label.startswith("ours") else "(peer)"
        print("%-36s %14.0f %10d %s" % (label, per, GOAL, verdict))


def startup_figures(tmp):
    game = os.path.join(tmp, "game")
    os.makedirs(game)
    for f in ("korvatron", "korvatron.pak", "SysFont7x14.tga"):
        shutil.copy2(os.path.join(GAME_DIR, f), game)
    script = os.path.join(tmp, "menu.txt")
    with open(script, "w") as f:
        f.write("84 close\n")  # present 83 is the menu's first frame
    out = os.path.join(tmp, "startup.out")
    rc = callgrind([os.path.join(game, "korvatron"), "--headless", "--script", script, "--data",
                    os.path.join(tmp, "data")], out)
    total = totals(out) if rc == 0 else None
    print("\nStart-up to the first menu frame (one headless run under callgrind, inclusive instructions):")
    if total is None:
        print("  the run failed (exit code %d)" % rc)
        return
    rows = inclusive(out)
    print("%-56s %14d %7s" % ("the whole process", total, "100%"))
    for label, pattern in STARTUP_FUNCTIONS:
        counts = [n for n, name in rows if re.search(r"(^|[:\s])(\(anonymous namespace\)::)?" + pattern, name)]
        if not counts:
            print("%-56s %14s" % (label, "not seen"))
            continue
        n = max(counts)
        print("%-56s %14d %6.1f%%" % (label, n, 100.0 * n / total))


def main():
    if not have_valgrind():
        print("bench_frame_callgrind: valgrind is not installed; no instruction counts")
        return 0
    tmp = tempfile.mkdtemp(prefix="korva-callgrind-", dir="/dev/shm" if os.path.isdir("/dev/shm") else None)
    try:
        frame_figures(tmp)
        startup_figures(tmp)
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
