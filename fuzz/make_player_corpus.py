#!/usr/bin/env python3
"""Writes the seed corpora of the player-file fuzz targets under fuzz/corpus/{game,settings,scores}/.

The seeds start from files the game itself wrote: the built program is run headless on scripts that play,
quick-save, save through the dialog, change the options and enter names in the hall of fame. Next to them
go variants made from those files: one game file per rule the loader checks, each breaking that rule alone
(the program is run on every one of them and must refuse it naming that rule), games caught in the middle
of a turn, a removal or the panel, short and odd settings, and scores with odd names. The output is
committed; run it again after the record or the files change:

    fuzz/make_player_corpus.py [build/game/korvatron]
"""
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")
PROGRAM = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(HERE, "..", "build", "game",
                                                                               "korvatron"))

# GameState, as game/rules/state.h lays it out.
RECORD = 1048
BOARD, MARKED = 0, 400
ACCUMULATORS, TIME_LEFT, TIME_STEP, VOLUME, BRIGHTNESS = 864, 876, 880, 884, 888
SCORE, VARIANT = 900, 908
PAUSED, TAP, STYLUS, SOUND_ON, PANEL_OPEN = 915, 917, 918, 919, 921
GAME_OVER, BONUS_TIMER, STEP_TIMER = 932, 936, 940
LINE_BUSY, ROTATING, ROT_COL, ROT_ROW, DIRECTION = 1020, 1024, 1028, 1032, 1036
T_SHRINK, T_EMPTY, T_GROW, T_ROTATION, T_PANEL_OPEN = 1, 2, 3, 4, 5

# Screen positions the scripts tap.
QUICK_SAVE, MENU_BUTTON, PAUSE_BAR = (50, 310), (180, 310), (100, 290)
SOUND_SWITCH, PANEL_HANDLE = (212, 8), (170, 8)
DIALOG_QUIT, DIALOG_SAVE = (120, 112), (120, 120)
MENU_FIRST_FRAME = 82  # the menu's first poll after a cold start reads this frame's lines
MENU_OPTIONS, MENU_EXIT = (46, 242), (194, 242)
KBD_ROWS = ["1234567890-", "QWERTYUIOP", "ASDFGHJKL:_", "ZXCVBNM<>"]
KBD_DONE = (215, 288)


def rotator(col, row):
    return (40 + 20 * col, 40 + 20 * row)


def key(ch):
    for row, keys in enumerate(KBD_ROWS):
        if ch in keys:
            left = 29 + (12 if row in (1, 3) else 4)
            return (left + 16 * keys.index(ch) + 8, 270 + 10 * row + 5)
    raise ValueError(ch)


def put(target, name, data):
    os.makedirs(os.path.join(OUT, target), exist_ok=True)
    with open(os.path.join(OUT, target, name), "wb") as f:
        f.write(data)


def run(args, script, files=None):
    """The program headless with a fresh data folder (holding `files` first); the files it left, and its log."""
    data = tempfile.mkdtemp(prefix="korva-corpus-")
    try:
        for name, content in (files or {}).items():
            with open(os.path.join(data, name), "wb") as f:
                f.write(content)
        lines = [f"{frame} {what} {x} {y}" if what != "close" else f"{frame} close"
                 for frame, what, x, y in script]
        script_path = os.path.join(data, "script.txt")
        with open(script_path, "w") as f:
            f.write("\n".join(lines + ["5000 close"]) + "\n")
        subprocess.run([PROGRAM, "--headless", "--seed", "1", "--data", data, "--script", script_path] + args,
                       check=True, timeout=120, cwd=data)
        left = {}
        for name in os.listdir(data):
            if name.startswith("KORVA."):
                with open(os.path.join(data, name), "rb") as f:
                    left[name] = f.read()
        log = ""
        for folder in (data, os.path.dirname(PROGRAM)):
            path = os.path.join(folder, "Brask.log")
            if os.path.exists(path) and os.path.getmtime(path) >= os.path.getmtime(script_path):
                with open(path, errors="replace") as f:
                    log += f.read()
        return left, log
    finally:
        shutil.rmtree(data)


def taps(*events):
    """(frame, (x, y)) pairs as script taps."""
    return [(frame, "tap", x, y) for frame, (x, y) in events]


# ---- Game files ----

def played_games():
    """Files the game wrote: quick saves of each variant, a paused one, one with the sound off and the volume
    panel dragged, and a Game 3 saved through the in-game dialog."""
    games = {}
    left, _ = run(["--game", "1"], taps((10, rotator(3, 3)), (45, QUICK_SAVE)))
    games["g1-quick"] = left["KORVA.Quick"]
    left, _ = run(["--game", "2"], taps((10, rotator(0, 0)), (25, rotator(8, 8)), (40, PAUSE_BAR),
                                        (45, QUICK_SAVE)))
    games["g2-paused"] = left["KORVA.Quick"]
    left, _ = run(["--game", "2"], taps((5, SOUND_SWITCH), (10, PANEL_HANDLE)) +
                  [(25, "down", 110, 8), (26, "move", 130, 8), (27, "up", 130, 8)] + taps((35, QUICK_SAVE)))
    games["g2-mute-panel"] = left["KORVA.Quick"]
    left, _ = run(["--game", "3"], taps((10, rotator(5, 1)), (30, MENU_BUTTON), (40, DIALOG_SAVE), (60, (10, 10))))
    games["g3-dialog"] = left["KORVA.Game3"]
    for name, b in games.items():
        assert len(b) == RECORD, name
        put("game", name, b)
    assert games["g2-paused"][PAUSED] == 1 and games["g2-mute-panel"][SOUND_ON] == 0
    assert games["g2-mute-panel"][PANEL_OPEN] == 1
    return games


def i32(b, at, v):
    b[at:at + 4] = struct.pack("<i", v)


def f32(b, at, v):
    b[at:at + 4] = struct.pack("<f", v)


def timer(b, k, v):
    i32(b, STEP_TIMER + 4 * k, v)


FIELDS = {"score": SCORE, "variant": VARIANT, "acc": ACCUMULATORS, "over": GAME_OVER, "bonus": BONUS_TIMER,
          "busy": LINE_BUSY, "rot": ROTATING, "col": ROT_COL, "row": ROT_ROW, "dir": DIRECTION}
FLOAT_FIELDS = {"time": TIME_LEFT, "step": TIME_STEP, "vol": VOLUME, "bright": BRIGHTNESS}


def variant(base, timers, **fields):
    """The record with these step timers and fields set."""
    b = bytearray(base)
    for name, value in fields.items():
        if name in FLOAT_FIELDS:
            f32(b, FLOAT_FIELDS[name], value)
        else:
            i32(b, FIELDS[name], value)
    for k, value in timers.items():
        timer(b, k, value)
    return bytes(b)


def games_in_progress(g):
    """Records the game writes only in memory: mid-turn, mid-removal, the panel opening, a banner, the end."""
    busy = bytearray(variant(g["g2-paused"], {T_SHRINK: 3}, busy=1))
    busy[PAUSED] = 0
    for c in range(4):
        i32(busy, MARKED + 4 * (c * 10 + 2), 1)
    put("game", "mid-removal", bytes(busy))
    g["mid-removal"] = bytes(busy)
    put("game", "mid-grow-chain", variant(busy, {T_SHRINK: 0, T_GROW: 2}))
    put("game", "mid-turn", variant(g["g1-quick"], {T_ROTATION: 5}, rot=1, col=8, row=8))
    put("game", "mid-turn-anticlockwise", variant(g["g3-dialog"], {T_ROTATION: 1}, rot=1, col=2, row=7, dir=0))
    put("game", "panel-opening", variant(g["g1-quick"], {T_PANEL_OPEN: 4}))
    put("game", "banner-and-over", variant(g["g3-dialog"], {}, bonus=30, over=100, score=0))
    # Repaired on the way in: settings out of range, flags above 1, a marked plane with nothing under way.
    odd = bytearray(variant(g["g1-quick"], {}, vol=math.nan, bright=7.0, dir=5))
    odd[TAP], odd[STYLUS] = 2, 0xFF
    i32(odd, MARKED, 9)
    put("game", "repaired", bytes(odd))


def rule_breakers(g):
    """One file per rule the loader checks, each breaking that rule and no other; the program must refuse
    each and name the rule in its log."""
    g1, g2, g3 = g["g1-quick"], g["g2-paused"], g["g3-dialog"]
    board = bytearray(g2)
    i32(board, BOARD + 4 * 37, 6)
    cases = [
        ("rule-short", g2[:-1], "the file is not one game record"),
        ("rule-long", g2 + b"\0", "the file is not one game record"),
        ("rule-element-kind", bytes(board), "an element kind outside 1..5"),
        ("rule-variant", variant(g2, {}, variant=3), "a variant outside 0..2"),
        ("rule-block-outside", variant(g2, {T_ROTATION: 4}, rot=1, col=9), "a turning block outside the board"),
        ("rule-flag", variant(g2, {T_ROTATION: 4}, rot=2), "a turn or removal flag other than 0/1"),
        ("rule-timer", variant(g2, {T_EMPTY: 7}, busy=1), "a step timer outside its phase"),
        ("rule-turn-stuck", variant(g2, {T_ROTATION: 0}, rot=1), "a turn that never completes"),
        ("rule-removal-stuck", variant(g2, {}, busy=1), "a removal that never ends"),
        ("rule-clock", variant(g2, {}, time=math.inf), "an impossible clock"),
        ("rule-out-of-time", variant(g2, {}, time=0.0), "a Game 2 out of time"),
        ("rule-clock-stands", variant(g2, {}, step=0.0), "a clock that does not run"),
        ("rule-charges", variant(g1, {}, acc=3), "charges outside 0..2"),
        ("rule-no-charges", variant(g1, {}, acc=0), "a Game 1 without charges that never ends"),
        ("rule-supply-below", variant(g3, {}, score=-1), "a Game 3 below zero that never ends"),
        # Mid-removal, the refill would have carried this score past the 32-bit limit.
        ("rule-score", variant(g["mid-removal"], {}, score=2**31 - 2), "a score no game reaches"),
    ]
    for name, b, rule in cases:
        put("game", name, b)
        with tempfile.NamedTemporaryFile(suffix=".game") as f:
            f.write(b)
            f.flush()
            _, log = run(["--load", f.name], [(1, "close", 0, 0)])
        # The refusal's source line, then the rule on a line of its own.
        lines = log.splitlines()
        refused = [lines[i + 1] for i, line in enumerate(lines[:-1]) if "Game file refused" in line]
        assert refused == [rule], (name, log)


# ---- Settings ----

def settings():
    # Cold start, the options from the menu: the anticlockwise button, the brightness dragged to the right,
    # the volume to the left; back to the menu and out through the exit, which writes the settings.
    m = MENU_FIRST_FRAME
    script = taps((m + 8, MENU_OPTIONS), (m + 20, (80, 90))) + [
        (m + 30, "down", 90, 183), (m + 32, "move", 160, 183), (m + 34, "up", 160, 183),
        (m + 40, "down", 70, 227), (m + 42, "up", 70, 227)] + taps((m + 50, (120, 270)), (m + 70, MENU_EXIT),
                                                                   (m + 90, (120, 160)))
    left, _ = run([], script)
    written = left["KORVA.Setup"]
    volume, brightness, direction, sound = struct.unpack("<ffiB", written[:13])
    assert len(written) == 16 and direction == 0 and brightness > 0.5 and volume < 0.5 and sound == 1, written
    put("settings", "options-changed", written)
    put("settings", "defaults", struct.pack("<ffiB3x", 1.0, 0.5, 1, 1))
    for n in (0, 1, 4, 8, 12, 13, 15):
        put("settings", f"short-{n}", written[:n])
    put("settings", "long-17", written + b"\x01")
    put("settings", "nan-inf", struct.pack("<ffiB3x", math.nan, -math.inf, 1, 1))
    put("settings", "out-of-range", struct.pack("<ffiB3x", -0.0, 3.0e38, -1, 0xFF))
    put("settings", "tail-bytes", struct.pack("<ffiBBBB", 0.3, 0.7, 2, 0, 9, 9, 9))


# ---- Scores ----

ENTRY = 108


def entry(score, name, flag=1, tail=b""):
    n = name.encode("utf-16-le", "surrogatepass")
    return (struct.pack("<ii", score, flag) + n + b"\0\0" + tail)[:ENTRY].ljust(ENTRY, b"\0")


def scores():
    # An empty table (every score 0 shows as EMPTY), then two Game 3 runs quit at once with their starting
    # supply of 4: the first name typed with the keyboard's odd keys, the second eleven keys long.
    empty = b"".join(entry(0, "") for _ in range(30))
    table = empty
    for name in ("K<>:_-9", "QWERTYUIOPA"):
        script = taps((10, MENU_BUTTON), (20, DIALOG_QUIT))
        frame = 30
        for ch in name:
            script += taps((frame, key(ch)))
            frame += 3
        script += taps((frame + 5, KBD_DONE), (frame + 20, (10, 10)))
        left, _ = run(["--game", "3"], script, {"KORVA.Score": table})
        table = left["KORVA.Score"]
    assert len(table) == 3240
    assert table[2160 + 8:2160 + 28] == "QWERTYUIOP".encode("utf-16-le"), table[2160:2200]
    put("scores", "typed-names", table)

    odd = [entry(2**31 - 1, "ABCDEFGHIJ", tail="KLMNOPQRST".encode("utf-16-le")),  # no room left for a NUL
           entry(-2**31, "NEGATIVE"), entry(5, ""), entry(7, "\u00e9t\u00e9 \u65e5\u672c"),
           entry(7, "\udfff\ud800\ufffe\uffff"), entry(3, "\t\n\r\x01"), entry(100, "UNSORTED", flag=0),
           b"\xff" * ENTRY, entry(1, "A" * 49), entry(0, "ZERO")]
    t = b"".join(odd) * 3
    put("scores", "odd-names", t)
    put("scores", "short", t[:1000])
    put("scores", "empty-table", empty)
    put("scores", "no-bytes", b"")
    # After the file: a game just ended (variant, score, the typed name) entered into the table.
    put("scores", "enter-top", table + bytes([2]) + struct.pack("<i", 30) + "NEW ONE".encode("utf-16-le"))
    put("scores", "enter-tie", t + bytes([1]) + struct.pack("<i", 7) + "TIEDTIEDTIEDTIED".encode("utf-16-le"))


if __name__ == "__main__":
    if not os.access(PROGRAM, os.X_OK):
        sys.exit(f"no program at {PROGRAM}: build it first, or name it")
    for target in ("game", "settings", "scores"):
        shutil.rmtree(os.path.join(OUT, target), ignore_errors=True)
    g = played_games()
    games_in_progress(g)
    rule_breakers(g)
    settings()
    scores()
