#!/usr/bin/env python3
"""volumes_anywhere_e2e.py BIN IMAGES: relikorda-recover over each image that
fixtures/make_volumes_anywhere.sh made (FAT volumes at sector 0, 1 MiB and 4 MiB with no table, some
cut, behind a zeroed MBR, and as the last partition of whole-disk images cut inside it; ext4 at
sector 0 and in a cut disk). Every live file fls lists is written by name in its folder, once (an
empty one too): byte for byte where its sectors lie inside the image, else named short on standard
error with what could be read of it (a beginning of its bytes, never another's), and the run exits
12; one none of whose sectors the image keeps is not written at all, not even empty, and is named
as not written. Live files are counted live: the deleted count is the deleted entries written and
the carved files, and no live file comes back carved or twice. A partition the image ends inside is
said on standard error, and so is a partition read from elsewhere than its slot's start (a case's sixth
field)."""
import os
import re
import subprocess
import sys
import tempfile

MEDIA = {"jpg", "pdf", "mp3", "mp4", "txt"}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def listing(images, volume):
    """(path, inode, deleted) of each regular file fls lists."""
    out = []
    for line in open(os.path.join(images, volume + ".fls"), encoding="utf-8"):
        m = re.match(r"r/r (\* )?(\d+):\t(.*)$", line.rstrip("\n"))
        if m and not m.group(3).startswith("$") and m.group(3).rsplit(".", 1)[-1].lower() in MEDIA:
            out.append((m.group(3), m.group(2), m.group(1) is not None))
    return out


def written_files(root):
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = read(path)
    return found


def check(bin_dir, images, name, volume, at, kept, partition, said, work):
    problems = []
    image = os.path.realpath(os.path.join(images, name + ".img"))
    out = os.path.join(work, name)
    env = dict(os.environ, RELIKORDA_LOG=os.path.join(work, name + ".log"))
    run = subprocess.run([os.path.join(bin_dir, "relikorda-recover"), "--device", image, "--out", out],
                         capture_output=True, text=True, env=env, timeout=300)
    folder = re.search(r"^output (.*)$", run.stdout, re.M).group(1)
    files = written_files(os.path.join(folder, "files"))
    carved = {p: b for p, b in files.items() if p.startswith("carved/")}
    by_name = {p: b for p, b in files.items() if not p.startswith("carved/")}
    expected_names = set()
    short = 0
    deleted_written = 0
    for path, inode, deleted in listing(images, volume):
        data = read(os.path.join(images, volume + ".icat", inode))
        first, highest = (int(x) for x in open(os.path.join(images, volume + ".sectors", inode)).read().split()[:2])
        whole = kept == 0 or at + highest < kept
        # Not one of its sectors is left: it is not written, not even empty, and said so.
        none_left = not whole and data and at + first >= kept
        if deleted:
            # Named by the entry the reader rebuilt: looked for by its bytes in its folder.
            folder_of = os.path.dirname(path)
            hits = [p for p, b in by_name.items() if os.path.dirname(p) == folder_of and b == data]
            if hits:
                expected_names.add(hits[0])
                deleted_written += 1
            elif whole:
                problems.append("deleted %s not written in its folder" % path)
            continue
        got = by_name.get(path)
        if none_left:
            short += 1
            if got is not None:
                problems.append("%s (wholly past the image's end) written with %d bytes" % (path, len(got)))
            elif "relikorda-recover: %s was not written: " % os.path.join(folder, "files", path) not in run.stderr:
                problems.append("%s (wholly past the image's end) not named as not written" % path)
            continue
        expected_names.add(path)
        if got is None:
            problems.append("%s not written by name" % path)
        elif whole and got != data:
            problems.append("%s written with other bytes (%d of %d)" % (path, len(got), len(data)))
        elif not whole:
            short += 1
            if len(got) >= len(data) or data[:len(got)] != got:
                problems.append("%s (past the image's end) written with %d bytes, not a beginning of its %d"
                                % (path, len(got), len(data)))
            said = "relikorda-recover: %s is short: " % os.path.join(folder, "files", path)
            if said not in run.stderr:
                problems.append("%s not named short" % path)
        if data and any(b == data for b in carved.values()):
            problems.append("live %s came back carved too" % path)
    extra = sorted(set(by_name) - expected_names)
    if extra:
        problems.append("written beyond the listing: %s" % ", ".join(extra))
    m = re.search(r"^media: \d+ files found \(.*; (\d+) deleted\)$", run.stdout, re.M)
    if not m or int(m.group(1)) != deleted_written + len(carved):
        problems.append("deleted count %s, not the %d deleted entries and %d carved files written"
                        % (m.group(1) if m else "missing", deleted_written, len(carved)))
    counted = sum(int(n) for n in re.findall(r"^media: (\d+) (?:of them short|not written):", run.stdout, re.M))
    if counted != short:
        problems.append("%d files counted short or not written, not %d" % (counted, short))
    if run.returncode != (12 if short else 0):
        problems.append("exit %d with %d short files" % (run.returncode, short))
    if said and said not in run.stderr:
        problems.append("standard error does not say %r" % said)
    if kept and partition:
        said = re.compile(r"^device: %s: partition %d runs past the end of the image: it holds %d of its \d+ "
                          r"sectors, read as far as it goes$" % (re.escape(image), partition, kept - at), re.M)
        if not said.search(run.stderr):
            problems.append("the cut partition is not said")
    for p in problems:
        print("%s: %s" % (name, p), file=sys.stderr)
    if problems:
        print(run.stdout + run.stderr, file=sys.stderr)
    print("%s: %d files by name, %d short, %d carved, exit %d" % (name, len(by_name), short, len(carved),
                                                                  run.returncode))
    return not problems


def main():
    bin_dir, images = sys.argv[1], sys.argv[2]
    if os.path.exists(os.path.join(images, "SKIPPED")):
        print("skipped: " + open(os.path.join(images, "SKIPPED")).read().strip())
        sys.exit(77)
    with tempfile.TemporaryDirectory(prefix="rk_anywhere_") as work:
        ok = True
        for line in open(os.path.join(images, "cases")):
            name, volume, at, kept, partition, said = (line.strip().split("|") + [""])[:6]
            ok = check(bin_dir, images, name, volume, int(at), int(kept), int(partition), said, work) and ok
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
