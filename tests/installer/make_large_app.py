#!/usr/bin/env python3
"""An application folder with one large file beside the demo varnel.exe:
letters at random, so it deflates only partly and takes a while to unpack.
usage: make_large_app.py FOLDER VARNEL_EXE MEGABYTES"""
import os
import random
import shutil
import sys

folder, exe, megabytes = sys.argv[1], sys.argv[2], int(sys.argv[3])
shutil.rmtree(folder, ignore_errors=True)
os.makedirs(folder)
letters = bytes(ord("a") + i % 26 for i in range(256))
generator = random.Random(23)  # the same bytes in every build
with open(os.path.join(folder, "large.pak"), "wb") as f:
    for _ in range(megabytes):
        f.write(generator.randbytes(1 << 20).translate(letters))
shutil.copy(exe, os.path.join(folder, "varnel.exe"))
