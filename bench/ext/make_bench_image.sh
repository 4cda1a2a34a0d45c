#!/bin/bash
# A 2 GiB ext4 volume (4 KiB blocks) holding 20 000 files in 200 folders, made by mkfs.ext4 -d;
# then 1 000 of them (10 folders) deleted by the kernel through a loop mount, where there is one.
set -euo pipefail
img=$1
export LC_ALL=C.UTF-8
work=$(mktemp -d)
mnt=$work/mnt
cleanup() {
    mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/src/DCIM"
python3 - "$work/src/DCIM" <<'PY'
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
truncate -s 2G "$img"
mkfs.ext4 -q -F -b 4096 -d "$work/src" "$img" > /dev/null
mkdir -p "$mnt"
if mount -o loop "$img" "$mnt" 2> /dev/null; then
    for d in $(seq 0 9); do rm -r "$(printf '%s/DCIM/Camera folder %03d' "$mnt" "$d")"; done
    umount "$mnt"
else
    echo "no loop mount here: the bench volume keeps all 20 000 files" >&2
fi
