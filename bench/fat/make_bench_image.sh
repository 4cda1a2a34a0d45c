#!/bin/bash
# A 2 GiB FAT32 volume (4 KiB clusters) holding 20 000 files in 200 folders, 1 000 of them deleted
# afterwards, made by mkfs.vfat and mtools.
set -euo pipefail
img=$1
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
mkdir -p "$src/DCIM"
python3 - "$src/DCIM" <<'PY'
import os, random, sys
root = sys.argv[1]
random.seed(7)
for d in range(200):
    folder = os.path.join(root, "Camera folder %03d" % d)
    os.mkdir(folder)
    for f in range(100):
        name = "IMG_2024%04d_%03d photo with a long name.jpg" % (d, f) if f % 2 else "IMG%05d.JPG" % (d * 100 + f)
        with open(os.path.join(folder, name), "wb") as out:
            out.write(os.urandom(random.randint(100, 8000)))
PY
rm -f "$img"
mkfs.vfat -C -F 32 -s 8 "$img" 2097152 > /dev/null
mcopy -s -i "$img" "$src/DCIM" ::/
for d in $(seq 0 9); do
    mdeltree -i "$img" "$(printf '::/DCIM/Camera folder %03d' "$d")"
done
