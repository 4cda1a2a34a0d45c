#!/usr/bin/env python3
"""ext_finder_bench.py NEW_BIN OLD_BIN IMAGE WORK: what looking for Ext volumes anywhere costs the
whole run of relikorda-recover (the user's path), in processor seconds (user and system).

1. IMAGE (an image that holds no Ext volume, the 1 GiB carving bench image say): NEW_BIN and
   OLD_BIN (a build without the Ext finder) run alternately, five pairs; the median of the pair
   ratios new/old.
2. Hostile images made in WORK from IMAGE's first 256 MiB: an Ext superblock magic on every sector,
   and a whole superblock that passes every test of its own geometry on every other sector, each
   run alternately with the same 256 MiB unchanged, three pairs by NEW_BIN; the median ratios.
The machine's load (uptime) is printed with the figures: the machine is shared."""
import os
import resource
import statistics
import subprocess
import sys
import tempfile
import time

HOSTILE_BYTES = 256 << 20


def run(bin_dir, image, out):
    """The run's processor time (user and system, seconds): on a loaded machine its wall time says
    more of the other programs than of this one."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    subprocess.run([os.path.join(bin_dir, "relikorda-recover"), "--device", image, "--out", out],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   env=dict(os.environ, RELIKORDA_LOG=os.path.join(out, "log.txt")), check=False)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def pairs(first, second, count, work):
    """[(time of first, time of second)] alternately, a fresh output folder each time."""
    out = []
    for i in range(count):
        with tempfile.TemporaryDirectory(dir=work) as a, tempfile.TemporaryDirectory(dir=work) as b:
            out.append((first(a), second(b)))
    return out


def superblock():
    """A superblock mke2fs wrote for a 64 MiB ext4 volume (as good as any real one)."""
    with tempfile.TemporaryDirectory() as d:
        vol = os.path.join(d, "v.img")
        with open(vol, "wb") as f:
            f.truncate(64 << 20)
        subprocess.run(["mkfs.ext4", "-q", "-F", vol], check=True)
        with open(vol, "rb") as f:
            f.seek(1024)
            return f.read(1024)


def make_hostile(image, work):
    with open(image, "rb") as f:
        base = bytearray(f.read(HOSTILE_BYTES))
    plain = os.path.join(work, "plain.img")
    with open(plain, "wb") as f:
        f.write(base)
    magic = bytearray(base)
    for at in range(56, len(magic), 512):
        magic[at:at + 2] = b"\x53\xef"
    sb = superblock()
    copies = bytearray(base)
    for at in range(0, len(copies), 1024):
        copies[at:at + 1024] = sb
    paths = {}
    for name, data in (("magic", magic), ("superblocks", copies)):
        paths[name] = os.path.join(work, name + ".img")
        with open(paths[name], "wb") as f:
            f.write(data)
    return plain, paths


def main():
    new_bin, old_bin, image, work = sys.argv[1:5]
    os.makedirs(work, exist_ok=True)
    print("load before: " + subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip())
    timed = pairs(lambda o: run(old_bin, image, o), lambda o: run(new_bin, image, o), 5, work)
    ratios = [n / o for o, n in timed]
    print("%s: old %s s, new %s s; new/old median %.3f (pairs %s)" % (
        os.path.basename(image), " ".join("%.2f" % o for o, _ in timed), " ".join("%.2f" % n for _, n in timed),
        statistics.median(ratios), " ".join("%.3f" % r for r in ratios)))
    plain, hostile = make_hostile(image, work)
    for name, path in hostile.items():
        timed = pairs(lambda o: run(new_bin, plain, o), lambda o: run(new_bin, path, o), 3, work)
        ratios = [h / p for p, h in timed]
        print("%s (256 MiB): plain %s s, hostile %s s; hostile/plain median %.3f" % (
            name, " ".join("%.2f" % p for p, _ in timed), " ".join("%.2f" % h for _, h in timed),
            statistics.median(ratios)))
        os.remove(path)
    os.remove(plain)
    print("load after: " + subprocess.run(["uptime"], capture_output=True, text=True).stdout.strip())


if __name__ == "__main__":
    main()
