#!/usr/bin/env python3
"""check_written_files.py EXPECTED FOLDER: every line name|file of EXPECTED names a file that was
written somewhere under FOLDER with file's bytes, under name or name_N.ext (a name met twice becomes
name_2.ext, name_3.ext, ...); each written file answers one line. Exit status 1 when one is missing."""
import os
import re
import sys

expected, root = sys.argv[1], sys.argv[2]
written = {}
for folder, _, names in os.walk(root):
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            written.setdefault(f.read(), []).append(name)
missing = checked = 0
for line in open(expected, encoding="utf-8"):
    name, source = line.rstrip("\n").split("|")
    with open(source, "rb") as f:
        data = f.read()
    stem, dot, ext = name.rpartition(".")
    pattern = re.compile(re.escape(stem) + r"(_\d+)?" + re.escape(dot + ext) if dot else re.escape(name) + r"(_\d+)?")
    names = written.get(data, [])
    match = next((n for n in names if pattern.fullmatch(n)), None)
    checked += 1
    if match is None:
        print("not written byte for byte: " + name, file=sys.stderr)
        missing += 1
    else:
        names.remove(match)
print("%d files checked, %d missing" % (checked, missing))
sys.exit(1 if missing else 0)
