#!/usr/bin/env bash
# A copy of the sample phone whose card also holds a picture with "&" in its name, for the
# recovery window's markup: the same device folder, the card's image copied and a picture added
# with mtools.
#
#   make_ampersand_phone.sh OUT SAMPLE_PHONE
set -euo pipefail

out=${1:?usage: make_ampersand_phone.sh OUT SAMPLE_PHONE}
sample=${2:?usage: make_ampersand_phone.sh OUT SAMPLE_PHONE}
for tool in convert mcopy; do
    command -v "$tool" >/dev/null || { echo "make_ampersand_phone.sh: $tool is missing" >&2; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp -a "$sample/device.ini" "$sample/fs" "$sample/storage" "$out/"
convert -size 200x150 gradient:navy-orange -strip -quality 88 "jpeg:$work/picture.jpg"
mcopy -i "$out/storage/sdcard.img" "$work/picture.jpg" "::/DCIM/Camera/R&D day.jpg"
