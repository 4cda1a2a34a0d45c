#!/usr/bin/env python3
"""seeded_damage.py: relikorda-recover over small volumes damaged by seeds, judged against The Sleuth
Kit's reading of the undamaged volume.

  seeded_damage.py prepare IMAGE
      (by make_damage_volumes.sh) writes IMAGE.json and IMAGE.icat/: every live file's bytes and the
      byte ranges of what it hangs from: its data, its chain (FAT entries, indirect blocks), its entry
      (its folder's clusters, its inode) and its tree (every folder above it), and the ranges every
      file hangs from (boot sector, superblock, group descriptors, bitmaps, partition table).
  seeded_damage.py [--recover BIN] [--images DIR] [--seeds N] [--first S] [--list FILE] [-j J]
      runs each seed: one volume, one kind of damage (a few bytes of a boot sector, a FAT copy, a
      directory entry or exFAT entry set, an inode, a block pointer or extent, a partition table; or
      the image cut), relikorda-recover on the damaged copy. A seed fails when a live file the damage
      did not touch is not written byte for byte in its folder; or a touched one is neither written
      byte for byte (in its folder, or anywhere when its name was hit) nor named on standard error
      with exit 12; or a written one holds bytes that are not a beginning of its own; or the run
      exits with another status than 0 or 12, or hangs. One line per fault: seed, volume, damage,
      file, what went wrong. --keep DIR keeps each failing seed's damaged image there.
"""
import argparse
import concurrent.futures
import json
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import tempfile

MEDIA = {"jpg", "pdf", "mp3", "mp4", "txt"}


def tsk(*args):
    return subprocess.run(args, capture_output=True, text=True, errors="replace", timeout=120).stdout


def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def u32(b, at):
    return struct.unpack_from("<I", b, at)[0]


def merge(ranges):
    out = []
    for a, b in sorted(ranges):
        if out and a <= out[-1][1]:
            out[-1][1] = max(out[-1][1], b)
        else:
            out.append([a, b])
    return out


# ---------------------------------------------------------------- prepare: what each file hangs from

def partition_start(image):
    """The byte offset of the file system: 0, or the start of the one partition mmls lists."""
    if tsk("fsstat", "-t", image).strip():
        return 0
    for line in tsk("mmls", image).splitlines():
        m = re.match(r"\s*\d+:\s+\d+:\d+\s+(\d+)\s+(\d+)\s+(\d+)\s+(.*)$", line)
        if m and ("FAT" in m.group(4) or "Linux" in m.group(4)):
            start = int(m.group(1))
            if tsk("fsstat", "-t", "-o", str(start), image).strip():
                return start * 512
    raise SystemExit("%s: no file system found" % image)


def listing(image, off):
    """(kind, inode, path) of every live entry fls lists, but its own virtual ones."""
    out = []
    for line in tsk("fls", "-r", "-p", "-o", str(off // 512), image).splitlines():
        m = re.match(r"([rd])/[rd] (\* )?(\d+)(\(realloc\))?:\t(.*)$", line)
        if m and not m.group(2) and not m.group(5).split("/")[-1].startswith("$"):
            out.append((m.group(1), int(m.group(3)), m.group(5)))
    return out


ISTAT = {}


def units(image, off, inode, label):
    """The numbers istat lists after label (sectors, or blocks) up to the next label."""
    key = (image, off, inode)
    if key not in ISTAT:
        ISTAT[key] = tsk("istat", "-o", str(off // 512), image, str(inode))
    text = ISTAT[key]
    nums, on = [], False
    for line in text.splitlines():
        if line.startswith(label):
            on = True
            continue
        if on and re.match(r"^[A-Za-z]", line):
            on = line.startswith(label)
            continue
        if on:
            nums += [int(x) for x in line.split() if x.isdigit() and int(x) > 0]
    return nums


class Fat:
    """FAT12/16/32 and exFAT: clusters, their FAT entries, folders' clusters."""

    def __init__(self, vol, off, image):
        self.off = off
        if vol[3:11] == b"EXFAT   ":
            self.kind = "exfat"
            self.ss = 1 << vol[108]
            self.spc = 1 << vol[109]
            self.fats = [(u32(vol, 80) + i * u32(vol, 84)) * self.ss for i in range(vol[110])]
            self.heap = u32(vol, 88)
            self.width = 32
            self.meta_end = u32(vol, 80) * self.ss
            self.root_region = None
        else:
            self.ss, self.spc = u16(vol, 11), vol[13]
            res, nfats, rootents = u16(vol, 14), vol[16], u16(vol, 17)
            fatsz = u16(vol, 22) or u32(vol, 36)
            total = u16(vol, 19) or u32(vol, 32)
            rootsecs = (rootents * 32 + self.ss - 1) // self.ss
            self.heap = res + nfats * fatsz + rootsecs
            clusters = (total - self.heap) // self.spc
            bits = 32 if u16(vol, 22) == 0 else (12 if clusters < 4085 else 16)
            self.kind = "fat%d" % bits
            self.width = bits
            self.fats = [(res + i * fatsz) * self.ss for i in range(nfats)]
            self.meta_end = res * self.ss
            self.root_region = None if bits == 32 else [(res + nfats * fatsz) * self.ss, self.heap * self.ss]
        self.image = image

    def clusters(self, sectors):
        return sorted({(s - self.heap) // self.spc + 2 for s in sectors if s >= self.heap})

    def entry_range(self, fat, c):
        if self.width == 12:
            return [fat + c * 3 // 2, fat + c * 3 // 2 + 2]
        return [fat + c * self.width // 8, fat + (c + 1) * self.width // 8]

    def data(self, clusters):
        cb = self.ss * self.spc
        return [[self.off + (self.heap * self.ss) + (c - 2) * cb, self.off + (self.heap * self.ss) + (c - 1) * cb]
                for c in clusters]

    def chain(self, clusters):
        return [[self.off + a, self.off + b] for fat in self.fats for a, b in (self.entry_range(fat, c) for c in clusters)]

    def parts_of(self, inode, is_root=False):
        if is_root and self.root_region:
            return [[self.off + self.root_region[0], self.off + self.root_region[1]]], [], []
        cl = self.clusters(units(self.image, self.off, inode, "Sectors:"))
        return self.data(cl), self.chain(cl), cl

    def own_bytes(self, inode, name, folder):
        """The bytes of a file's own entry that make it a file at all (its first name byte and its
        attributes; exFAT: its entry type): changed, it is no file any more, and nothing can tell."""
        first = self.heap if self.root_region is None else self.root_region[0] // self.ss
        at = self.off + first * self.ss + (inode - 3) * 32
        with open(self.image, "rb") as f:
            f.seek(at)
            e = f.read(32)
        if self.kind == "exfat":
            return [[at, at + 1]] if e[:1] == b"\x85" else []
        return [[at, at + 1], [at + 11, at + 12]] if len(e) == 32 and not e[11] & 0x18 else []

    def global_ranges(self, image):
        g = [[self.off, self.off + self.meta_end]] + self.chain([0, 1])
        self.bitmap = None
        if self.kind == "exfat":
            # The allocation bitmap and the up-case table: every name and cluster is read through them.
            for kind, inode, path in listing_virtual(image, self.off):
                if path in ("$ALLOC_BITMAP", "$UPCASE_TABLE"):
                    d, c, _ = self.parts_of(inode)
                    g += d + c
                    if path == "$ALLOC_BITMAP":
                        self.bitmap = d[0]
        return g


def listing_virtual(image, off):
    out = []
    for line in tsk("fls", "-o", str(off // 512), image).splitlines():
        m = re.match(r"r/r (\d+):\t(\$.*)$", line)
        if m:
            out.append(("r", int(m.group(1)), m.group(2)))
    return out


class Ext:
    """ext2/3/4: inode records, data and indirect blocks, the metadata before the inode tables."""

    def __init__(self, image, off):
        with open(image, "rb") as f:
            f.seek(off + 1024)
            sb = f.read(1024)
            self.bs = 1024 << u32(sb, 24)
            self.blocks = u32(sb, 4)
            self.ipg = u32(sb, 40)
            self.isize = u16(sb, 88)
            self.checksums = bool(u32(sb, 100) & 0x400)
            first = u32(sb, 20)
            desc = u16(sb, 254) if u32(sb, 96) & 0x80 else 32
            groups = (self.blocks - first + u32(sb, 32) - 1) // u32(sb, 32)
            f.seek(off + (first + 1) * self.bs)
            gdt = f.read(groups * desc)
        self.kind = "ext"
        self.records = {}
        self.off = off
        self.image = image
        self.tables = [u32(gdt, g * desc + 8) for g in range(groups)]
        self.bitmaps = [[u32(gdt, g * desc) * self.bs, (u32(gdt, g * desc) + 1) * self.bs] for g in range(groups)] + \
                       [[u32(gdt, g * desc + 4) * self.bs, (u32(gdt, g * desc + 4) + 1) * self.bs] for g in range(groups)]
        self.first_table = min(self.tables)

    def inode_range(self, inode):
        g, i = divmod(inode - 1, self.ipg)
        at = self.off + self.tables[g] * self.bs + i * self.isize
        return [at, at + self.isize]

    def blocks_to_ranges(self, blocks):
        return [[self.off + b * self.bs, self.off + (b + 1) * self.bs] for b in blocks]

    def parts_of(self, inode, is_root=False):
        direct = units(self.image, self.off, inode, "Direct Blocks:")
        indirect = units(self.image, self.off, inode, "Indirect Blocks:")
        return self.blocks_to_ranges(direct), self.blocks_to_ranges(indirect) + [self.inode_range(inode)], indirect

    def own_bytes(self, inode, name, folder):
        """Its inode's type and link count, and its folder record's inode number and type: changed,
        it is another file or none, and nothing can tell. Without metadata checksums (ext2, ext3)
        nothing tells either its size grown past its blocks (a trailing hole, as a sparse file has),
        its name's bytes changed, or the name length of its block's last record made shorter (the
        rest of such a record is free space). Its record's place and length go to self.records
        (see name_length_unknowable)."""
        a, _ = self.inode_range(inode)
        own = [[a, a + 2], [a + 26, a + 28]]
        if not self.checksums:
            own.append([a + 4, a + 8])
        with open(self.image, "rb") as f:
            for start, end in folder:
                f.seek(start)
                block = f.read(end - start)
                at = 0
                while at + 8 <= len(block):
                    rl, nl = u16(block, at + 4), block[at + 6]
                    if u32(block, at) == inode and block[at + 8:at + 8 + nl] == name.encode():
                        own += [[start + at, start + at + 4], [start + at + 7, start + at + 8]]
                        if not self.checksums:
                            own.append([start + at + 8, start + at + 8 + nl])
                            self.records[inode] = [start + at, rl]
                            if at + rl == len(block):
                                own.append([start + at + 6, start + at + 7])
                    if rl < 8:
                        break
                    at += rl
        return own

    def global_ranges(self, image):
        return [[self.off, self.off + self.first_table * self.bs]] + \
               [[self.off + a, self.off + b] for a, b in self.bitmaps]


def prepare(image):
    off = partition_start(image)
    with open(image, "rb") as f:
        f.seek(off)
        vol = f.read(512)
    with open(image, "rb") as f:
        f.seek(off + 1080)
        fs = Ext(image, off) if f.read(2) == b"\x53\xef" else Fat(vol, off, image)
    entries = listing(image, off)
    dirs = {"": {"inode": 2}}
    dirs[""]["data"], dirs[""]["chain"], dirs[""]["units"] = fs.parts_of(2, is_root=True)
    for kind, inode, path in entries:
        if kind == "d":
            d = {"inode": inode}
            d["data"], d["chain"], d["units"] = fs.parts_of(inode)
            dirs[path] = d
    icat = image + ".icat"
    shutil.rmtree(icat, ignore_errors=True)
    os.makedirs(icat)
    files = []
    for kind, inode, path in entries:
        if kind != "r" or path.rsplit(".", 1)[-1].lower() not in MEDIA:
            continue
        data, chain, _ = fs.parts_of(inode)
        folder = os.path.dirname(path)
        entry = list(dirs[folder]["data"])
        tree = list(dirs[folder]["chain"])
        up = folder
        while up:
            up = os.path.dirname(up)
            tree += dirs[up]["data"] + dirs[up]["chain"]
        if fs.kind == "ext":
            entry.append(fs.inode_range(inode))
        own = fs.own_bytes(inode, os.path.basename(path), dirs[folder]["data"])
        with open(os.path.join(icat, str(inode)), "wb") as out:
            out.write(subprocess.run(["icat", "-o", str(off // 512), image, str(inode)], capture_output=True,
                                     timeout=120).stdout)
        files.append({"path": path, "inode": inode, "size": os.path.getsize(os.path.join(icat, str(inode))),
                      "parts": {"data": merge(data), "chain": merge(chain), "entry": merge(entry), "tree": merge(tree)},
                      "own": own, "record": getattr(fs, "records", {}).get(inode)})
    oracle = {"kind": fs.kind, "offset": off, "size": os.path.getsize(image), "files": files,
              "global": merge(fs.global_ranges(image)),
              "dirs": {p: {"data": merge(d["data"]), "inode": d["inode"]} for p, d in dirs.items()}}
    if isinstance(fs, Fat):
        oracle.update(bitmap=fs.bitmap, ss=fs.ss, cluster=fs.ss * fs.spc, fats=[off + a for a in fs.fats], width=fs.width,
                      heap=off + fs.heap * fs.ss, meta_end=off + fs.meta_end,
                      used=sorted({c for f in files for c in fs.clusters(units(image, off, f["inode"], "Sectors:"))}))
    else:
        oracle.update(bs=fs.bs, blocks=fs.blocks, cluster=fs.bs, first_table=off + fs.first_table * fs.bs,
                      inodes={f["path"]: fs.inode_range(f["inode"]) for f in files},
                      dir_inodes={p: fs.inode_range(d["inode"]) for p, d in dirs.items()},
                      indirect={f["path"]: fs.blocks_to_ranges(units(image, off, f["inode"], "Indirect Blocks:"))
                                for f in files},
                      gdt=[off + (1 if fs.bs > 1024 else 2) * fs.bs, off + (1 if fs.bs > 1024 else 2) * fs.bs + 64])
    with open(image + ".json", "w") as out:
        json.dump(oracle, out)


# ---------------------------------------------------------------- damage

def pick_bytes(rng, n):
    return bytes(rng.getrandbits(8) for _ in range(n))


def exfat_set_checksum(img, at):
    """Recomputes the SetChecksum of the entry set whose file entry is at byte at."""
    count = img[at + 1]
    s = 0
    for i in range(32 * (count + 1)):
        if i in (2, 3):
            continue
        s = (((s << 15) | (s >> 1)) + img[at + i]) & 0xFFFF
    struct.pack_into("<H", img, at + 2, s)


def dir_slots(img, o, ranges):
    """Offsets of used 32-byte entries in a folder's clusters."""
    out = []
    for a, b in ranges:
        for at in range(a, b, 32):
            if at + 32 <= len(img) and img[at] not in (0x00,):
                out.append(at)
    return out


def damage(seed, oracle, img):
    """Changes img (a bytearray) for seed; returns (kind, what, changed byte offsets, cut length)."""
    rng = random.Random(seed)
    fs = oracle["kind"]
    kinds = {"fat12": ["boot", "fat", "dirent", "cut"], "fat16": ["boot", "fat", "dirent", "cut"],
             "fat32": ["boot", "fat", "dirent", "cut"], "exfat": ["boot", "fat", "entryset", "bitmap", "cut"],
             "ext": ["super", "gdt", "inode", "pointer", "dirent", "cut"]}[fs]
    weights = {"boot": 1, "super": 1, "gdt": 1, "cut": 2, "bitmap": 1}
    if oracle["offset"]:
        kinds = kinds + ["ptable"]
    kind = rng.choices(kinds, [weights.get(k, 3) for k in kinds])[0]
    files = oracle["files"]
    changed = []

    def put(at, data):
        img[at:at + len(data)] = data
        changed.extend(range(at, at + len(data)))

    if kind == "cut":
        # Half the cuts fall inside the metadata before the data, half anywhere.
        end = oracle.get("heap", oracle.get("first_table", 0) + 65536) if rng.random() < 0.5 else len(img)
        keep = rng.randrange(oracle["offset"] + 512, min(end, len(img)))
        return kind, "image cut to %d bytes" % keep, [], keep
    if kind == "ptable":
        at = 446 + 16 + rng.randrange(16) if rng.random() < 0.8 else rng.randrange(446, 512)
        put(at, pick_bytes(rng, 1))
        return kind, "partition table byte %d" % at, changed, None
    o = oracle["offset"]
    if kind == "boot":
        top = 120 if fs == "exfat" else 90
        at = o + rng.randrange(3, top)
        put(at, pick_bytes(rng, rng.choice([1, 1, 2])))
        return kind, "boot sector byte %d" % (at - o), changed, None
    if kind == "super":
        at = o + 1024 + rng.randrange(0, 264)
        put(at, pick_bytes(rng, 1))
        return kind, "superblock byte %d" % (at - o - 1024), changed, None
    if kind == "gdt":
        at = rng.randrange(*oracle["gdt"])
        put(at, pick_bytes(rng, rng.choice([1, 2, 4])))
        return kind, "group descriptor byte %d" % (at - oracle["gdt"][0]), changed, None
    if kind == "bitmap":
        a, b = oracle["bitmap"]
        at = rng.randrange(a, min(b, a + 256))
        put(at, pick_bytes(rng, 1))
        return kind, "allocation bitmap byte %d" % (at - a), changed, None
    if kind == "fat":
        c = rng.choice(oracle["used"])
        copies = oracle["fats"]
        which = rng.choice(["first", "second", "both"]) if len(copies) > 1 else "first"
        top = {12: 0xFFF, 16: 0xFFFF, 32: 0x0FFFFFFF}.get(oracle["width"], 0xFFFFFFFF)
        value = rng.choice([0, top, top - 8, rng.choice(oracle["used"]), c + 1, c, rng.randrange(2, top),
                            rng.choice(oracle["used"]) + 1])
        for i, fat in enumerate(copies):
            if which == "both" or (which == "first") == (i == 0):
                w = oracle["width"]
                if w == 12:
                    at = fat + c * 3 // 2
                    old = u16(img, at)
                    new = (old & 0x000F) | (value << 4) if c & 1 else (old & 0xF000) | (value & 0xFFF)
                    put(at, struct.pack("<H", new & 0xFFFF))
                elif w == 16:
                    put(fat + 2 * c, struct.pack("<H", value & 0xFFFF))
                else:
                    put(fat + 4 * c, struct.pack("<I", value & 0xFFFFFFFF))
        return kind, "FAT entry of cluster %d in the %s cop%s set to %#x" % (
            c, which, "ies" if which == "both" else "y", value), changed, None
    if kind in ("dirent", "entryset") and fs != "ext":
        folder = rng.choice(sorted(oracle["dirs"]))
        slots = dir_slots(img, o, oracle["dirs"][folder]["data"])
        if not slots:
            return damage(seed + 1000003, oracle, img)
        at = rng.choice(slots)
        if fs == "exfat":
            # Often the stream extension's fields: flags, lengths, first cluster.
            field = rng.choice([None, 1, 3, 8, 20, 24, None])
            pos = at + (field if field is not None else rng.randrange(32))
            put(pos, pick_bytes(rng, rng.choice([1, 2, 4])))
            fixed = rng.random() < 0.6
            if fixed:
                start = at
                while start - 32 >= 0 and img[start] != 0x85 and img[start - 32] & 0x80 and start - at > -32 * 20:
                    start -= 32
                if img[start] == 0x85 and img[start + 1] <= 18:
                    exfat_set_checksum(img, start)
                    changed.extend([start + 2, start + 3])
            return kind, "entry set byte %d of /%s's entry at %d (type %#x)%s" % (
                pos - at, folder, at, img[at], ", set checksum fixed" if fixed else ""), changed, None
        field = rng.choice([None, 0, 11, 20, 26, 28, 28, None])
        pos = at + (field if field is not None else rng.randrange(32))
        put(pos, pick_bytes(rng, rng.choice([1, 2, 4]) if field else 1))
        return kind, "directory entry byte %d of /%s's entry at %d" % (pos - at, folder, at), changed, None
    if kind == "dirent":  # ext
        folder = rng.choice(sorted(oracle["dirs"]))
        blocks = oracle["dirs"][folder]["data"]
        if not blocks:
            return damage(seed + 1000003, oracle, img)
        a, b = rng.choice(blocks)
        # Within the entries: a record's inode, length, name length or type, or any byte.
        at = a
        recs = []
        while at + 8 <= b:
            rl = u16(img, at + 4)
            recs.append(at)
            if rl < 8:
                break
            at += rl
        r = rng.choice(recs)
        # Inside the record and its block: the bytes after it are another's.
        pos = min(r + rng.choice([0, 4, 6, 7, rng.randrange(8, 16)]), b - 1)
        put(pos, pick_bytes(rng, 1))
        return kind, "directory entry byte %d of /%s's record at %d" % (pos - r, folder, r), changed, None
    if kind == "inode":
        which = rng.choice(sorted(oracle["inodes"]) + sorted(oracle["dir_inodes"]))
        a, b = oracle["inodes"].get(which) or oracle["dir_inodes"][which]
        pos = a + rng.choice([0, 1, 4, 5, 6, 26, 28, 32, 33, 35, 40, 44, 48, 52, 56, 60, 64, 88, 96, 100, 108,
                              rng.randrange(0, 128)])
        put(pos, pick_bytes(rng, rng.choice([1, 1, 2])))
        return kind, "inode byte %d of /%s" % (pos - a, which), changed, None
    if kind == "pointer":
        which = rng.choice(sorted(oracle["inodes"]))
        a, _ = oracle["inodes"][which]
        ind = oracle["indirect"][which]
        blocks = oracle["blocks"]
        value = rng.choice([0, blocks + rng.randrange(1, 1 << 20), blocks - 1, rng.randrange(1, blocks),
                            0xFFFFFFFF])
        if img[a + 40:a + 42] == b"\x0a\xf3":  # an extent header in i_block
            entries = u16(img, a + 42)
            e = a + 40 + 12 * (1 + rng.randrange(max(1, entries)))
            field = rng.choice(["start", "start", "len", "block"])
            if field == "start":
                put(e + 8, struct.pack("<I", value))
            elif field == "len":
                put(e + 4, struct.pack("<H", rng.choice([0, 1, 0x8000 | 5, rng.randrange(1, 0x10000)])))
            else:
                put(e, struct.pack("<I", rng.randrange(0, 1 << 20)))
            return kind, "extent %s of /%s set" % (field, which), changed, None
        if ind and rng.random() < 0.5:
            ia, ib = rng.choice(ind)
            slots = [p for p in range(ia, ib, 4) if u32(img, p)]
            p = rng.choice(slots or [ia])
            put(p, struct.pack("<I", value))
            return kind, "indirect block pointer at %d of /%s set to %d" % (p, which, value), changed, None
        slots = [a + 40 + 4 * i for i in range(15) if u32(img, a + 40 + 4 * i)]
        if not slots:
            return damage(seed + 1000003, oracle, img)
        p = rng.choice(slots)
        put(p, struct.pack("<I", value))
        return kind, "block pointer %d of /%s set to %d" % ((p - a - 40) // 4, which, value), changed, None
    raise AssertionError(kind)


# ---------------------------------------------------------------- judge

def hits(ranges, changed, cut):
    if cut is not None:
        return any(b > cut for _, b in ranges)
    return any(a <= c < b for c in changed for a, b in ranges)


def touched_by(oracle, f, changed, cut):
    """The parts of f the damage touched (global ones count for every file)."""
    if hits(oracle["global"], changed, cut):
        return {"global"}
    if cut is None and any(c < oracle["offset"] for c in changed):
        return {"global"}
    return {p for p, r in f["parts"].items() if hits(r, changed, cut)}


def written_files(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            if not rel.startswith("carved/"):
                with open(path, "rb") as fh:
                    found[rel] = fh.read()
    return found


def same_folder_variant(path, written):
    """path, or path_N.ext beside it (a name met twice)."""
    folder, name = os.path.split(path)
    stem, dot, ext = name.rpartition(".")
    pattern = re.compile(re.escape(os.path.join(folder, stem if dot else name)) + r"(_\d+)?" +
                         (re.escape(dot + ext) if dot else ""))
    return [p for p in written if pattern.fullmatch(p)]


# A reader's line names the root folder, which holds every file: FAT "the root folder", Ext "root
# folder:" or "/:", exFAT folder "/".
ROOT_NAMED = re.compile(r"^warning: (.*(\broot folder\b|folder \"/\")|Ext /: )", re.M)


def named(f, stderr):
    path = f["path"]
    if os.path.basename(path) in stderr or path in stderr:
        return True
    up = os.path.dirname(path)
    while up:
        # A folder's path as it stands, or quoted as the FAT and exFAT readers quote it.
        if re.search(r"(^|[/ :\"])%s([/ :\"]|$)" % re.escape(up), stderr, re.M):
            return True
        up = os.path.dirname(up)
    return bool(ROOT_NAMED.search(stderr))


def names_now(image, off):
    """inode -> path of every live entry fls lists on the damaged image: the name the damage left a
    file with, by which the run can name it."""
    return {inode: path for _, inode, path in listing(image, off)}


def extension(path):
    stem, dot, ext = os.path.basename(path).rpartition(".")
    return ext.lower() if dot else ""


def name_length_unknowable(f, img, changed):
    """On ext2/ext3 a record's name length changed to another that its record's length was made
    for too (the padding after a name holds up to three bytes) names another name: nothing tells."""
    record = f.get("record")
    if not record:
        return False
    at, length = record
    return at + 6 in changed and (8 + img[at + 6] + 3) // 4 * 4 == length


def run_seed(seed, volume, images, recover, keep):
    with open(os.path.join(images, volume + ".json")) as fh:
        oracle = json.load(fh)
    with open(os.path.join(images, volume), "rb") as fh:
        img = bytearray(fh.read())
    kind, what, changed, cut = damage(seed, oracle, img)
    if cut is not None:
        img = img[:cut]
    faults = []
    with tempfile.TemporaryDirectory(prefix="rk_damage_") as work:
        copy = os.path.join(work, volume)
        with open(copy, "wb") as fh:
            fh.write(img)
        env = dict(os.environ, RELIKORDA_LOG=os.path.join(work, "log.txt"))
        try:
            run = subprocess.run([recover, "--device", copy, "--out", os.path.join(work, "out")], capture_output=True,
                                 text=True, errors="replace", env=env, timeout=120)
        except subprocess.TimeoutExpired:
            faults.append(("-", "the run took over 120 s"))
            run = None
        # An Ext image cut before the magic of its first superblock (in whole sectors, as the device
        # gives them) holds nothing that says a volume was there: no reader can know.
        unknowable_cut = oracle["kind"] == "ext" and cut is not None and \
            cut // 512 * 512 < oracle["offset"] + 1024 + 58
        # An image cut inside the volume's first sector, in the size its boot sector gives, holds no
        # whole sector of it: the device holds nothing to read, and the run says so with exit 3.
        no_sector = cut is not None and cut < oracle["offset"] + oracle.get("ss", 512)
        if no_sector:
            unknowable_cut = True
        if run is not None:
            stderr = run.stderr
            if run.returncode not in (0, 12) and not (no_sector and run.returncode == 3 and
                                                       "holds no database and no storage volume" in stderr):
                faults.append(("-", "exit %d: %s" % (run.returncode, stderr.strip()[-300:])))
            m = re.search(r"^output (.*)$", run.stdout, re.M)
            written = written_files(os.path.join(m.group(1), "files")) if m else {}
            renamed = None
            by_bytes = {}
            for p, b in written.items():
                by_bytes.setdefault(b, []).append(p)
            for f in oracle["files"]:
                with open(os.path.join(images, volume + ".icat", str(f["inode"])), "rb") as fh:
                    data = fh.read()
                parts = touched_by(oracle, f, changed, cut)
                mine = same_folder_variant(f["path"], written)
                exact = [p for p in mine if written[p] == data]
                if exact or hits(f["own"], changed, None) or unknowable_cut or name_length_unknowable(f, img, changed):
                    continue
                if not parts:
                    faults.append((f["path"], "untouched, but " + (
                        "not written" if not mine else "written with other bytes (%d of its %d)" % (
                            len(written[mine[0]]), len(data)))))
                    continue
                # Touched: its bytes anywhere when what names it was hit.
                if ("entry" in parts or "tree" in parts or "global" in parts) and data in by_bytes:
                    continue
                said = named(f, stderr) or ("global" in parts and stderr.strip())
                if not said and "entry" in parts:
                    # Its name itself damaged: the run can name it only by the name it has now.
                    renamed = names_now(copy, oracle["offset"]) if renamed is None else renamed
                    now = renamed.get(f["inode"])
                    said = now is not None and now != f["path"] and os.path.basename(now) in stderr
                    # A short name's extension changed to one of no kind the media job recovers
                    # (report.pdf now report.pbf): to the run it is no photo, video, song or
                    # document at all.
                    if not mine and now is not None and extension(now) != extension(f["path"]) and \
                            extension(now) not in {extension(g["path"]) for g in oracle["files"]}:
                        continue
                for p in mine:
                    got = written[p]
                    prefix = len(got) < len(data) and data[:len(got)] == got
                    # Its own size field may shrink it or grow it into its last cluster: not knowable.
                    own_size = "entry" in parts and (prefix or (got[:len(data)] == data and
                                                                len(got) - len(data) < oracle["cluster"]))
                    if not prefix and not own_size:
                        faults.append((f["path"], "touched (%s), written with %d bytes that are not a beginning of "
                                                  "its %d%s" % (",".join(sorted(parts)), len(got), len(data),
                                                                ", named short" if said else ", reported whole")))
                        break
                    if own_size:
                        break
                else:
                    if not said:
                        faults.append((f["path"], "touched (%s), %s and not named on standard error" % (
                            ",".join(sorted(parts)), "written short (%d of %d)" % (len(written[mine[0]]), len(data))
                            if mine else "not written")))
                    elif run.returncode != 12:
                        faults.append((f["path"], "named short but exit %d" % run.returncode))
        if faults and keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(copy, os.path.join(keep, "seed%d_%s" % (seed, volume)))
    return seed, volume, kind, what, faults


def run_seed_said(seed, volume, images, recover, keep):
    """run_seed, with a fault of the driver itself said as the seed's fault."""
    try:
        return run_seed(seed, volume, images, recover, keep)
    except Exception as e:  # a missing binary, a full disk: the seed did not run
        return seed, volume, "-", "-", [("-", "the seed could not run: %r" % e)]


def volume_of(seed, volumes):
    return volumes[seed % len(volumes)]


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "prepare":
        prepare(sys.argv[2])
        return
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--recover", help="relikorda-recover to run (default: build/bin of this tree)",
                    default=os.path.join(here, "../../../build/bin/relikorda-recover"))
    ap.add_argument("--images", help="the volumes (default: testdata/damage_volumes beside --recover's bin/)")
    ap.add_argument("--seeds", type=int, default=100, help="how many seeds, from --first on")
    ap.add_argument("--first", type=int, default=0)
    ap.add_argument("--list", help="a file of seeds, one a line (# comments): these only")
    ap.add_argument("--seed", type=int, action="append", help="this seed only (repeatable)")
    ap.add_argument("--volume", action="append", help="only seeds that fall on this volume (repeatable)")
    ap.add_argument("-j", type=int, default=3, help="runs at once")
    ap.add_argument("--keep", help="keep each failing seed's damaged image in this folder")
    ap.add_argument("-v", action="store_true", help="a line for every seed")
    a = ap.parse_args()
    recover = os.path.abspath(a.recover)
    images = a.images or os.path.join(os.path.dirname(os.path.dirname(recover)), "testdata", "damage_volumes")
    if os.path.exists(os.path.join(images, "SKIPPED")):
        print("skipped: " + open(os.path.join(images, "SKIPPED")).read().strip())
        sys.exit(77)
    volumes = [v.strip() for v in open(os.path.join(images, "volumes")) if v.strip()]
    if a.seed:
        seeds = a.seed
    elif a.list:
        seeds = [int(l.split("#")[0]) for l in open(a.list) if l.split("#")[0].strip()]
    else:
        seeds = list(range(a.first, a.first + a.seeds))
    if a.volume:
        seeds = [s for s in seeds if volume_of(s, volumes) in a.volume]
    failed = 0
    table = {}
    with concurrent.futures.ThreadPoolExecutor(max_workers=a.j) as pool:
        jobs = [pool.submit(run_seed_said, s, volume_of(s, volumes), images, recover, a.keep) for s in seeds]
        for job in concurrent.futures.as_completed(jobs):
            seed, volume, kind, what, faults = job.result()
            row = table.setdefault((volume, kind), [0, 0, {}])
            row[0] += 1
            if faults:
                failed += 1
                row[1] += 1
                by_problem = {}
                for path, problem in faults:
                    by_problem.setdefault(problem, []).append(path)
                for problem, paths in by_problem.items():
                    shown = ", ".join(paths[:3]) + (" and %d more" % (len(paths) - 3) if len(paths) > 3 else "")
                    print("seed %d %s %s (%s): %s: %s" % (seed, volume, kind, what, shown, problem), flush=True)
                    key = re.sub(r"\(\d+ of \d+\)|\d+ bytes|its \d+", "", problem)[:70]
                    row[2].setdefault(key, seed)
            elif a.v:
                print("seed %d %s %s (%s): ok" % (seed, volume, kind, what), flush=True)
    print("%d seeds, %d failed" % (len(seeds), failed))
    for (volume, kind), (n, bad, first) in sorted(table.items()):
        print("  %-14s %-9s %4d seeds %4d failed%s" % (volume, kind, n, bad, "".join(
            "\n      e.g. seed %d: %s" % (s, k) for k, s in sorted(first.items(), key=lambda kv: kv[1]))))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
