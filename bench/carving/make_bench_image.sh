#!/bin/bash
# A 1 GiB pseudo-random raw image with 48 picture files (ImageMagick and exiftool) at sector
# offsets, for the carving benchmark. Output folder $1: bench.img, bench.txt ("<byte offset> <file>")
# and src/.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out/src"
cd "$out/src"
for i in 0 1 2 3 4 5; do
  w=$((400 + 160 * i)); h=$((300 + 120 * i))
  convert -seed $((10 + i)) -size ${w}x${h} plasma:fractal -quality 85 base$i.jpg
  convert -seed $((20 + i)) -size ${w}x${h} plasma:fractal -quality 80 -interlace Plane prog$i.jpg
  convert -seed $((30 + i)) -size ${w}x${h} plasma:fractal -quality 90 cam$i.jpg
  exiftool -q -overwrite_original -JFIF:all= -Make=Canon "-Model=Canon PowerShot G$i" cam$i.jpg
  convert -seed $((40 + i)) -size $((w / 2))x$((h / 2)) plasma:fractal pic$i.png
  convert -seed $((50 + i)) -size $((w / 3))x$((h / 3)) plasma:fractal -colors 64 anim$i.gif
  convert -seed $((60 + i)) -size $((w / 3))x$((h / 3)) plasma:fractal BMP3:bmp$i.bmp
  convert -seed $((70 + i)) -size $((w / 3))x$((h / 3)) plasma:fractal -compress none tif$i.tif
  convert -seed $((80 + i)) -size $((w / 3))x$((h / 3)) plasma:fractal -compress RLE psd$i.psd
done
python3 "$here/spread_files.py" "$out" 99
