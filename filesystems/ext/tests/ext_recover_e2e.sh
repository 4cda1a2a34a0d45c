#!/usr/bin/env bash
# relikorda-recover over a device folder that holds an Ext4 volume twice, as storage/*.img (512-byte
# sectors) and storage/*.4k.img (4096-byte sectors): every live picture, audio, video and document
# file The Sleuth Kit lists is written byte-identical (holes as zeros) under OUT/files, once for
# each volume, and the first copy under its own path (one of its names for a file of two).
set -euo pipefail
bin=$1
images=$2
image=ext4_kernel_4k.img
[ -f "$images/$image" ] || image=ext4_4k.img  # no loop mount where the images were made
work=$(mktemp -d /tmp/rk_ext_e2e_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/phone/storage"
cp --sparse=always "$images/$image" "$work/phone/storage/internal.img"
cp --sparse=always "$images/$image" "$work/phone/storage/internal.4k.img"
printf '[device]\nversion=4.4\n' > "$work/phone/device.ini"
export RELIKORDA_LOG=$work/log.txt
"$bin/relikorda-recover" --device "$work/phone" --out "$work/out" > "$work/stdout.txt"
cat "$work/stdout.txt"
grep -Eq '^media: [0-9]+ written under .*/out/[0-9-]+/files, 0 failed$' "$work/stdout.txt"
run=$(sed -n 's/^output //p' "$work/stdout.txt")  # each run writes into a folder of its own

(cd "$run/files" && find . -type f -size +0 -exec sha256sum {} +) | awk '{print $1}' | sort | uniq -c > "$work/written"
expected=0
declare -A placed  # inode -> 1 once one of its paths holds its bytes
while IFS='|' read -r _ path inode mode _ _ size _; do
    case $path in *" (deleted"*|/\$OrphanFiles*) continue ;; esac
    case ${mode#*/} in r*) ;; *) continue ;; esac
    case ${path##*.} in jpg|JPG|mp3|mp4|pdf|doc) ;; *) continue ;; esac
    [ "$size" -gt 0 ] || continue
    sum=$(sha256sum < "$images/$image.icat/$inode" | awk '{print $1}')
    copies=$(awk -v s="$sum" '$2 == s {print $1}' "$work/written")
    if [ "${copies:-0}" -lt 2 ]; then
        echo "not written for both volumes: $path (${copies:-0} copies)" >&2
        exit 1
    fi
    placed[$inode]=${placed[$inode]:-0}
    dir=$run/files${path%/*} name=${path##*/}
    for at in "$dir/$name" "$dir/${name:0:100}"*; do  # a name too long for the output is cut
        if [ -f "$at" ] && [ "$(sha256sum < "$at" | awk '{print $1}')" = "$sum" ]; then
            placed[$inode]=1
            break
        fi
    done
    expected=$((expected + 1))
done < "$images/$image.fls"
for inode in "${!placed[@]}"; do
    if [ "${placed[$inode]}" != 1 ]; then
        echo "not under its own path: inode $inode" >&2
        exit 1
    fi
done
[ "$expected" -ge 10 ]
echo "e2e: $expected files of $image written from both volumes"
