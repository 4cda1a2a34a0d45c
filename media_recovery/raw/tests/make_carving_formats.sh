#!/bin/bash
# Raw images with audio, video, document, archive, help, text, drawing and font files written at
# sector offsets, for the carving tests of those families.
# Output folder $1: src/ (the files), and per variant <fill>-<sector>.img with <fill>-<sector>.txt,
# one line per embedded file: "<device sector> <src file> <expected size> <expected extension>".
# Files whose names start with "handmade" are small headers written here by hand, for formats that
# no free tool writes.
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out/src" "$out/work"
src=$out/src
work=$out/work
cd "$work"

# Audio: sox, lame, id3v2 (ID3 v2.3 and v1), ffmpeg (ID3 v2.4), abcmidi.
sox -n -r 22050 -c 1 tone.wav synth 1.5 sine 440
cp tone.wav "$src/tone.wav"
sox tone.wav "$src/tone.au"
lame --quiet -b 64 tone.wav "$src/v23.mp3"
id3v2 -2 -t 'Morning/Song\Two' -y 2019 "$src/v23.mp3"
lame --quiet -b 96 tone.wav "$src/v23v1.mp3"
id3v2 -2 -y 2001 "$src/v23v1.mp3"
id3v2 -1 -t 'Old Title' -y 1999 "$src/v23v1.mp3"
ffmpeg -nostdin -loglevel error -i tone.wav -b:a 64k -metadata title='Vier Lieder' "$src/v24.mp3"
printf 'X:1\nT:Scale\nM:4/4\nL:1/8\nK:C\nCDEF GABc|cBAG FEDC|\nX:2\nT:Two\nK:G\nGABc d2B2|\n' > tune.abc
abc2midi tune.abc 1 -o "$src/tune.mid" > /dev/null

# Video: ffmpeg.
ff() { ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=160x120:rate=10 -t 2 -pix_fmt yuv420p "$@"; }
ff "$src/default.mp4"
ff -movflags +faststart "$src/faststart.mp4"
ff -movflags frag_keyframe+empty_moov "$src/fragmented.mp4"
ff "$src/movie.mov"
ff "$src/movie.avi"
ff "$src/movie.wmv"
ff -f swf "$src/movie.swf"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=176x144:rate=10 -f lavfi -i sine=f=440:r=8000 -t 2 \
  -c:v h263 -c:a aac -ar 8000 -ac 1 -b:a 12k "$src/clip.3gp"
ffmpeg -nostdin -loglevel error -i tone.wav "$src/song.wma"

# Documents: LibreOffice, one conversion per output format (input text written here).
cat > letter.html <<'EOF'
<html><head><title>Letter</title></head><body><h1>Dear reader</h1><p>A test document with a table.</p>
<table border="1"><tr><td>a</td><td>b</td></tr><tr><td>1</td><td>2</td></tr></table>
<p>Braces { and } and a backslash \ in the text.</p></body></html>
EOF
printf 'name,value\nalpha,1\nbeta,2\ngamma,3\n' > sheet.csv
cat > slides.fodp <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0" xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0" xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0" xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0" office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
<office:body><office:presentation>
<draw:page draw:name="One"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>First slide</text:p></draw:text-box></draw:frame></draw:page>
<draw:page draw:name="Two"><draw:frame svg:x="2cm" svg:y="2cm" svg:width="20cm" svg:height="3cm"><draw:text-box><text:p>Second slide</text:p></draw:text-box></draw:frame></draw:page>
</office:presentation></office:body></office:document>
EOF
export HOME=$work  # LibreOffice keeps its profile here, not in the user's home
# Under load a first start of LibreOffice now and then gives up: such a conversion is tried once more.
lo() { soffice --headless "$@" > /dev/null 2>&1 || soffice --headless "$@" > /dev/null 2>&1; }
lo --infilter="HTML (StarWriter)" --convert-to 'doc:MS Word 97' letter.html
lo --convert-to docx letter.doc
lo --convert-to rtf letter.doc
lo --convert-to pdf letter.doc
lo --convert-to html letter.doc
lo --infilter=CSV:44,34,76 --convert-to xls sheet.csv
lo --infilter=CSV:44,34,76 --convert-to xlsx sheet.csv
lo --convert-to ppt slides.fodp
lo --convert-to pptx slides.fodp
for f in letter.doc letter.docx letter.rtf letter.pdf letter.html sheet.xls sheet.xlsx slides.ppt slides.pptx; do
  cp "$f" "$src/office-$f"
done
qpdf --linearize letter.pdf "$src/linearized.pdf"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE letter.html; } > "$src/wide.htm"  # with its byte-order mark
# A PDF with an incremental update: the LibreOffice file plus an appended revision (hand-written
# update section: a new Info dictionary, its cross-reference section and a trailer with /Prev).
python3 - letter.pdf "$src/handmade-update.pdf" <<'PY'
import re, sys
data = open(sys.argv[1], "rb").read()
prev = int(re.findall(rb"startxref\s+(\d+)", data)[-1])
size = int(re.findall(rb"/Size\s+(\d+)", data)[-1])
root = re.findall(rb"/Root\s+(\d+ \d+ R)", data)[-1]
obj = b"%d 0 obj\n<< /Title (Revised letter) >>\nendobj\n" % size
at = len(data)
xref_at = at + len(obj)
xref = b"xref\n%d 1\n%010d 00000 n \n" % (size, at)
trailer = b"trailer\n<< /Size %d /Root %s /Info %d 0 R /Prev %d >>\nstartxref\n%d\n%%%%EOF\n" % (
    size + 1, root, size, prev, xref_at)
open(sys.argv[2], "wb").write(data + obj + xref + trailer)
PY

# Archives and help: zip (also streamed through a pipe), gzip, tar, gcab, jlha, chmcmd.
printf 'hello world %d\n' $(seq 1 300) > notes.txt
mkdir -p folder/sub && cp notes.txt folder/sub/notes.txt && cp letter.rtf folder/letter.rtf
zip -q -r "$src/plain.zip" notes.txt letter.rtf folder
zip -q -fz- -r - notes.txt folder | cat > "$src/streamed.zip"
gzip -9 -n -c notes.txt > "$src/notes.gz"
tar cf "$src/archive.tar" notes.txt folder letter.doc
gcab -c -z "$src/cabinet.cab" notes.txt letter.rtf
rm -f archive.lzh && jlha c1q archive.lzh notes.txt letter.rtf && cp archive.lzh "$src/archive.lzh"
mkdir -p chm && cat > chm/index.html <<'EOF'
<html><head><title>Help</title></head><body><h1>Help page</h1><p>Some help text.</p></body></html>
EOF
printf '[OPTIONS]\nCompiled file=help.chm\nDefault topic=index.html\nTitle=Test help\n\n[FILES]\nindex.html\n' > chm/help.hhp
(cd chm && chmcmd help.hhp > /dev/null)
# chmcmd writes the first header GUID twice; Microsoft's compiler writes ...FD11... second. Patch
# that one byte so that the file carries the header every other help file has.
python3 - chm/help.chm "$src/help-chmcmd.chm" <<'PY'
import sys
d = bytearray(open(sys.argv[1], "rb").read())
assert d[40] in (0x10, 0x11)
d[40] = 0x11
open(sys.argv[2], "wb").write(d)
PY

# Font and drawing: fonts-dejavu-core, ezdxf (written with CR LF line ends, as CAD programs do).
cp /usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf "$src/dejavu.ttf"
/usr/bin/python3 - "$src/drawing.dxf" <<'PY'
import sys
import ezdxf
doc = ezdxf.new("R2010")
msp = doc.modelspace()
msp.add_line((0, 0), (10, 5))
msp.add_circle((3, 3), 2)
with open(sys.argv[1], "wt", newline="\r\n", encoding="cp1252") as f:
    doc.write(f)
PY

# Hand-made headers for the formats without a free writer.
python3 - "$src" <<'PY'
import os, struct, sys
d = sys.argv[1]
def put(name, data):
    open(os.path.join(d, name), "wb").write(bytes(data))
def body(n, seed):
    return bytes((i * 31 + seed) % 251 + 1 for i in range(n))
# RAR 2.x/3.x: marker, archive header, one stored file block, end-of-archive block.
main = struct.pack("<HBHH", 0x90CF, 0x73, 0, 13) + b"\0" * 6
data = body(3000, 1)
name = b"notes.txt"
fh = struct.pack("<HBHH", 0, 0x74, 0x8000, 32 + len(name)) + struct.pack(
    "<IIBIIBBHI", len(data), len(data), 2, 0, 0, 20, 0x30, len(name), 0x20) + name
put("handmade.rar", b"Rar!\x1a\x07\x00" + main + fh + data + b"\xc4\x3d\x7b\x00\x40\x07\x00")
# WinHelp: magic, directory start, first free block, file size.
hlp = bytearray(body(6000, 2))
hlp[0:16] = b"\x3f\x5f\x03\x00" + struct.pack("<iii", 0x400, -1, 6000)
put("handmade.hlp", hlp)
# Jet 4 database: header page and used pages (non-zero page type), then nothing.
mdb = bytearray(4096 * 5)
mdb[0:20] = b"\x00\x01\x00\x00Standard Jet DB\x00"
for p in range(1, 5):
    mdb[4096 * p] = 1
    mdb[4096 * p + 1:4096 * p + 200] = body(199, p)
put("handmade.mdb", mdb)
acc = bytearray(mdb)
acc[4:19] = b"Standard ACE DB"
put("handmade.accdb", acc[:4096 * 3])
# Outlook (Unicode, version 23) with its file size at 184.
pst = bytearray(body(9000, 3))
pst[0:4] = b"!BDN"
pst[10] = 23
pst[184:188] = struct.pack("<I", 9000)
put("handmade.pst", pst)
# Outlook Express folder: signature and file size at 124.
dbx = bytearray(body(7000, 4))
dbx[0:16] = bytes.fromhex("CFAD12FEC5FD746F66E3D1119A4E00C0")
dbx[124:128] = struct.pack("<I", 7000)
put("handmade.dbx", dbx)
# OneNote section: GUID and file size at 196.
one = bytearray(body(5000, 5))
one[0:16] = bytes.fromhex("E4525C7B8CD8A74DAEB15378D02996D3")
one[196:200] = struct.pack("<I", 5000)
put("handmade.one", one)
# Money: "MSISAM Database" at 4; its end is not known (a fixed 1 MiB is carved).
mny = bytearray(body(3000, 6))
mny[0:4] = b"\x00\x01\x00\x00"
mny[4:19] = b"MSISAM Database"
put("handmade.mny", mny)
# WordPerfect document: header with its file size at 20.
wpd = bytearray(body(4000, 7))
wpd[0:4] = b"\xffWPC"
wpd[8:12] = struct.pack("<I", 0x01020A01)
wpd[14:18] = struct.pack("<I", 0x00050200)
wpd[20:24] = struct.pack("<I", 4000)
put("handmade.wpd", wpd)
# CorelDRAW 8 (RIFF form "CDR8").
cdr = b"RIFF" + struct.pack("<I", 4 + 8 + 4 + 2400) + b"CDR8" + b"vrsn" + struct.pack("<I", 4) + b"\x20\x03\0\0"
cdr += b"DISP" + struct.pack("<I", 2392) + body(2392, 8)
put("handmade.cdr", cdr)
# AutoCAD R2000 drawing: preview address, section locators and the preview sentinel.
dwg = bytearray(body(12000, 9))
dwg[0:8] = b"AC1015\0\0"
dwg[0x0D:0x11] = struct.pack("<I", 0x200)
dwg[0x15:0x19] = struct.pack("<I", 3)
for i, (addr, size) in enumerate([(0x300, 0x1000), (0x1300, 0x1200), (0x2500, 12000 - 0x2500)]):
    dwg[0x19 + 9 * i:0x19 + 9 * i + 9] = struct.pack("<BII", i, addr, size)
dwg[0x200:0x210] = bytes.fromhex("1F256D07D43628289D57CA3F9D44102B")
put("handmade.dwg", dwg)
# FreeHand 11: header bytes and the closing "Decode" trailer.
fh11 = bytearray(body(5000, 10))
fh11[0:16] = bytes.fromhex("1C0100000200041C011400020014 1C01".replace(" ", ""))
fh11[34:36] = b"11"
fh11 += b"Decode\x00\xff\xff\xff\xff\x00"
put("handmade.fh11", fh11)
# 3D Studio: main chunk 0x4D4D with its length, editor chunk 0x3D3D at 16.
m = bytearray(body(3000, 11))
m[0:6] = struct.pack("<HI", 0x4D4D, 3000)
m[6:16] = struct.pack("<HIHH", 0x0002, 10, 3, 0)
m[16:22] = struct.pack("<HI", 0x3D3D, 2984)
put("handmade.3ds", m)
# Early word-processor documents, by the three signatures the carver knows besides the compound
# file: two that carry a length at 292 (32-bit) and 296 (16-bit), their sum rounded up to a
# multiple of 512, and a compound-file signature without the rest of it (D0 CF 11 E0, then other
# bytes), whose length is (the 32-bit value at 48 + 5) sectors of 512 bytes.
for name, magic in (("handmade-lowdoc-dba5.doc", b"\xdb\xa5\x2d\x00"),
                    ("handmade-lowdoc-94a6.doc", b"\x94\xa6\x2e\x00")):
    doc = bytearray(body(3072, 12))
    doc[0:4] = magic
    doc[292:298] = struct.pack("<IH", 2900, 100)
    put(name, doc)
doc = bytearray(body(6144, 13))
doc[0:8] = b"\xd0\xcf\x11\xe0\x00\x00\x00\x00"
doc[48:52] = struct.pack("<I", 7)
put("handmade-lowdoc-d0cf.doc", doc)
PY

# Expected sizes: the file's own length, except where the format's rule cuts it: HTML ends with
# its closing tag, RTF with its last brace, FreeHand with its footer; gzip and Money take a fixed length (cut to the image
# end when embedding).
python3 - "$src" > "$out/expected.txt" <<'PY'
import os, sys
d = sys.argv[1]
for name in sorted(os.listdir(d)):
    data = open(os.path.join(d, name), "rb").read()
    size = len(data)
    if name.endswith(".html"):
        size = data.lower().rindex(b"</html>") + 7
    elif name.endswith(".htm"):
        size = data.lower().rindex("</html>".encode("utf-16-le")) + 14 + 2
    elif name.endswith(".rtf"):
        size = data.rindex(b"}") + 1
    elif name.endswith(".fh11"):
        size = data.rindex(b"Decode") + 11  # the footer is the first 11 bytes of the trailer
    elif name.endswith(".gz"):
        size = -0x8000000
    elif name.endswith(".mny"):
        size = -0x100000
    print(name, size)
PY

python3 -B - "$out" "$here" <<'PY'
import os, sys
sys.path.insert(0, sys.argv[2])
from embed_files import MiB, embed
out = sys.argv[1]
src = os.path.join(out, "src")
expected = {n: int(s) for n, s in (l.split() for l in open(os.path.join(out, "expected.txt")))}
ext = {"wav": "WAV", "au": "AU", "mp3": "MP3", "mid": "MID", "mp4": "MP4", "mov": "MOV", "avi": "AVI",
       "wmv": "ASF", "wma": "ASF", "swf": "SWF", "3gp": "3GP", "doc": "DOC", "xls": "XLS", "ppt": "PPT",
       "docx": "DOCX", "xlsx": "XLSX", "pptx": "PPTX", "rtf": "RTF", "pdf": "PDF", "html": "HTM", "htm": "HTM",
       "zip": "ZIP", "gz": "GZ", "tar": "TAR", "cab": "CAB", "lzh": "LZH", "chm": "CHM", "ttf": "TTF",
       "dxf": "DXF", "rar": "RAR", "hlp": "HLP", "mdb": "MDB", "accdb": "ACCDB", "pst": "PST", "dbx": "DBX",
       "one": "ONE", "mny": "MNY", "wpd": "WPD", "cdr": "CDR", "dwg": "DWG", "fh11": "FH11", "3ds": "3DS"}
# The fixed-length carves go last, so that what they cover is nothing but the image's end.
names = sorted(expected, key=lambda n: (expected[n] < 0, n))
image_size = 32 * MiB


def at_the_end(i, name, data, sector):
    """The fixed-length carves: the last in the image, 2 MiB apart, cut to the image's end."""
    if expected[name] >= 0:
        return None
    at = image_size - (len(names) - i) * 2 * MiB
    return at, min(-expected[name], image_size - at)


embed(out, src, names, expected, ext, image_size, seed=4321, first=5,
      straddle=lambda sector: {"clip.3gp": 4 * MiB - 3 * sector, "handmade.cdr": 8 * MiB - sector,
                               "handmade.rar": 12 * MiB - 2 * sector},
      place=at_the_end, run_end=image_size - 4 * MiB)
PY
rm -rf "$work"
