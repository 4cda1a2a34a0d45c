#!/bin/bash
# A 2 GiB FAT32 volume (4 KiB clusters) holding 20 000 files in 200 folders, 1 000 of them deleted
# afterwards, made by mkfs.vfat and mtools.
set -euo pipefail
img=$1
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
src=$(mktemp -d)
trap 'rm -rf "$src"' EXIT
mkdir -p "$src/DCIM"
python3 "$(dirname "$0")/../camera_tree.py" "$src/DCIM"
rm -f "$img"
mkfs.vfat -C -F 32 -s 8 "$img" 2097152 > /dev/null
mcopy -s -i "$img" "$src/DCIM" ::/
for d in $(seq 0 9); do
    mdeltree -i "$img" "$(printf '::/DCIM/Camera folder %03d' "$d")"
done
