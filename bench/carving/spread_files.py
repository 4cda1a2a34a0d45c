"""Spreads the files of OUT/src over a 1 GiB pseudo-random image, OUT/bench.img, at 4096-byte
offsets in a shuffled order, and lists them in OUT/bench.txt ("<byte offset> <file>").

Usage: spread_files.py OUT SEED (the same seed gives the same image).
Other image scripts import write_image to lay out files placed their own way.
"""
import os
import random
import sys


def write_image(image, manifest, size, place, src, rng, label=None):
    """Writes size bytes of rng's random data to image with the file src/place[at] at each offset
    at, and lists "<offset> <file>[ <label(file)>]" in manifest."""
    with open(image, "wb") as img:
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
    with open(manifest, "w") as m:
        for at in sorted(place):
            extra = " " + label(place[at]) if label else ""
            m.write("%d %s%s\n" % (at, place[at], extra))


def main():
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
    write_image(os.path.join(out, "bench.img"), os.path.join(out, "bench.txt"), size, place, src, rng)


if __name__ == "__main__":
    main()
