"""Spreads the files of OUT/src over a 1 GiB pseudo-random image, OUT/bench.img, at 4096-byte
offsets in a shuffled order, and lists them in OUT/bench.txt ("<byte offset> <file>").

Usage: spread_files.py OUT SEED (the same seed gives the same image).
"""
import os
import random
import sys

out, seed = sys.argv[1], int(sys.argv[2])
src = os.path.join(out, "src")
names = sorted(os.listdir(src))
size = 1 << 30
rng = random.Random(seed)
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
