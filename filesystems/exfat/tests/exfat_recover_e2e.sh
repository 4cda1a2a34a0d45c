#!/usr/bin/env bash
# relikorda-recover over a device folder of exFAT volumes (512- and 4096-byte sectors): every live
# file and every deleted file whose clusters are intact is written byte for byte under OUT/files.
set -euo pipefail
bin=$1
images=$2
if [ -f "$images/SKIPPED" ]; then
    echo "skipped: exFAT volumes were not made: $(cat "$images/SKIPPED")"
    exit 77
fi
out=$(mktemp -d /tmp/rk_exfat_e2e_XXXXXX)
trap 'rm -rf "$out"' EXIT
export RELIKORDA_LOG=$out/log.txt
"$bin/relikorda-recover" --device "$images/device" --out "$out/recovered" > "$out/stdout.txt"
cat "$out/stdout.txt"
grep -Eq '^media: [0-9]+ written under .*/recovered/files, 0 failed$' "$out/stdout.txt"
# Files are written without folders; a name met twice becomes name_2.ext, name_3.ext, ...
python3 - "$images/device.expected" "$out/recovered/files" <<'PY'
import os, re, sys
expected, root = sys.argv[1], sys.argv[2]
written = {}
for folder, _, names in os.walk(root):
    for name in names:
        with open(os.path.join(folder, name), "rb") as f:
            written.setdefault(f.read(), []).append(name)
missing = 0
for line in open(expected, encoding="utf-8"):
    name, source = line.rstrip("\n").split("|")
    with open(source, "rb") as f:
        data = f.read()
    stem, dot, ext = name.rpartition(".")
    pattern = re.compile(re.escape(stem) + r"(_\d+)?" + re.escape(dot + ext) if dot else re.escape(name) + r"(_\d+)?")
    names = written.get(data, [])
    match = next((n for n in names if pattern.fullmatch(n)), None)
    if match is None:
        print("not written byte for byte: " + name, file=sys.stderr)
        missing += 1
    else:
        names.remove(match)
print("%d files checked, %d missing" % (sum(1 for _ in open(expected, encoding="utf-8")), missing))
sys.exit(1 if missing else 0)
PY
echo "exfat e2e: ok"
