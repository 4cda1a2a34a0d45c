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
python3 "$(dirname "$0")/../camera_tree.py" "$src/DCIM"
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
