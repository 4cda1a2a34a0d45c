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
python3 "$(dirname "$0")/../camera_tree.py" "$work/src/DCIM"
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
