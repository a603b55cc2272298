#!/usr/bin/env python3
"""Writes a ZIP archive with Python's zipfile, for the archive tests.

usage: zipmaker.py OUT ENTRY...
ENTRY is NAME|SOURCE|METHOD|STAMP: the member name, the file whose bytes it holds, the method ("stored",
"deflated", "bzip2" or "lzma") and the DOS stamp as YYYY-MM-DD-HH-MM-SS. The same name may appear twice
(zipfile warns and writes both).
"""
import sys
import warnings
import zipfile

warnings.simplefilter("ignore")
methods = {"stored": zipfile.ZIP_STORED, "deflated": zipfile.ZIP_DEFLATED, "bzip2": zipfile.ZIP_BZIP2,
           "lzma": zipfile.ZIP_LZMA}
with zipfile.ZipFile(sys.argv[1], "w") as z:
    for arg in sys.argv[2:]:
        name, source, method, stamp = arg.split("|")
        info = zipfile.ZipInfo(name, tuple(int(x) for x in stamp.split("-")))
        info.compress_type = methods[method]
        with open(source, "rb") as f:
            z.writestr(info, f.read())
