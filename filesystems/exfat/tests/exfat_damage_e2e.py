#!/usr/bin/env python3
"""exfat_damage_e2e.py BIN IMAGES: relikorda-recover over copies of made exFAT volumes (512- and
4096-byte sectors), each damaged one way after it was made: a chain that loops back mid-way, a
length larger than the volume (set checksum redone), the image cut at its heap's start or inside
it, a refused entry set, a folder chain cut short, a length grown past what was written to the
file, a name changed, a type byte changed, a FAT link into another file's chain or into a free
cluster, a file marked a folder, a first cluster moved onto another file's, a chain taken for one
stretch, a length past the device of a volume whose main boot sector is gone. Judged against The Sleuth Kit's listing and
contents of the undamaged volume: every live file the damage did not touch is written
byte-identical in its folder and named nowhere; every other one is written byte-identical, or
named on standard error with what it holds agreeing with its own bytes (under the name it has now,
when its name was changed); the run exits 12 and says the damage."""
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures"))
from exfat_fixture import MEDIA_EXTENSIONS, Volume, checksum, read_fls  # noqa: E402

BIN, IMAGES = sys.argv[1], sys.argv[2]
RENAMED = {}  # a touched file's path -> the path its changed name gives it


def live_files(v, clusters=None, path="", ancestors=()):
    """(path, data clusters, folder clusters above it, set offset, folder clusters) of every live
    file, walked from the root."""
    clusters = clusters or v.chain(v.root)
    data = v.read(clusters)
    for off, n, name, first, contiguous, length in v.sets(data):
        attributes = struct.unpack_from("<H", data, off + 4)[0]
        own = v.clusters(first, contiguous, length) if first else []
        if attributes & 0x10:
            yield from live_files(v, own, path + "/" + name, ancestors + tuple(clusters))
        else:
            yield path + "/" + name, own, ancestors + tuple(clusters), off, clusters


def find(v, path):
    return next(f for f in live_files(v) if f[0] == path)


# Each damage edits the copy at img and returns the paths of the live files it touched (None: all).
def loop_mid(img):
    v = Volume(img)
    name, clusters = next((f[0], f[1]) for f in live_files(v) if len(f[1]) >= 4 and v.next(f[1][0]) == f[1][1])
    struct.pack_into("<I", v.fat, 4 * clusters[-2], clusters[1])
    v.write_fat()
    return {name}


def set_length(img, path, length):
    v = Volume(img)
    _, _, _, off, folder = find(v, path)
    data = v.read(folder)
    n = data[off + 1] + 1
    struct.pack_into("<Q", data, off + 32 + 8, length)  # ValidDataLength
    struct.pack_into("<Q", data, off + 32 + 24, length)  # DataLength
    struct.pack_into("<H", data, off + 2, checksum(data[off:off + 32 * n]))
    v.write(folder, data)
    return {path}


def oversize(img):
    v = Volume(img)
    contiguous = next(f[0] for f in live_files(v) if f[0].count("/") == 1 and f[1] and v.next(f[1][0]) == 0)
    chain = next(f[0] for f in live_files(v) if len(f[1]) >= 2 and v.next(f[1][0]) == f[1][1])
    size = os.path.getsize(img)
    return set_length(img, contiguous, size + 8 * 2 ** 20) | set_length(img, chain, 2 ** 40)


def cut_at(img, fraction):
    """The image cut at fraction of the clusters its live files and folders use."""
    v = Volume(img)
    files = list(live_files(v))
    used = max(c for f in files for c in f[1] + list(f[2]))
    first_lost = 2 + int((used - 1) * fraction)
    with open(img, "r+b") as f:
        f.truncate((v.heap + (first_lost - 2) * v.spc) * v.sector)
    return {f[0] for f in files if any(c >= first_lost for c in f[1] + list(f[2]))} if fraction else None


def bad_stream(img):
    v = Volume(img)
    path, _, _, off, folder = next(f for f in live_files(v) if f[0].startswith("/Music/"))
    data = v.read(folder)
    data[off + 32 + 2] = 0x55  # a reserved byte of the stream extension
    n = data[off + 1] + 1
    struct.pack_into("<H", data, off + 2, checksum(data[off:off + 32 * n]))
    v.write(folder, data)
    return {path}


def fat_link(img, path, to):
    """The second link of path's chain made to name cluster to."""
    v = Volume(img)
    _, clusters, _, _, _ = find(v, path)
    struct.pack_into("<I", v.fat, 4 * clusters[1], to)
    v.write_fat()
    return {path}


def into_other_chain(img):
    v = Volume(img)
    other = find(v, "/Documents/B.mp4")[1]
    return fat_link(img, "/Documents/big.mp4", other[2])


def edit_set(img, path, edit, redo=True):
    """edit(set bytes) on path's entry set, its checksum redone or left."""
    v = Volume(img)
    _, _, _, off, folder = find(v, path)
    data = v.read(folder)
    n = data[off + 1] + 1
    entries = bytearray(data[off:off + 32 * n])
    edit(entries)
    if redo:
        struct.pack_into("<H", entries, 2, checksum(entries))
    data[off:off + 32 * n] = entries
    v.write(folder, data)
    return {path}


def renamed(img):
    path = "/Music/Song 03 with a long name.mp3"
    RENAMED[path] = "/Music/Song 0X with a long name.mp3"
    return edit_set(img, path, lambda e: e.__setitem__(64 + 2 + 2 * 6, ord("X")))


def moved_onto(img, path, other, told=False):
    """path's first cluster moved onto other's first, the set checksum redone: other is touched too,
    unless told (other's cluster follows on its neighbour's in their folder, path's does not)."""
    v = Volume(img)
    onto = find(v, other)[1][0]
    touched = edit_set(img, path, lambda e: struct.pack_into("<I", e, 32 + 20, onto))
    return touched if told else touched | {other}


def no_main_boot_sector(img):
    """The main boot sector zeroed (the backup 12 sectors on stays), and a length past the device."""
    touched = set_length(img, "/Documents/a.pdf", os.path.getsize(img) + 2 ** 20)
    with open(img, "r+b") as f:
        f.write(bytes(512))
    return touched


def folder_chain_cut(img):
    v = Volume(img)
    touched = {f[0] for f in live_files(v) if f[0].startswith("/Music/")}
    clusters = v.directory("/Music")
    struct.pack_into("<I", v.fat, 4 * clusters[0], 0xFFFFFFFF)
    v.write_fat()
    return touched


CASES = [
    # name, source image, damage, what standard error must say[, whether a touched file still holds
    # all its bytes, and more]
    ("loop mid-chain", "exfat_4k.img", loop_mid, r"cluster chain comes back to cluster \d+ after"),
    ("loop mid-chain, 4 KiB sectors", "exfat_8k.4k.img", loop_mid, r"cluster chain comes back to cluster"),
    ("length past the volume", "exfat_4k.img", oversize, r"is larger than its volume's heap", True),
    ("cut at the heap's start", "exfat_4k.img", lambda i: cut_at(i, 0), r"runs past the end of its device"),
    ("cut inside the heap", "exfat_8k.4k.img", lambda i: cut_at(i, 0.5), r"runs past the end of its device"),
    ("refused entry set", "exfat_4k.img", bad_stream, r"exFAT folder \"/Music\": the entry set at sector \d+ .*is refused"),
    ("folder chain cut", "exfat_4k.img", folder_chain_cut, r"exFAT folder \"/Music\": its cluster chain ends after 1"),
    ("length grown, checksum redone", "exfat_4k.img",
     lambda i: edit_set(i, "/Documents/c.pdf", lambda e: struct.pack_into("<Q", e, 32 + 24, 3 * 4096)),
     r"\"/Documents/c.pdf\": only 3000 of its 12288 bytes were written to it", True),
    ("name changed, checksum redone", "exfat_4k.img", renamed,
     r"\"/Music/Song 0X with a long name.mp3\": its name is not the one its entry set's name hash was made from",
     True),
    ("a type byte changed", "exfat_4k.img",
     lambda i: edit_set(i, "/Music/Song 04 with a long name.mp3", lambda e: e.__setitem__(0, 0xDD), False),
     r"exFAT folder \"/Music\": the entry set at sector \d+ \(\"Song 04 with a long name.mp3\"\) is refused: its "
     r"first entry is of a kind not known here"),
    ("FAT link into another file's chain", "exfat_4k.img", into_other_chain,
     r"\"/Documents/big.mp4\": its cluster \d+ \(number 3 of its 10\) is another live file's: it is cut"),
    ("FAT link into a free cluster", "exfat_8k.4k.img", lambda i: fat_link(i, "/Documents/B.mp4", 3000),
     r"\"/Documents/B.mp4\": its cluster 3000 \(number 3 of its 6\) is free"),
    ("a file marked a folder", "exfat_8k.4k.img",
     lambda i: edit_set(i, "/Documents/a.pdf", lambda e: e.__setitem__(4, e[4] | 0x10)),
     r"\"/Documents/a.pdf\": its entry set marks it a folder, .* it is taken for a file", True),
    ("first cluster moved onto another file's", "exfat_4k.img",
     lambda i: moved_onto(i, "/Documents/c.pdf", "/Documents/big.mp4"),
     r"\"/Documents/c.pdf\": its cluster \d+ \(number 1 of its 1\) is another live file's"),
    ("first cluster moved onto another one-cluster file's", "exfat_4k.img",
     lambda i: moved_onto(i, "/DCIM/Camera/Photo number 01 with a long name.jpg",
                          "/DCIM/Camera/Photo number 02 with a long name.jpg", told=True),
     r"Photo number 01 with a long name.jpg\": its cluster \d+ \(number 1 of its 1\) is another live file's"),
    ("a chain taken for one stretch", "exfat_4k.img",
     lambda i: edit_set(i, "/Documents/B.mp4", lambda e: e.__setitem__(33, e[33] | 2), False),
     r"\"/Documents/B.mp4\": its entry set does not add up to its checksum"),
    ("length past the device, no main boot sector", "exfat_4k.img", no_main_boot_sector,
     r"Documents/a.pdf is short: only 8192 of its \d+ bytes could be read", True),
]


def run_case(work, name, source, damage, said, keeps=False):
    RENAMED.clear()
    phone = os.path.join(work, "phone")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(os.path.join(phone, "storage"))
    with open(os.path.join(phone, "device.ini"), "w") as f:
        f.write("[device]\nversion=4.4\n")
    img = os.path.join(phone, "storage", "internal" + (".4k.img" if ".4k." in source else ".img"))
    shutil.copyfile(os.path.join(IMAGES, source), img)
    touched = damage(img)
    env = dict(os.environ, RELIKORDA_LOG=os.path.join(work, "log.txt"))
    r = subprocess.run([os.path.join(BIN, "relikorda-recover"), "--device", phone, "--out", os.path.join(work, "out")],
                       capture_output=True, text=True, env=env, timeout=120)
    faults = []
    if r.returncode != 12:
        faults.append("exit %d, not 12" % r.returncode)
    if not re.search(said, r.stderr):
        faults.append("standard error does not say /%s/" % said)
    run = re.search(r"^output (.*)$", r.stdout, re.M).group(1)
    checked = 0
    listing = read_fls(os.path.join(IMAGES, source + ".fls"))
    # fls lists a live folder's files again under a deleted folder that named its cluster.
    gone = tuple(p + "/" for p, _, regular, deleted in listing if deleted and not regular)
    for path, inode, regular, deleted in listing:
        if deleted or not regular or path.startswith(gone) or path.rsplit(".", 1)[-1].lower() not in MEDIA_EXTENSIONS:
            continue
        checked += 1
        with open(os.path.join(IMAGES, source + ".icat", inode), "rb") as f:
            own = f.read()
        now = RENAMED.get(path, path)
        at = os.path.join(run, "files") + now
        written = open(at, "rb").read() if os.path.isfile(at) else None
        itself = ("%s is short" % at) in r.stderr or ("%s was not written" % at) in r.stderr or '"%s"' % now in r.stderr
        # A lost file may be named by the folder that lost it.
        named = itself or any('"%s"' % (path[:i] or "/") in r.stderr for i in range(len(path)) if path[i] == "/")
        if touched is not None and path not in touched:
            if written != own or itself:
                faults.append("%s: untouched, but %s" % (path, "named" if written == own else "not written whole"))
        elif written != own:
            if not named:
                faults.append("%s: neither whole nor named" % path)
            elif written is not None and written[:len(own)] != own[:len(written)]:
                faults.append("%s: holds bytes not its own" % path)
            elif keeps and (written is None or written[:len(own)] != own):
                faults.append("%s: not written as far as the volume goes" % path)
    print("%s: %d files judged, %d touched, exit %d" % (name, checked, checked if touched is None else len(touched),
                                                         r.returncode))
    if faults:
        print(r.stdout + r.stderr)
    return ["%s: %s" % (name, f) for f in faults]


def main():
    if os.path.exists(os.path.join(IMAGES, "SKIPPED")):
        print("skipped: exFAT volumes were not made")
        return 77
    faults = []
    work = tempfile.mkdtemp(prefix="rk_exfat_damage_")
    try:
        for case in CASES:
            faults += run_case(os.path.join(work, "case"), *case)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for f in faults:
        print(f, file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
