#!/usr/bin/env bash
# A copy of the sample phone whose card was dumped only in part: the card's image (mkfs.vfat and
# mtools) cut with dd one sector into the data of its second picture, DCIM/Camera/IMG_0002.png, as
# The Sleuth Kit places it. The volume runs past its device: the first picture is whole, what lies
# past the cut is lost.
#
#   make_cut_card_phone.sh OUT SAMPLE_PHONE
set -euo pipefail

out=${1:?usage: make_cut_card_phone.sh OUT SAMPLE_PHONE}
sample=${2:?usage: make_cut_card_phone.sh OUT SAMPLE_PHONE}
for tool in fls istat; do
    command -v "$tool" >/dev/null || { echo "make_cut_card_phone.sh: $tool is missing" >&2; exit 1; }
done

card=$sample/storage/sdcard.img
inode=$(fls -r -p "$card" | sed -n 's|^r/r \([0-9]*\):\tDCIM/Camera/IMG_0002.png$|\1|p')
first=$(istat "$card" "$inode" | sed -n '/^Sectors:/{n;p}' | awk '{ print $1 }')
[ -n "$first" ] || { echo "make_cut_card_phone.sh: IMG_0002.png has no sectors on $card" >&2; exit 1; }

cp -a "$sample/device.ini" "$sample/fs" "$out/"
mkdir "$out/storage"
dd if="$card" of="$out/storage/sdcard.img" bs=512 count=$((first + 1)) status=none
