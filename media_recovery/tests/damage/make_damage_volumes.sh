#!/bin/bash
# Small volumes for the seeded-damage run, made once by the real tools, each with folders (one of
# several clusters), multi-cluster files, a fragmented file and an empty one: FAT12, FAT16 and FAT32
# by mkfs.vfat and mtools, FAT16 again behind an MBR written by sfdisk, exFAT with 512- and
# 4096-byte sectors by mkfs.exfat and exfat-fuse, ext2, ext3 and ext4 by mkfs.ext* -d and debugfs.
# Fragments come from a filler file deleted before the fragmented file is written into its hole.
# Then seeded_damage.py prepare asks The Sleuth Kit where every file, folder and table lies:
#   NAME.img (NAME.4k.img: 4096-byte sectors)   the volume or disk
#   NAME.json                                    its oracle (files, their bytes' names, footprints)
#   NAME.icat/N                                  icat of live file N
#   volumes                                      one image name a line
# Without root, a loop device or /dev/fuse the exFAT volumes are left out (said on standard error).
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 TZ=UTC E2FSPROGS_FAKE_TIME=1700000000
fixture=damage_volumes
. "$here/../../../testing/fixtures/volume_fixture.sh"
for tool in mkfs.vfat mmd mcopy mdel mkfs.ext4 debugfs sfdisk fls icat istat fsstat python3; do
    command -v "$tool" > /dev/null || skip "$tool is not installed"
done
make_work_folder
src=$work/src
mkdir -p "$src/tree"
data() { head -c "$2" /dev/urandom > "$3"; }
t=$src/tree
mkdir -p "$t/DCIM/Camera" "$t/Music/Album" "$t/Documents/Notes" "$t/Pictures with a long name"
data 1 3000 "$t/DCIM/Camera/IMG_0001.jpg"
data 2 70000 "$t/DCIM/Camera/IMG_0002.jpg"
data 3 40000 "$t/Music/Album/Track 01.mp3"
data 4 1500 "$t/Documents/notes.txt"
: > "$t/Documents/Notes/empty.txt"
data 5 20000 "$t/Documents/report.pdf"
data 6 300000 "$t/big.mp4"
for i in $(seq -w 1 24); do data "p$i" $((500 + 90 * 10#$i)) "$t/Pictures with a long name/Picture number $i.jpg"; done
data 7 100000 "$src/frag.mp4"
data 8 30000 "$src/filler.bin"
data 9 9000 "$src/after.pdf"

# FAT: the tree by mtools, then the filler deleted and the fragmented file written over its hole.
fat_volume() {  # fat_volume IMAGE FATBITS SECTORS_PER_CLUSTER KIB
    local img=$1 m="-i $1"
    mkfs.vfat -C --invariant -i 1234${2}00 -F "$2" -s "$3" "$img" "$4" > /dev/null
    mmd $m ::/DCIM ::/DCIM/Camera ::/Music ::/Music/Album ::/Documents ::/Documents/Notes "::/Pictures with a long name"
    mcopy $m "$src/filler.bin" ::/
    mcopy $m "$t/DCIM/Camera/IMG_0001.jpg" "$t/DCIM/Camera/IMG_0002.jpg" ::/DCIM/Camera/
    mcopy $m "$t/Music/Album/Track 01.mp3" ::/Music/Album/
    mcopy $m "$t/Documents/notes.txt" "$t/Documents/report.pdf" ::/Documents/
    mcopy $m "$t/Documents/Notes/empty.txt" ::/Documents/Notes/
    mcopy $m "$t/Pictures with a long name/"*.jpg "::/Pictures with a long name/"
    mcopy $m "$t/big.mp4" ::/
    mdel $m ::/filler.bin
    mcopy $m "$src/frag.mp4" "$src/after.pdf" ::/DCIM/
}
fat_volume "$out/fat12.img" 12 2 3072
fat_volume "$out/fat16.img" 16 1 8192
fat_volume "$out/fat32.img" 32 1 33792
# The FAT16 volume as the second partition of a disk.
fat_volume "$work/part.vol" 16 2 6144
truncate -s $(((2048 + 2048 + 12288 + 256) * 512)) "$out/fat16_mbr.img"
printf 'label: dos\nstart=2048,size=2048,type=83\nstart=4096,size=12288,type=6\n' | sfdisk -q "$out/fat16_mbr.img" > /dev/null
dd if="$work/part.vol" of="$out/fat16_mbr.img" bs=512 seek=4096 conv=notrunc status=none

# Ext: the tree and the filler by mkfs -d, then debugfs deletes the filler and writes the fragmented
# file and one after it (1 KiB blocks: big.mp4 needs a double-indirect block on ext2 and ext3).
for kind in ext2 ext3 ext4; do
    cp "$src/filler.bin" "$t/filler.bin"
    "mkfs.$kind" -q -F -E nodiscard -b 1024 -N 128 -U 12345678-1234-1234-1234-12345678900${kind#ext} -d "$t" \
        "$out/$kind.img" 4M > /dev/null
    rm "$t/filler.bin"
    debugfs -w -f - "$out/$kind.img" > /dev/null 2>&1 <<EOF
rm /filler.bin
cd /DCIM
write $src/frag.mp4 frag.mp4
write $src/after.pdf after.pdf
EOF
done

# exFAT through exfat-fuse over a loop device: the filler between the tree's files, then the two
# fragmented files written in turns over its hole and past it.
exfat_volume() {  # exfat_volume IMAGE SECTOR_SIZE CLUSTER
    truncate -s 4M "$1"
    loop=$(losetup --sector-size "$2" -f --show "$1")
    mkfs.exfat -c "$3" "$loop" > /dev/null
    mkdir -p "$work/m"
    mount.exfat-fuse -o noatime "$loop" "$work/m" > /dev/null 2>&1 || { echo "$fixture: exfat-fuse failed" >&2; return 1; }
    mounted=$work/m
    cp -r "$t/DCIM" "$t/Music" "$t/Documents" "$work/m/"
    cp "$src/filler.bin" "$work/m/"
    cp -r "$t/Pictures with a long name" "$t/big.mp4" "$work/m/"
    rm "$work/m/filler.bin"
    "$here/../../../filesystems/tests/fixtures/write_in_turns.sh" "$src/frag.mp4" "$work/m/DCIM/frag.mp4" \
        "$src/frag.mp4" "$work/m/DCIM/twin.bin"
    rm "$work/m/DCIM/twin.bin"
    cp "$src/after.pdf" "$work/m/DCIM/"
    umount "$work/m"
    mounted=
    losetup -d "$loop"
    loop=
}
volumes="fat12.img fat16.img fat32.img fat16_mbr.img ext2.img ext3.img ext4.img"
if [ "$(id -u)" = 0 ] && [ -c /dev/fuse ] && command -v mkfs.exfat > /dev/null && command -v mount.exfat-fuse > /dev/null &&
    losetup -f > /dev/null 2>&1; then
    exfat_volume "$out/exfat.img" 512 1K && volumes="$volumes exfat.img"
    exfat_volume "$out/exfat.4k.img" 4096 4K && volumes="$volumes exfat.4k.img"
else
    echo "$fixture: no exFAT volumes (they need root, a loop device, /dev/fuse and exfat-fuse)" >&2
fi
for v in $volumes; do python3 "$here/seeded_damage.py" prepare "$out/$v" & done
wait
for v in $volumes; do
    [ -s "$out/$v.json" ] || { echo "$fixture: no oracle for $v" >&2; exit 1; }
    echo "$v" >> "$out/volumes"
done
