#!/bin/bash
# Seeds for the whole-device fuzz target: two option bytes (sector size, chunk length), then a
# blank device of about 3 MiB holding a FAT16 volume at sector 64 and a 1 MiB exFAT volume after
# it (filled through exfat-fuse over a loop device when root and FUSE allow), intact and with the
# exFAT boot regions zeroed.
set -euo pipefail
out=$1
export MTOOLS_SKIP_CHECK=1
work=$(mktemp -d)
loop=
cleanup() {
    mountpoint -q "$work/m" 2> /dev/null && umount "$work/m" || true
    [ -n "$loop" ] && losetup -d "$loop" 2> /dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
head -c 700 /dev/urandom > "$work/data.jpg"

mkfs.vfat -C -F 16 -s 1 "$work/fat16.vol" 2100 > /dev/null
mmd -i "$work/fat16.vol" ::/DCIM
mcopy -i "$work/fat16.vol" "$work/data.jpg" ::/keep.jpg
mcopy -i "$work/fat16.vol" "$work/data.jpg" ::/DCIM/a.jpg
mcopy -i "$work/fat16.vol" "$work/data.jpg" ::/gone.jpg
mdel -i "$work/fat16.vol" ::/gone.jpg

truncate -s 1M "$work/exfat.vol"
mkfs.exfat -c 512 -b 4K "$work/exfat.vol" > /dev/null
if [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] && command -v mount.exfat-fuse > /dev/null &&
    loop=$(losetup -f --show "$work/exfat.vol" 2> /dev/null); then
    mkdir -p "$work/m"
    if mount.exfat-fuse "$loop" "$work/m" > /dev/null 2>&1; then
        mkdir -p "$work/m/DCIM/Camera" "$work/m/Old"
        for i in 1 2 3 4 5 6 7; do
            cp "$work/data.jpg" "$work/m/DCIM/Camera/A picture with a long name $i.jpg"
            cp "$work/data.jpg" "$work/m/Old/old $i.jpg"
        done
        rm -rf "$work/m/Old"
        umount "$work/m"
    fi
    losetup -d "$loop"
    loop=
fi

fat_sectors=$(($(stat -c %s "$work/fat16.vol") / 512))
exfat_at=$((64 + fat_sectors + 37))
device() {  # name, then extra dd zeroing: first sector, count
    local img=$work/$1.dev
    truncate -s $(((exfat_at + 2048 + 64) * 512)) "$img"
    dd if="$work/fat16.vol" of="$img" bs=512 seek=64 conv=notrunc status=none
    dd if="$work/exfat.vol" of="$img" bs=512 seek=$exfat_at conv=notrunc status=none
    [ $# -gt 1 ] && dd if=/dev/zero of="$img" bs=512 seek="$2" count="$3" conv=notrunc status=none
    # 512-byte sectors, chunks of 64 sectors.
    { printf '\000\076'; cat "$img"; } > "$out/$1"
}
device intact
device no_exfat_boot $exfat_at 24
