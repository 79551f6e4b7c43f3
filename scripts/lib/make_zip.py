#!/usr/bin/env python3
"""Makes a release zip that is the same, byte for byte, whenever it is made
from the same files: entries in a fixed order with a fixed time and mode.
Text files get CR LF line ends: a .txt file becomes README.txt, with
@VERSION@ replaced, and LICENSE becomes LICENSE.txt.

    make_zip.py OUT.zip VERSION FILE...
"""
import os
import sys
import zipfile

out, version, files = sys.argv[1], sys.argv[2], sys.argv[3:]
entries = []
for path in files:
    with open(path, "rb") as f:
        data = f.read()
    name = os.path.basename(path)
    if name.endswith(".txt") or name == "LICENSE":
        text = data.decode().replace("\r\n", "\n").replace("@VERSION@", version)
        name = "LICENSE.txt" if name == "LICENSE" else "README.txt"
        data = text.replace("\n", "\r\n").encode()
    entries.append((name, data))
with zipfile.ZipFile(out + ".partial", "w") as archive:
    for name, data in sorted(entries):
        info = zipfile.ZipInfo(name, (2000, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.external_attr = 0o644 << 16
        info.create_system = 0
        archive.writestr(info, data, compresslevel=9)
os.replace(out + ".partial", out)
