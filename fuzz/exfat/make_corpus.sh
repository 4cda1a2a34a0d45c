#!/bin/bash
# Seeds for the exFAT fuzz target: 1 MiB volumes made by mkfs.exfat (512-byte clusters, and 4 KiB
# clusters on 4096-byte sectors), holding folders, live and deleted files when exfat-fuse can be
# mounted over a loop device (root), empty otherwise.
set -euo pipefail
out=$1
work=$(mktemp -d)
loop=
cleanup() {
    mountpoint -q "$work/m" 2> /dev/null && umount "$work/m"
    [ -n "$loop" ] && losetup -d "$loop" 2> /dev/null
    rm -rf "$work"
}
trap cleanup EXIT
head -c 700 /dev/urandom > "$work/data.jpg"

fill() {  # image sector-size
    [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] && command -v mount.exfat-fuse > /dev/null || return 0
    loop=$(losetup --sector-size "$2" -f --show "$1") || return 0
    mkdir -p "$work/m"
    if mount.exfat-fuse "$loop" "$work/m" > /dev/null 2>&1; then
        mkdir -p "$work/m/DCIM/Camera" "$work/m/Old/Sub"
        for i in 1 2 3 4 5 6; do cp "$work/data.jpg" "$work/m/DCIM/Camera/A picture with a long name $i.jpg"; done
        cp "$work/data.jpg" "$work/m/keep.jpg"
        cp "$work/data.jpg" "$work/m/Old/Sub/gone.jpg"
        rm "$work/m/DCIM/Camera/A picture with a long name 3.jpg"
        rm -rf "$work/m/Old"
        umount "$work/m"
    fi
    losetup -d "$loop"
    loop=
}

truncate -s 1M "$out/exfat_512c.img"
mkfs.exfat -c 512 -b 4K "$out/exfat_512c.img" > /dev/null
fill "$out/exfat_512c.img" 512
truncate -s 1M "$out/exfat_4k_sectors.img"
if [ "$(id -u)" = 0 ] && loop=$(losetup --sector-size 4096 -f --show "$out/exfat_4k_sectors.img" 2> /dev/null); then
    mkfs.exfat -c 4K -b 4K "$loop" > /dev/null
    losetup -d "$loop"
    loop=
    fill "$out/exfat_4k_sectors.img" 4096
else
    rm "$out/exfat_4k_sectors.img"
fi
