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
    ("  loadSlot (its pictures read and decoded)", r"loadSlot\("),
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
    # The header's summary is written before the counts are known when instrumentation starts late; the
    # trailing totals line always holds them.
    found = {}
    with open(out_file) as f:
        for line in f:
            for key in ("totals:", "summary:"):
                if line.startswith(key):
                    found[key] = int(line.split()[1])
    return found.get("totals:", found.get("summary:"))


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


# Callgrind counts every iteration of a string instruction as one instruction, so a large memcpy that glibc
# does with `rep movsb` counts about one per byte; this tunable makes glibc copy with its vector loop instead,
# which is closer to what the processor does per byte moved.
VECTOR_MEMCPY = "glibc.cpu.x86_rep_movsb_threshold=2147483647"


def frame_count(args, out, tunables):
    env = dict(os.environ)
    if tunables:
        env["GLIBC_TUNABLES"] = tunables
    cmd = ["valgrind", "--tool=callgrind", "--instr-atstart=no", "--callgrind-out-file=" + out,
           BENCH, "--frames", str(FRAMES), *args]
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    return totals(out) / FRAMES if r.returncode == 0 else None


def function_total(rows, pattern):
    """Inclusive count of the functions matching the pattern: each function's largest count on a row that
    names it as file:function (callgrind_annotate may or may not add its object file, and splits a
    function's cost over rows by source file), summed over template instances."""
    seen = {}
    for n, name in rows:
        m = re.match(r"(?!=>)\S*?:(.*?)(\s+\[[^\]]*\])?$", name)
        if not m:
            continue
        func = m.group(1)
        if re.search(r"(^|\s)(\(anonymous namespace\)::)?" + pattern, func):
            seen[func] = max(seen.get(func, 0), n)
    return sum(seen.values()) if seen else None


def frame_figures(tmp):
    print("Instructions per frame (gameDraw + present), callgrind, %d frames after one warm-up;" % FRAMES)
    print("'rep movsb' as glibc chooses it here, and with memcpy copying by its vector loop (%s):" % VECTOR_MEMCPY)
    print("%-36s %12s %14s %9s %s" % ("frame", "rep movsb", "vector memcpy", "goal", ""))
    out = os.path.join(tmp, "frame.out")
    for label, args in FRAME_RUNS:
        plain = frame_count(args, out, None)
        vector = frame_count(args, out, VECTOR_MEMCPY)
        if plain is None or vector is None:
            print("%-36s run failed" % label)
            continue
        if label.startswith("ours"):
            verdict = "%s / %s" % ("met" if plain <= GOAL else "NOT MET", "met" if vector <= GOAL else "NOT MET")
        else:
            verdict = "(peer)"
        print("%-36s %12.0f %14.0f %9d %s" % (label, plain, vector, GOAL, verdict))


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
        n = function_total(rows, pattern)
        if n is None:
            print("%-56s %14s" % (label, "not seen"))
            continue
        print("%-56s %14d %6.1f%%" % (label, n, 100.0 * n / total))
        if pattern.startswith("loadSlot"):
            # The pass is inlined into imagesLoad: what the table costs beyond reading its pictures.
            table = function_total(rows, r"imagesLoad\(")
            if table is not None:
                print("%-56s %14d %6.1f%%" % ("  the brightness pass (imagesLoad less loadSlot)", table - n,
                                              100.0 * (table - n) / total))


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
