#!/usr/bin/env bash
# relikorda-recover over a disk whose MBR (sfdisk) holds a FAT32 and an Ext4 partition, and a third
# slot edited to a type with no sectors: the slot is passed over and said, and every live file The
# Sleuth Kit lists on the two partitions is written byte-identical under its own name.
set -euo pipefail
bin=$1
work=$(mktemp -d /tmp/rk_partition_slot_XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
mkdir -p fat/DCIM ext/Music ext/Pictures
convert -seed 1 -size 640x480 plasma:fractal -quality 85 fat/DCIM/first.jpg
convert -seed 2 -size 320x240 plasma:fractal -quality 80 fat/DCIM/second.jpg
convert -seed 3 -size 800x600 plasma:fractal -quality 90 ext/Pictures/third.jpg
sox -n -r 22050 -c 1 ext/Music/tone.wav synth 1 sine 440

fat_start=2048 fat_sectors=73728 ext_start=77824 ext_sectors=32768
truncate -s 64M disk.img
printf 'label: dos\nstart=%d,size=%d,type=c\nstart=%d,size=%d,type=83\n' \
    $fat_start $fat_sectors $ext_start $ext_sectors | sfdisk -q disk.img
truncate -s $((fat_sectors * 512)) fat.img
mkfs.vfat -F 32 fat.img > /dev/null
MTOOLS_SKIP_CHECK=1 mcopy -s -i fat.img fat/DCIM ::/
mkfs.ext4 -q -F -d ext ext.img $((ext_sectors / 2))k > /dev/null
dd if=fat.img of=disk.img bs=512 seek=$fat_start conv=notrunc status=none
dd if=ext.img of=disk.img bs=512 seek=$ext_start conv=notrunc status=none
# Slot 3: a type, a start, no sectors.
printf '\x83' | dd of=disk.img bs=1 seek=$((446 + 32 + 4)) conv=notrunc status=none
printf '\x00\x40\x01\x00' | dd of=disk.img bs=1 seek=$((446 + 32 + 8)) conv=notrunc status=none

set +e
RELIKORDA_LOG=$work/log.txt "$bin/relikorda-recover" --device disk.img --out out > stdout.txt 2> stderr.txt
status=$?
set -e
grep -qF "device: $work/disk.img: partition 3 has type 0x83 but no sectors: passed over" stderr.txt ||
    { echo "the passed-over slot is not said" >&2; cat stderr.txt >&2; exit 1; }
run=$(sed -n 's/^output //p' stdout.txt)
checked=0
for start in $fat_start $ext_start; do
    while IFS='|' read -r _ path inode mode _ _ size _; do
        case $path in *" (deleted"*|*'$'*) continue ;; esac
        case ${mode#*/} in r*) ;; *) continue ;; esac
        case ${path##*.} in jpg|wav) ;; *) continue ;; esac
        sum=$(icat -o $start disk.img "$inode" | sha256sum | cut -d' ' -f1)
        found=$(find "$run/files" -name "${path##*/}" -type f -exec sha256sum {} + | awk -v s="$sum" '$1 == s' | wc -l)
        if [ "$found" -lt 1 ]; then
            echo "not written whole under its name: partition at $start, $path" >&2
            cat stdout.txt stderr.txt >&2
            exit 1
        fi
        checked=$((checked + 1))
    done < <(fls -o $start -r -p -m / disk.img)
done
[ "$checked" -eq 4 ] || { echo "$checked files checked, 4 expected" >&2; exit 1; }
echo "partition slot e2e: $checked files of both partitions written (exit $status)"
