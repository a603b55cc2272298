#!/usr/bin/env python3
"""korvatron-pack on folders with links, its own output inside, and names beyond ASCII; each archive is read back
with Python's zipfile. Usage: check_pack.py PACK WORKDIR"""
import os
import shutil
import subprocess
import sys
import zipfile

pack, work = sys.argv[1], sys.argv[2]
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []


def expect(ok, what):
    print(("ok - " if ok else "FAIL - ") + what)
    if not ok:
        failures.append(what)


def write(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(text if isinstance(text, bytes) else text.encode())


def run(*args):
    return subprocess.run([pack, *args], capture_output=True, text=True, errors="replace", timeout=30)


def members(archive):
    with zipfile.ZipFile(archive) as z:
        return {i.filename: (z.read(i), i.flag_bits) for i in z.infolist()}, [i.filename for i in z.infolist()]


# Links keep their own names: one to a file inside, one out of the folder, one to a folder (not followed).
tree = os.path.join(work, "links")
write(os.path.join(tree, "a.txt"), "alpha")
write(os.path.join(tree, "sub", "b.txt"), "beta")
write(os.path.join(work, "outside.txt"), "outside")
os.symlink("a.txt", os.path.join(tree, "alias.txt"))
os.symlink("../outside.txt", os.path.join(tree, "out.txt"))
os.symlink("sub", os.path.join(tree, "sublink"))
r = run(tree, os.path.join(work, "links.zip"))
expect(r.returncode == 0, f"a folder with links packs (exit {r.returncode}: {r.stderr.strip()})")
if r.returncode == 0:
    got, order = members(os.path.join(work, "links.zip"))
    expect(order == ["a.txt", "alias.txt", "out.txt", "sub/b.txt"], f"one member per file and link, by name: {order}")
    expect(got.get("alias.txt", (None,))[0] == b"alpha" and got.get("out.txt", (None,))[0] == b"outside",
           "a link's member holds the bytes of the file it names")
    expect(not any(n.startswith(("../", "/")) or "/../" in n for n in order), "no member leaves the folder")

r = run("--prefix", "../up", tree, os.path.join(work, "prefix.zip"))
expect(r.returncode != 0 and "--prefix" in r.stderr, "a prefix that climbs out of the archive is refused")

broken = os.path.join(work, "broken")
write(os.path.join(broken, "a.txt"), "alpha")
os.symlink("missing.txt", os.path.join(broken, "gone.txt"))
r = run(broken, os.path.join(work, "broken.zip"))
expect(r.returncode != 0 and "gone.txt" in r.stderr and not os.path.exists(os.path.join(work, "broken.zip")),
       f"a link to nothing is refused by name and leaves no archive ({r.stderr.strip()})")

# The archive inside the folder it packs: never a member, on the first run or when it is already there.
selfdir = os.path.join(work, "self")
write(os.path.join(selfdir, "data.bin"), os.urandom(4096))
for attempt in ("first", "second"):
    r = run(selfdir, os.path.join(selfdir, "self.zip"))
    got, order = members(os.path.join(selfdir, "self.zip")) if r.returncode == 0 else ({}, [])
    expect(r.returncode == 0 and order == ["data.bin"], f"{attempt} run into the folder itself packs only data.bin: {order}")
os.symlink("self.zip", os.path.join(selfdir, "again.zip"))
r = run(selfdir, os.path.join(selfdir, "self.zip"))
got, order = members(os.path.join(selfdir, "self.zip")) if r.returncode == 0 else ({}, [])
expect(order == ["data.bin"], f"a link to the archive is left out like the archive: {order}")

# Names beyond ASCII carry the UTF-8 flag (general-purpose bit 11); ASCII names do not need it.
names = os.path.join(work, "names")
for n in ("grüße.txt", "日本/水.txt", "plain.txt"):
    write(os.path.join(names, n), n)
r = run("--prefix", "gamedata", names, os.path.join(work, "names.zip"))
expect(r.returncode == 0, f"names beyond ASCII pack (exit {r.returncode}: {r.stderr.strip()})")
if r.returncode == 0:
    got, order = members(os.path.join(work, "names.zip"))
    expect(order == ["gamedata/grüße.txt", "gamedata/plain.txt", "gamedata/日本/水.txt"],
           f"the names read back as written: {order}")
    flagged = {n: bool(bits & 0x800) for n, (data, bits) in got.items()}
    expect(flagged == {"gamedata/grüße.txt": True, "gamedata/plain.txt": False, "gamedata/日本/水.txt": True},
           f"bit 11 is set exactly on the names beyond ASCII: {flagged}")

bad = os.path.join(work, "bad")
write(os.path.join(os.fsencode(bad), b"latin1-\xe9.txt"), "x")
r = run(bad, os.path.join(work, "bad.zip"))
expect(r.returncode != 0 and "UTF-8" in r.stderr, "a name that is not UTF-8 is refused")

sys.exit("\n".join(failures) if failures else 0)
