#!/bin/bash
# A 2 GiB exFAT volume (mkfs.exfat's default clusters) holding 20 000 files in 200 folders, copied in
# through exfat-fuse over a loop device, then 1 000 of them deleted (ten folders). Needs root.
set -euo pipefail
img=$1
[ "$(id -u)" = 0 ] || { echo "making the exFAT image needs root (loop device, FUSE)" >&2; exit 1; }
src=$(mktemp -d)
mnt=$(mktemp -d)
loop=
cleanup() {
    mountpoint -q "$mnt" && umount "$mnt"
    [ -n "$loop" ] && losetup -d "$loop"
    rm -rf "$src" "$mnt"
}
trap cleanup EXIT
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
truncate -s 2G "$img"
mkfs.exfat "$img" > /dev/null
loop=$(losetup -f --show "$img")
mount.exfat-fuse -o noatime "$loop" "$mnt" > /dev/null 2>&1
cp -r "$src/DCIM" "$mnt/"
for d in $(seq 0 9); do rm -rf "$(printf '%s/DCIM/Camera folder %03d' "$mnt" "$d")"; done
umount "$mnt"
losetup -d "$loop"
loop=
fsck.exfat -n "$img" > /dev/null
