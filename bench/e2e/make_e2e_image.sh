#!/bin/bash
# The image of the end-to-end benchmark: 1 GiB of pseudo-random data holding real pictures
# (ImageMagick), audio and video (sox, lame, ffmpeg), office documents (LibreOffice) and a zip
# archive, each at a sector offset (some straddle a 4 MiB boundary), and a 1 MiB image with three
# of them. Output folder $1: image.img, small.img, image.txt and small.txt ("<byte offset> <file>
# <the type carving names it by>"), src/ (the files).
set -euo pipefail
out=$(mkdir -p "$1" && cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
work=$out/work
rm -rf "$work" "$out/src"
mkdir -p "$work/families" "$out/src"
trap 'rm -rf "$work"' EXIT

# Audio, video and documents as the carving fixtures make them; the ones the image holds are
# picked below.
"$root/media_recovery/raw/tests/make_carving_formats.sh" "$work/families" > /dev/null 2>&1
for f in default.mp4 faststart.mp4 movie.mov movie.avi movie.wmv clip.3gp tone.wav v23.mp3 v24.mp3 \
         tone.au song.wma office-letter.doc office-letter.docx office-letter.pdf office-sheet.xls \
         office-sheet.xlsx office-slides.ppt office-slides.pptx linearized.pdf plain.zip; do
  cp "$work/families/src/$f" "$out/src/$f"
done

# Pictures; one large photo and one long video cross several 4 MiB chunks.
cd "$out/src"
convert -seed 11 -size 640x480 plasma:fractal -quality 85 photo.jpg
convert -seed 12 -size 800x600 plasma:fractal -quality 80 -interlace Plane progressive.jpg
convert -seed 13 -size 3000x2000 plasma:fractal -attenuate 0.4 +noise Gaussian -quality 97 large.jpg
convert -seed 14 -size 320x240 plasma:fractal picture.png
convert -seed 15 -size 200x150 plasma:fractal -colors 64 picture.gif
convert -seed 16 -size 200x150 plasma:fractal BMP3:picture.bmp
convert -seed 17 -size 200x150 plasma:fractal -compress none picture.tif
convert -seed 18 -size 200x150 plasma:fractal -compress RLE picture.psd
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=640x480:rate=25 -t 8 -vf noise=alls=30:allf=t+u \
  -pix_fmt yuv420p -b:v 4M long.mp4

python3 - "$out" "$root/bench/carving" <<'PY'
import os, random, sys
out = sys.argv[1]
sys.path.insert(0, sys.argv[2])
from spread_files import write_image
src = os.path.join(out, "src")
names = sorted(os.listdir(src))
MiB = 1 << 20
rng = random.Random(2025)
# What carving names each kind by (wma and wmv are both ASF).
carved = {"jpg": "JPG", "png": "PNG", "gif": "GIF", "bmp": "BMP", "tif": "TIF", "psd": "PSD", "mp4": "MP4",
          "mov": "MOV", "avi": "AVI", "3gp": "3GP", "wmv": "ASF", "wma": "ASF", "wav": "WAV", "mp3": "MP3",
          "au": "AU", "doc": "DOC", "docx": "DOCX", "xls": "XLS", "xlsx": "XLSX", "ppt": "PPT", "pptx": "PPTX",
          "pdf": "PDF", "zip": "ZIP"}
label = lambda name: carved[name.rsplit(".", 1)[1]]

# 1 GiB: one file per slot, at an odd sector of the slot's first half; every fifth file starts
# 3 sectors before a 4 MiB boundary.
size = 1 << 30
order = names[:]
rng.shuffle(order)
step = size // (len(order) + 1)
place = {}
for i, name in enumerate(order):
    base = step * (i + 1)
    if i % 5 == 0:
        at = (base // (4 * MiB) + 1) * 4 * MiB - 3 * 512
    else:
        at = (base + rng.randrange(0, step // 2)) // 512 * 512 | 512
    place[at] = name
write_image(os.path.join(out, "image.img"), os.path.join(out, "image.txt"), size, place, src, rng, label)
small = {4096 + 512: "photo.jpg", 300 * 1024 + 1536: "office-letter.pdf", 700 * 1024: "v23.mp3"}
write_image(os.path.join(out, "small.img"), os.path.join(out, "small.txt"), MiB, small, src, rng, label)
PY
