#!/usr/bin/env bash
# A copy of the sample phone whose card was dumped only in part: the card's image (mkfs.vfat and
# mtools) cut with dd one sector into the data of its second picture, DCIM/Camera/IMG_0002.png, as
# The Sleuth Kit places it. The volume runs past its device: the first picture is whole, what lies
# past the cut is lost.
#
#   make_cut_card_phone.sh OUT SAMPLE_PHONE
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: make_cut_card_phone.sh OUT SAMPLE_PHONE" >&2; exit 2; }
out=$1 card=$2/storage/sdcard.img
type -P fls istat > /dev/null || { echo "make_cut_card_phone.sh: The Sleuth Kit is missing" >&2; exit 1; }

inode=$(fls -r -p "$card" | sed -n 's|^r/r \([0-9]*\):\tDCIM/Camera/IMG_0002.png$|\1|p')
first=$(istat "$card" "$inode" | sed -n '/^Sectors:/{n;p}' | awk '{ print $1 }')
[ -n "$first" ] || { echo "make_cut_card_phone.sh: IMG_0002.png has no sectors on $card" >&2; exit 1; }

cp -a "$2/device.ini" "$2/fs" "$out/"
mkdir "$out/storage"
dd if="$card" of="$out/storage/sdcard.img" bs=512 count=$((first + 1)) status=none
