#!/bin/bash
# Seeds for the Ext fuzz target: small volumes made by mke2fs -d (ext2 with a classic block map and
# an indirect block, ext4 with extents, checksums and a hashed folder, ext4 with 4 KiB blocks), and
# both first two with a folder whose size is lost and whose block count claims far more blocks than
# its map names.
set -euo pipefail
out=$1
export LC_ALL=C.UTF-8 E2FSPROGS_FAKE_TIME=1700000000
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/src/DCIM/Camera" "$work/src/Old"
printf 'x%.0s' $(seq 1 700) > "$work/src/DCIM/Camera/A picture with a long name.jpg"
head -c 14000 /dev/zero | tr '\0' 'y' > "$work/src/DCIM/IMG_0001.JPG"
printf 'keep\n' > "$work/src/keep.txt"
for i in $(seq 1 40); do printf '%s\n' "$i" > "$work/src/Old/file number $i with a long name.txt"; done
make() {  # name size options...
    local name=$1 size=$2
    shift 2
    truncate -s "$size" "$out/$name"
    mke2fs -q -F -E nodiscard -d "$work/src" "$@" "$out/$name" > /dev/null
}
make ext2.img 200K -t ext2 -b 1024 -N 64
make ext4.img 300K -t ext4 -b 1024 -N 64 -O ^has_journal,^resize_inode
make ext4_4k.img 512K -t ext4 -b 4096 -N 64 -O ^has_journal,^resize_inode
for t in ext2 ext4; do
    cp "$out/$t.img" "$out/${t}_folder_size.img"
    debugfs -w -R "sif /Old size 0" "$out/${t}_folder_size.img" > /dev/null 2>&1
    debugfs -w -R "sif /Old blocks 0xffffffff" "$out/${t}_folder_size.img" > /dev/null 2>&1
done
