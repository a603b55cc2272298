#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora under fuzz/corpus/<target>/: a few tiny, valid files of each kind,
so the fuzzers start from inputs that get past the first checks. Run from anywhere; the output is committed.
Inputs that once failed live beside the seeds (names starting "fault-") and are left alone."""
import io
import os
import struct
import wave
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus")
FIXTURES = os.path.join(HERE, "..", "tests", "images", "fixtures")


def put(target, name, data):
    os.makedirs(os.path.join(OUT, target), exist_ok=True)
    with open(os.path.join(OUT, target, name), "wb") as f:
        f.write(data)


def tga():
    # Independent writers' files, one per pixel depth and encoding.
    for name in ["im_16.tga", "im_16_rle.tga", "im_24_top.tga", "im_32_rle.tga", "im_map16_rle.tga",
                 "im_map24.tga", "pil_24_rle_top.tga", "pil_32.tga"]:
        with open(os.path.join(FIXTURES, name), "rb") as f:
            put("tga", name, f.read())


def gsf_file(fmt, flags, w, h, xstep, pitch, data, frames=(), key=0x80000000, anchor=(0, 0)):
    head = b"GSF\x01" + struct.pack("<IBBhhhhhhIBBi", len(data), fmt, flags, w, h, xstep, pitch, anchor[0],
                                     anchor[1], key, 0, 0, 100)
    assert len(head) == 32
    body = struct.pack("<ii", len(frames), 16) + b"".join(struct.pack("<4i", *r) for r in frames)
    return head + body + data


def rle_rows(rows, bpp, wide):
    """Encoded rows: per row a list of packets (kind, count, payload); kinds 1 skip, 2 copy, 3 fill."""
    table, packets = b"", b""
    for row in rows:
        for kind, count, payload in row:
            packets += bytes([0x80 | (kind << 5) | ((count - 1) >> 8), (count - 1) & 255]) + payload
        packets += b"\x00\x00"
        table += struct.pack("<I" if wide else "<H", len(packets))
    return table + packets


def gsf():
    px = bytes(range(64))  # 4 x 8 pixels of 565, two bytes each
    put("gsf", "plain565.gsf", gsf_file(4, 0, 4, 8, 2, 8, px, frames=[(0, 0, 4, 4), (0, 4, 4, 4)]))
    put("gsf", "plain_pal.gsf", gsf_file(1, 0, 8, 2, 1, 8, bytes(range(16)), key=3))
    put("gsf", "plain8888.gsf", gsf_file(6, 0, 2, 2, 4, 8, bytes(range(16)), anchor=(128, 128)))
    rows = [[(1, 2, b""), (2, 3, b"\x11\x22\x33\x44\x55\x66")], [(3, 5, b"\xf8\x00")], []]
    put("gsf", "rle565.gsf", gsf_file(4, 1, 5, 3, 2, 10, rle_rows(rows, 2, False), key=0))
    put("gsf", "rle565_wide.gsf", gsf_file(4, 3, 5, 3, 2, 10, rle_rows(rows, 2, True), frames=[(1, 0, 3, 2)]))


def raw():
    put("raw", "pal4x4.raw", bytes(range(16)))
    put("raw", "565_4x4.raw", bytes(range(32)))
    put("raw", "pal16x16.raw", bytes(i * 7 & 255 for i in range(256)))


def archive():
    members = [("a/one.txt", b"korvatron " * 30, zipfile.ZIP_DEFLATED),
               ("a/two.bin", bytes(range(200)), zipfile.ZIP_STORED),
               ("three", b"", zipfile.ZIP_STORED)]
    for name, chosen in [("mixed.zip", members), ("stored.zip", members[1:2]), ("deflated.zip", members[:1])]:
        buf = io.BytesIO()
        with zipfile.ZipFile(buf, "w") as z:
            for member, data, method in chosen:
                info = zipfile.ZipInfo(member, date_time=(2004, 5, 6, 7, 8, 10))
                info.compress_type = method
                z.writestr(info, data)
        put("archive", name, buf.getvalue())


def wav():
    for name, width, rate, frames in [("u8.wav", 1, 8000, bytes(range(0, 256, 4))),
                                      ("s16.wav", 2, 22050, b"".join(struct.pack("<h", i * 997 - 16000)
                                                                     for i in range(40)))]:
        buf = io.BytesIO()
        with wave.open(buf, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(width)
            w.setframerate(rate)
            w.writeframes(frames)
        put("wav", name, buf.getvalue())


def sprites():
    # Eight bytes of drawing knobs (positions, angle, scales, mode, clip, opacity), then a ".gsf" file.
    px = bytes(i * 5 & 255 for i in range(128))  # 8 x 8 pixels of 565
    frames = [(0, 0, 4, 4), (4, 4, 4, 4), (6, 6, 4, 4), (-2, -2, 5, 5)]  # the last two reach outside
    put("sprites", "plain565.bin", bytes([10, 12, 0, 45, 0, 0, 0, 255]) +
        gsf_file(4, 0, 8, 8, 2, 16, px, frames=frames, anchor=(128, 128)))
    put("sprites", "keyed888.bin", bytes([30, 2, 1, 90, 0x81, 3, 5, 128]) +
        gsf_file(5, 0, 4, 4, 3, 12, bytes(range(48)), frames=[(1, 1, 3, 3)], key=0x000102))
    rows = [[(1, 2, b""), (2, 3, b"\x11\x22\x33\x44\x55\x66")], [(3, 5, b"\xf8\x00")], []]
    put("sprites", "rle565.bin", bytes([5, 5, 0, 0, 2, 1, 1, 64]) +
        gsf_file(4, 1, 5, 3, 2, 10, rle_rows(rows, 2, False), frames=[(1, 0, 3, 2)], key=0))


def font():
    # Twenty bytes of font (cell 4 x 6, no gaps, 4 x 2 grid from "A", a 16 x 12 palette picture), the text as
    # 16-bit characters, then the picture's bytes.
    text = "AB C\nDA\tBC"
    head = bytes([4, 6, 1, 1, 0x01, 0, 0, 0, 0, 4, 2, 0, 16, 0, 11, len(text), 0, 65, 3, 4])
    assert len(head) == 20
    pixels = bytes((x * 7 + y * 3) % 5 if (x % 4) and (y % 6) else 0 for y in range(12) for x in range(16))
    put("font", "grid16x12.bin", head + text.encode("utf-16-le") + pixels)
    head565 = bytes([3, 3, 0, 0, 0x63, 1, 1, 1, 1, 3, 3, 0, 13, 0, 13, 5, 0, 33, 40, 2])
    put("font", "coverage565.bin", head565 + "!#%'\n".encode("utf-16-le") + bytes(range(256)) * 2)


def script():
    put("script", "every.txt", b"# every command\n0 tap 10 20\n1 down -5 300\n1 move 6 7\n2 up 0 0\n"
        b"3 key 0x25\n3 keydown 13\n4 keyup 13\n5 focus 0\n5 focus 1\n6 answer 2\n7 close\n\n")
    put("script", "order.txt", b"9 key 65\n2 tap 1 1\n2 tap 2 2\n0 focus 1\n")


if __name__ == "__main__":
    tga()
    gsf()
    raw()
    archive()
    wav()
    sprites()
    font()
    script()
