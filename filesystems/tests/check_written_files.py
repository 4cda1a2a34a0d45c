#!/usr/bin/env python3
"""check_written_files.py EXPECTED FOLDER: every line name|file of EXPECTED names a file that was
written with file's bytes, under name or name_N.ext (a name met twice becomes name_2.ext,
name_3.ext, ...): somewhere under FOLDER for a bare name, in its own folder for a name given as a
path from FOLDER ("/DCIM/Camera/a.jpg"). Each written file answers one line. Exit status 1 when one
is missing."""
import os
import re
import sys

expected, root = sys.argv[1], sys.argv[2]
written = {}
for folder, _, names in os.walk(root):
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            written.setdefault(f.read(), []).append(os.path.relpath(os.path.join(folder, name), root))
missing = checked = 0
for line in open(expected, encoding="utf-8"):
    wanted, source = line.rstrip("\n").split("|")
    with open(source, "rb") as f:
        data = f.read()
    folder, _, name = wanted.rpartition("/")
    stem, dot, ext = name.rpartition(".")
    pattern = re.escape(stem) + r"(_\d+)?" + re.escape(dot + ext) if dot else re.escape(name) + r"(_\d+)?"
    # A bare name may lie in any folder; a path names its folder ("/a.jpg": the top one).
    if wanted.startswith("/"):
        where = re.escape(folder.lstrip("/") + "/") if folder else ""
    else:
        where = r"(.*/)?"
    pattern = re.compile(where + pattern)
    paths = written.get(data, [])
    match = next((p for p in paths if pattern.fullmatch(p)), None)
    checked += 1
    if match is None:
        print("not written byte for byte: %s (written as: %s)" % (wanted, ", ".join(paths) or "nothing"),
              file=sys.stderr)
        missing += 1
    else:
        paths.remove(match)
print("%d files checked, %d missing" % (checked, missing))
sys.exit(1 if missing else 0)
