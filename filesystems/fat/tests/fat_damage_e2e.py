#!/usr/bin/env python3
"""fat_damage_e2e.py BIN IMAGES: relikorda-recover over each damaged FAT image that
fixtures/make_fat_damage.sh made, judged against fls/icat of the undamaged volume. Every live file
the damage did not touch is written byte for byte in its folder. A touched one is written byte for
byte, or named short on standard error with a beginning of its own bytes (never another's), or lost
and named as not written, or lost with its folder or volume named on standard error. The run ends with the status the case gives
(12: the media job failed, as it does for a short file) and standard error holds the case's text."""
import os
import re
import subprocess
import sys
import tempfile

MEDIA = {"jpg", "pdf", "mp3", "txt"}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def live_files(images, volume):
    """(path, inode) of each live regular file of a category fls lists."""
    out = []
    for line in open(os.path.join(images, volume + ".vol.fls"), encoding="utf-8"):
        m = re.match(r"r/r (\d+):\t(.*)$", line.rstrip("\n"))
        if m and m.group(2).rsplit(".", 1)[-1].lower() in MEDIA:
            out.append((m.group(2), m.group(1)))
    return out


def touched(path, spec):
    return spec == "*" or any(path == t or (t.endswith("/*") and path.startswith(t[:-1])) for t in spec.split(","))


def written_as(path, listed):
    """The other path a touched file is written whole under (PATH>OTHER in the list), or path."""
    for t in listed.split(","):
        if t.startswith(path + ">"):
            return t[len(path) + 1:]
    return path


def check(bin_dir, images, work, name, volume, status, touched_spec, said):
    problems = []
    image = os.path.join(images, name + ".img")
    env = dict(os.environ, RELIKORDA_LOG=os.path.join(work, name + ".log"))
    run = subprocess.run([os.path.join(bin_dir, "relikorda-recover"), "--device", image, "--out",
                          os.path.join(work, name)], capture_output=True, text=True, env=env, timeout=120)
    files = os.path.join(re.search(r"^output (.*)$", run.stdout, re.M).group(1), "files")
    paths = ",".join(t.split(">")[0] for t in touched_spec.split(","))
    for path, inode in live_files(images, volume):
        data = read(os.path.join(images, volume + ".vol.icat", inode))
        written = os.path.join(files, written_as(path, touched_spec))
        got = read(written) if os.path.isfile(written) else None
        if got == data:
            continue
        if not touched(path, paths):
            problems.append("%s, untouched, %s" % (path, "not written" if got is None else "written with other bytes"))
        elif got is not None:
            if "%s is short: " % written not in run.stderr:
                problems.append("%s written with other bytes and not named short" % path)
            elif data[:len(got)] != got:
                problems.append("%s named short holds bytes not its own" % path)
        elif "%s was not written: " % written not in run.stderr and not re.search(
                r"^warning: FAT: .*(%s|the volume at sector)" % re.escape('"%s"' % os.path.dirname(path)), run.stderr,
                re.M):
            problems.append("%s lost and neither it nor its folder named" % path)
    if said and said not in run.stderr:
        problems.append("standard error does not say %r" % said)
    if not said and "warning: " in run.stderr:
        problems.append("a refusal said of an undamaged structure")
    if run.returncode != status:
        problems.append("exit %d, not %d" % (run.returncode, status))
    for p in problems:
        print("%s: %s" % (name, p), file=sys.stderr)
    if problems:
        print(run.stdout + run.stderr, file=sys.stderr)
    return not problems


def main():
    bin_dir, images = sys.argv[1], sys.argv[2]
    if os.path.exists(os.path.join(images, "SKIPPED")):
        print("skipped: " + read(os.path.join(images, "SKIPPED")).decode().strip())
        sys.exit(77)
    ok = True
    with tempfile.TemporaryDirectory(prefix="rk_fat_damage_") as work:
        for line in open(os.path.join(images, "cases"), encoding="utf-8"):
            name, volume, status, spec, said = line.rstrip("\n").split("|")
            ok = check(bin_dir, images, work, name, volume, int(status), spec, said) and ok
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
