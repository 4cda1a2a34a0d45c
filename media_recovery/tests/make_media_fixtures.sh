#!/usr/bin/env bash
# Volumes and a device folder for the media library's tests, made with mkfs, mtools and dd. Each
# FAT image gets a manifest from The Sleuth Kit (an independent reader):
#   geometry <sector size> <sectors per cluster> <first sector of cluster 2>
#   dir  <deleted 0|1> <path>
#   file <deleted 0|1> <size> <runs: start:count,... in clusters from cluster 2, or -> <path>
set -euo pipefail
out=$1
cd "$out"
export MTOOLS_SKIP_CHECK=1

random_file() { head -c "$2" /dev/urandom > "$1"; }

manifest() {  # manifest IMAGE > MANIFEST
    local img=$1 info ss cs cstart
    info=$(fsstat "$img")
    ss=$(awk -F': ' '/^Sector Size:/ {print $2}' <<<"$info")
    cs=$(awk -F': ' '/^Cluster Size:/ {print $2}' <<<"$info")
    cstart=$(sed -n 's/^\*\* Cluster Area: \([0-9]*\) - .*/\1/p' <<<"$info")
    local spc=$((cs / ss))
    echo "geometry $ss $spc $cstart"
    fls -r -p "$img" | grep -v '(Volume Label Entry)' | while IFS=$'\t' read -r head path; do
        local type deleted=0 inode
        type=${head%% *}
        [[ $head == *"* "* ]] && deleted=1
        inode=$(sed 's/.* \([0-9]*\)\(([^)]*)\)\{0,1\}:$/\1/' <<<"$head")
        case $type in
            d/d) echo "dir $deleted $path" ;;
            r/r)
                local stat size runs
                stat=$(istat "$img" "$inode")
                size=$(awk '/^Size:/ {print $2; exit}' <<<"$stat")
                runs=$(awk -v cstart="$cstart" -v spc="$spc" '
                    found { for (i = 1; i <= NF; i++) if ($i != 0) s[n++] = $i }  # 0 pads a last cluster
                    /^Sectors:/ { found = 1 }
                    END {
                        out = ""; i = 0
                        while (i < n) {
                            j = i
                            while (j + 1 < n && s[j + 1] == s[j] + 1) j++
                            first = (s[i] - cstart) / spc; count = int((j - i + spc) / spc)
                            out = out (out == "" ? "" : ",") first ":" count
                            i = j + 1
                        }
                        print (out == "" ? "-" : out)
                    }' <<<"$stat")
                echo "file $deleted $size $runs $path"
                ;;
        esac
    done
}

reference() {  # reference IMAGE MANIFEST PATH OUT: the file's bytes cut from the image with dd
    local img=$1 man=$2 path=$3 dest=$4 ss spc cstart line
    read -r _ ss spc cstart < <(head -1 "$man")
    line=$(grep " $path\$" "$man" | head -1)
    local size runs
    size=$(awk '{print $3}' <<<"$line")
    runs=$(awk '{print $4}' <<<"$line")
    : > "$dest"
    IFS=',' read -ra parts <<<"$runs"
    for part in "${parts[@]}"; do
        local start=${part%%:*} count=${part##*:}
        dd if="$img" bs="$ss" skip=$((cstart + start * spc)) count=$((count * spc)) status=none >> "$dest"
    done
    truncate -s "$size" "$dest"
}

mkdir -p src
random_file src/a.jpg 10000
random_file src/b.jpg 20000
random_file src/c.mp3 30000
random_file src/big.mp4 90000
random_file src/IMG_0001.JPG 70000
random_file src/IMG_0002.JPG 5000
random_file src/notes.pdf 3000
random_file src/skip.zip 4000
random_file src/gone.jpg 6000
: > src/empty.jpg

# FAT16, 2 sectors per cluster; big.mp4 is written into the hole that b.jpg leaves, so it is fragmented.
truncate -s 16M fat16.img
mkfs.vfat -F 16 -s 2 -n PHONE fat16.img > /dev/null
mcopy -i fat16.img src/a.jpg src/b.jpg src/c.mp3 ::
mdel -i fat16.img ::b.jpg
mcopy -i fat16.img src/big.mp4 ::
mmd -i fat16.img ::DCIM ::DCIM/Camera ::Documents
mcopy -i fat16.img src/IMG_0001.JPG src/IMG_0002.JPG ::DCIM/Camera
mcopy -i fat16.img src/notes.pdf src/skip.zip src/empty.jpg ::Documents
mcopy -i fat16.img src/gone.jpg ::Documents
mdel -i fat16.img ::Documents/gone.jpg
manifest fat16.img > fat16.manifest
reference fat16.img fat16.manifest big.mp4 big.ref

# The same kind of volume with 4096-byte sectors.
truncate -s 32M fat16.4k.img
mkfs.vfat -S 4096 -F 16 -s 1 fat16.4k.img > /dev/null
mcopy -i fat16.4k.img src/a.jpg src/b.jpg ::
mdel -i fat16.4k.img ::a.jpg
mcopy -i fat16.4k.img src/big.mp4 src/c.mp3 ::
manifest fat16.4k.img > fat16.4k.manifest
reference fat16.4k.img fat16.4k.manifest big.mp4 big.4k.ref

truncate -s 64M fat32.img
mkfs.vfat -F 32 -s 1 fat32.img > /dev/null
truncate -s 8M exfat.img
mkfs.exfat exfat.img > /dev/null
truncate -s 8M ext4.img
mkfs.ext4 -q -F ext4.img

# A raw volume: zeros with a few files written at sector offsets.
truncate -s 6M raw.img
dd if=src/a.jpg of=raw.img bs=512 seek=100 conv=notrunc status=none
dd if=src/c.mp3 of=raw.img bs=512 seek=9000 conv=notrunc status=none

# A phone: two FAT volumes, one that cannot be opened, one raw volume.
mkdir -p phone/storage
printf '[device]\nversion=4.4\n' > phone/device.ini
cp fat16.img phone/storage/a_sdcard.img
: > phone/storage/b_broken.img
cp fat16.4k.img phone/storage/c_internal.4k.img
cp raw.img phone/storage/d_raw.img
