#!/bin/bash
# The image of the MP3 benchmark: 2,000 MP3 files (sox makes the sound, lame and ffmpeg encode it:
# constant and variable bit rates, MPEG-1, -2 and -2.5, ID3v2.3 and 2.4 tags, some with an ID3v1
# trailer), laid out as a card's clusters hold them: each file starts at a 4 KiB boundary, the rest
# of its last cluster is zeros, and every other file is followed by old data (pseudo-random bytes,
# 16 to 160 KiB), so that many scans after a last frame run through noise. Output folder $1:
# image.img, image.txt ("<byte offset> <file> MP3"), src/ (the files), and small.img with small.txt
# (the first three files in 1 MiB).
set -euo pipefail
out=$(mkdir -p "$1" && cd "$1" && pwd)
count=${2:-2000}
rm -rf "$out/src" "$out/work"
mkdir -p "$out/src" "$out/work"
trap 'rm -rf "$out/work"' EXIT

one() {
  local i=$1 src=$2 work=$3
  local rates=(44100 48000 32000 22050 24000 16000 11025 8000)
  local rate=${rates[$((i % 8))]} channels=$((1 + (i / 8) % 2))
  local seconds=$((10 + (i * 7) % 30))  # tenths
  local wav=$work/$i.wav name
  name=$(printf 'song%04d.mp3' "$i")
  sox -n -r "$rate" -c "$channels" "$wav" synth "$((seconds / 10)).$((seconds % 10))" \
    sine $((200 + (i * 37) % 1800)) sine $((300 + (i * 53) % 2500)) pinknoise mix vol 0.8
  local rates_kbps=(32 64 96 128 160 192 256 320) title="Track $i" year=$((1990 + i % 30))
  local kbps=${rates_kbps[$(((i / 16) % 8))]}
  # MPEG-2 and 2.5 carry at most 160 kbit/s.
  if [ "$rate" -lt 32000 ] && [ "$kbps" -gt 160 ]; then kbps=$((kbps / 2)); fi
  case $((i % 4)) in
    0) lame --quiet -b "$kbps" --tt "$title" --ty "$year" --add-id3v2 "$wav" "$src/$name" ;;
    1) lame --quiet -b "$kbps" --tt "$title" --ty "$year" --id3v2-only "$wav" "$src/$name" ;;
    2) lame --quiet -V $((i % 10)) --tt "$title" --ty "$year" --id3v2-only "$wav" "$src/$name" ;;
    3) ffmpeg -nostdin -loglevel error -i "$wav" -b:a "${kbps}k" -metadata title="$title" \
         -metadata date="$year" "$src/$name" ;;
  esac
  rm -f "$wav"
}
export -f one
seq 0 $((count - 1)) | xargs -P 4 -I{} bash -c 'one {} "$0" "$1"' "$out/src" "$out/work"

python3 - "$out" <<'PY'
import os, random, sys
out = sys.argv[1]
src = os.path.join(out, "src")
names = sorted(os.listdir(src))
rng = random.Random(2031)
KiB = 1024

def write(image, manifest, names, size=None):
    pos = 0
    with open(image, "wb") as img, open(manifest, "w") as m:
        for i, name in enumerate(names):
            data = open(os.path.join(src, name), "rb").read()
            m.write("%d %s MP3\n" % (pos, name))
            img.write(data)
            pos += len(data)
            slack = -pos % (4 * KiB)
            img.write(bytes(slack))
            pos += slack
            if i % 2:
                old = rng.randrange(4, 41) * 4 * KiB
                img.write(rng.randbytes(old))
                pos += old
        if size is not None and pos < size:
            img.write(bytes(size - pos))

write(os.path.join(out, "image.img"), os.path.join(out, "image.txt"), names)
write(os.path.join(out, "small.img"), os.path.join(out, "small.txt"), names[:3], 1 << 20)
PY
