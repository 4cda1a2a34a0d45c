#!/bin/bash
# Raw images with picture files written at sector offsets, for the carving tests (files from
# ImageMagick, exiftool and LibreOffice, and a few hand-made headers).
# Output folder $1: src/ (the files), and per variant <fill>-<sector>.img with <fill>-<sector>.txt,
# one line per embedded file: "<device sector> <src file> <expected size|-> <expected extension>".
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out/src"
src=$out/src
cd "$src"

# Files made by real tools.
convert -size 640x480 plasma:fractal -seed 7 -quality 88 baseline.jpg 2>/dev/null || \
  convert -size 640x480 gradient:red-blue -quality 88 baseline.jpg
convert -seed 3 -size 480x360 plasma:fractal -quality 80 -interlace Plane progressive.jpg
convert -seed 5 -size 400x300 plasma:fractal -quality 85 camera.jpg
exiftool -q -overwrite_original -JFIF:all= -Make=Canon "-Model=Canon PowerShot S95" \
  "-DateTimeOriginal=2024:05:01 10:20:30" camera.jpg
# Without JFIF or EXIF the file starts with its quantisation table (FF D8 FF DB).
convert -seed 4 -size 240x180 plasma:fractal -quality 75 bare.jpg
exiftool -q -overwrite_original -all= bare.jpg
# A model text with '<' names the file after the make instead.
convert -seed 6 -size 200x150 plasma:fractal -quality 85 camera2.jpg
exiftool -q -overwrite_original -JFIF:all= "-Make=NIKON CORPORATION" "-Model=<unknown>" camera2.jpg
convert -seed 9 -size 300x200 plasma:fractal picture.png
convert -size 120x80 gradient:yellow-green GIF87:old.gif
convert -size 120x80 gradient:yellow-green -transparent yellow new.gif
convert -size 100x70 gradient:red-blue BMP3:v3.bmp
convert -size 100x70 gradient:blue-red v5.bmp
convert -size 48x48 gradient:red-blue icon.ico
convert -size 90x60 gradient:red-blue -compress none little.tif
convert -size 90x60 gradient:red-blue -compress none -define tiff:endian=msb big.tif
convert -seed 11 -size 160x120 plasma:fractal -compress RLE layered.psd
convert -size 64x40 gradient:red-blue -compress None plain.psd
# EPS with a binary header: PostScript and a TIFF preview (ImageMagick's EPT2 writer).
convert -size 60x40 gradient:red-blue EPT2:preview.eps

# Metafiles: LibreOffice Impress draws a slide as EMF and as WMF. Its WMF is a placeable one (a
# 22-byte header in front of the metafile); the carver takes the plain metafile, so that header is
# cut off here.
work=$out/work
mkdir -p "$work"
cat > "$work/drawing.fodp" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:body><office:presentation>
<draw:page draw:name="One"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>A drawn slide</text:p></draw:text-box></draw:frame>
<draw:ellipse svg:x="4cm" svg:y="8cm" svg:width="6cm" svg:height="4cm"/></draw:page>
</office:presentation></office:body></office:document>
EOF
(cd "$work" && export HOME=$work &&  # LibreOffice keeps its profile here, not in the user's home
   soffice --headless --convert-to emf drawing.fodp > /dev/null 2>&1 &&
   soffice --headless --convert-to wmf drawing.fodp > /dev/null 2>&1)
cp "$work/drawing.emf" drawing.emf
python3 - "$work/drawing.wmf" drawing.wmf <<'PY'
import sys
d = open(sys.argv[1], "rb").read()
assert d[:4] == b"\xd7\xcd\xc6\x9a" and d[22:26] == b"\x01\x00\x09\x00", "not a placeable metafile"
open(sys.argv[2], "wb").write(d[22:])
PY
rm -rf "$work"

# Hand-made headers for formats no free tool writes (labelled "handmade" in their names).
python3 - <<'PY'
import struct
# Paint Shop Pro: signature, version, then "~BK\0" blocks with their total lengths at 6.
psp = bytearray(b"Paint Shop Pro Image File\n\x1a" + b"\0" * 5 + struct.pack("<HH", 5, 0))
for body in (b"A" * 600, b"B" * 300):
    psp += b"~BK\0" + struct.pack("<H", 0) + struct.pack("<I", len(body)) + body
open("handmade.psp", "wb").write(psp)
# Canon CRW: heap header, filler, and the camera's description block at offset 4000.
crw = bytearray(b"II\x1a\0\0\0HEAPCCDR\x02\0")
crw += bytes((i * 7 + 1) % 251 + 1 for i in range(4000 - len(crw)))
block = bytearray(b"\0" * 0x90)
block[0:25] = b"High definition CCD image"
block[0x20:0x20 + 29] = b"CRW:High definition CCD image"
block[0x7A:0x7A + 5] = b"Canon"
block[0x80:0x80 + 15] = b"Canon PowerShot"
crw += block
crw += b"\0" * (4096 - len(crw))
open("handmade.crw", "wb").write(crw)
# Corel Photo-Paint: the offset chain from the header to the last block's offset and length.
cpt = bytearray(b"\x11" * 2048)
cpt[0:8] = b"CPT9FILE"
struct.pack_into("<I", cpt, 0x28, 1)      # n
struct.pack_into("<I", cpt, 0x34, 316)    # A
struct.pack_into("<I", cpt, 316, 1024)    # B at A - 8 + 8n
struct.pack_into("<I", cpt, 1024 + 0x20, 0)
struct.pack_into("<I", cpt, 1024 + 0x3C, 1500)  # C
struct.pack_into("<I", cpt, 1024 + 0x40, 1)     # D
struct.pack_into("<I", cpt, 1492, 1536)   # last block's offset
struct.pack_into("<I", cpt, 1496, 512)    # and length
open("handmade.cpt", "wb").write(cpt)
PY

# Expected sizes: the file's own length, except TIFF (the directory rule) and the bitmaps with a
# header length the carver does not take.
python3 - "$src" > "$src/expected.txt" <<'PY'
import os, struct, sys
d = sys.argv[1]
sizes = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}
for name in sorted(os.listdir(d)):
    if name == "expected.txt":
        continue
    data = open(os.path.join(d, name), "rb").read()
    size = len(data)
    if name.endswith(".tif"):
        e = ">" if data[:2] == b"MM" else "<"
        ifd = struct.unpack(e + "I", data[4:8])[0]
        n = struct.unpack(e + "H", data[ifd:ifd + 2])[0]
        total = ifd + 2
        for i in range(n):
            tag, typ, cnt, val = struct.unpack(e + "HHII", data[ifd + 2 + 12 * i: ifd + 14 + 12 * i])
            total += 12 + cnt * sizes.get(typ, 0)
        size = total - 18
    if name.endswith(".crw"):
        size = 4096  # cut at the sector that holds the description block
    print(name, size)
PY

# The images: a run of files at 64 KiB steps, some set to straddle the 4 MiB chunk ends, the last
# at the very end of the image.
python3 -B - "$out" "$here" <<'PY'
import os, sys
sys.path.insert(0, sys.argv[2])
from embed_files import MiB, embed
out = sys.argv[1]
src = os.path.join(out, "src")
expected = {n: int(s) for n, s in (l.split() for l in open(os.path.join(src, "expected.txt")))}
ext = {"jpg": "JPG", "png": "PNG", "gif": "GIF", "bmp": "BMP", "ico": "ICO", "tif": "TIF", "psd": "PSD",
       "psp": "PSP", "crw": "CRW", "cpt": "CPT", "emf": "EMF", "wmf": "WMF", "eps": "EPS"}
names = sorted(expected)
image_size = 20 * MiB


def at_the_end(i, name, data, sector):
    if i != len(names) - 1:
        return None
    return image_size - (len(data) + sector - 1) // sector * sector, expected[name]


embed(out, src, names, expected, ext, image_size, seed=1234, first=3,
      straddle=lambda sector: {"big.tif": 4 * MiB - 2 * sector, "handmade.cpt": 8 * MiB - 5 * sector,
                               "layered.psd": 12 * MiB - sector},
      place=at_the_end)
PY
