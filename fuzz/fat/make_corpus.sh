#!/bin/bash
# Seeds for the FAT fuzz target: small volumes made by mkfs.vfat and mtools (a whole FAT12 volume,
# and the first sectors of FAT16 and FAT32 volumes, boot sector, tables and root included).
set -euo pipefail
out=$1
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf 'x%.0s' $(seq 1 700) > "$work/data.txt"
fill() {
    mmd -i "$1" ::/DCIM ::/DCIM/Camera ::/Old
    mcopy -i "$1" "$work/data.txt" "::/DCIM/Camera/A picture with a long name.jpg"
    mcopy -i "$1" "$work/data.txt" ::/DCIM/IMG_0001.JPG
    mcopy -i "$1" "$work/data.txt" "::/Old/Gone with a long name.txt"
    mcopy -i "$1" "$work/data.txt" ::/keep.txt
    mdeltree -i "$1" ::/Old
}
mkfs.vfat -C --invariant -F 12 -s 1 "$out/fat12.img" 64 > /dev/null
fill "$out/fat12.img"
mkfs.vfat -C --invariant -F 16 -s 1 "$work/fat16.img" 2100 > /dev/null
fill "$work/fat16.img"
head -c 49152 "$work/fat16.img" > "$out/fat16_head.img"
mkfs.vfat -C --invariant -F 32 -s 1 "$work/fat32.img" 36000 > /dev/null
fill "$work/fat32.img"
head -c 600000 "$work/fat32.img" > "$out/fat32_head.img"
