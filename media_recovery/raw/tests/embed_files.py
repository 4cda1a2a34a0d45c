"""Writes the carving fixture images: files embedded at sector offsets in zero-filled and in
pseudo-random (seeded, so that runs repeat) images of 512- and 4096-byte sectors.

Each variant becomes <fill>-<sector>.img with <fill>-<sector>.txt, one line per embedded file:
"<device sector> <file> <expected size> <expected extension>".
"""
import os
import random

MiB = 1 << 20


def embed(out, src, names, expected, ext, image_size, seed, first, straddle, place=None, run_end=None):
    """Embeds the files of src in the order of names, from sector `first` on at 64 KiB steps.

    straddle(sector): file name -> byte offset, for files set across a chunk end; the run keeps
    1 MiB clear of them. place(i, name, data, sector): (offset, expected size) for a file placed
    elsewhere than in the run, or None. run_end: where the run must have ended. expected: file
    name -> size; ext: ending -> extension.
    """
    for fill in ("zero", "random"):
        for sector in (512, 4096):
            rng = random.Random(seed + sector)
            img = bytearray(image_size) if fill == "zero" else bytearray(rng.randbytes(image_size))
            lines = []
            placed = []
            pos = first * sector
            across = straddle(sector)
            for i, name in enumerate(names):
                data = open(os.path.join(src, name), "rb").read()
                special = place(i, name, data, sector) if place else None
                at, want = special if special else (across.get(name, pos), expected[name])
                assert special or run_end is None or at + len(data) < run_end, "%s runs too far" % name
                assert at % sector == 0 and at + len(data) <= image_size, name
                assert all(at + len(data) <= a or at >= b for a, b in placed), "%s overlaps a file" % name
                placed.append((at, at + len(data)))
                img[at:at + len(data)] = data
                if fill == "zero":
                    # Zero-filled images keep the slack behind a file zero, as a fresh volume would.
                    end = (at + len(data) + sector - 1) // sector * sector
                    img[at + len(data):end] = bytes(end - at - len(data))
                lines.append("%d %s %d %s" % (at // sector, name, want, ext[name.rsplit(".", 1)[1]]))
                pos = max(pos, at) + (len(data) + 65535) // 65536 * 65536 + 16 * sector
                while any(abs(pos - s) < MiB for s in across.values()):
                    pos += 65536
            base = os.path.join(out, "%s-%d" % (fill, sector))
            open(base + ".img", "wb").write(img)
            open(base + ".txt", "w").write("\n".join(lines) + "\n")
