#!/bin/bash
# A 1 GiB pseudo-random raw image with the picture files of the carving benchmark and the audio,
# video, document, archive, help, text, drawing and font files of the carving tests, at sector
# offsets. Output folder $1: bench.img, bench.txt ("<byte offset> <file>") and src/.
set -euo pipefail
out=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
mkdir -p "$out/src" "$out/parts/pictures" "$out/parts/families"
"$root/bench/carving/make_bench_image.sh" "$out/parts/pictures" > /dev/null
rm -f "$out/parts/pictures/bench.img"
"$root/media_recovery/raw/tests/make_carving_formats.sh" "$out/parts/families" > /dev/null 2>&1
cp "$out/parts/pictures/src/"* "$out/parts/families/src/"* "$out/src/"
rm -rf "$out/parts"
python3 - "$out" <<'PY'
import os, random, sys
out = sys.argv[1]
src = os.path.join(out, "src")
names = sorted(os.listdir(src))
size = 1 << 30
rng = random.Random(77)
# Files spread over the image at 4096-byte offsets, in a shuffled order.
step = size // (len(names) + 1)
order = names[:]
rng.shuffle(order)
place = {}
for i, n in enumerate(order):
    at = (step * (i + 1) + rng.randrange(0, step // 2)) // 4096 * 4096
    place[at] = n
with open(os.path.join(out, "bench.img"), "wb") as img:
    pos = 0
    block = 1 << 24
    for at in sorted(place):
        data = open(os.path.join(src, place[at]), "rb").read()
        while pos < at:
            n = min(block, at - pos)
            img.write(rng.randbytes(n))
            pos += n
        img.write(data)
        pos += len(data)
    while pos < size:
        n = min(block, size - pos)
        img.write(rng.randbytes(n))
        pos += n
with open(os.path.join(out, "bench.txt"), "w") as m:
    for at in sorted(place):
        m.write("%d %s\n" % (at, place[at]))
PY
