#!/usr/bin/env python3
"""ext_damage_e2e.py BIN IMAGES: relikorda-recover over each damaged Ext image that
fixtures/make_ext_damage_images.sh made, judged by The Sleuth Kit's view of the sound volume. Every
live file the damage did not touch is written byte-identical in its folder; every one it touched is
written byte-identical, or named on standard error (short, with a beginning of its own bytes, or
lost, or below a folder said to be damaged); standard error says what the case's damage is; the run
exits as the case says (12 when a touched file is short or lost, or the reader said what it lost), and no written file holds another's
bytes."""
import os
import re
import subprocess
import sys
import tempfile


def read(path):
    with open(path, "rb") as f:
        return f.read()


def live_files(images, volume):
    """{path: inode} of the live regular files fls lists."""
    out = {}
    for line in open(os.path.join(images, volume + ".fls"), encoding="utf-8"):
        m = re.match(r"r/r (\d+):\t(.*)$", line.rstrip("\n"))
        if m and not m.group(2).startswith("$"):
            out["/" + m.group(2)] = m.group(1)
    return out


def touched_by_cut(volume_image, files, cut):
    """The files with their inode, a block, or a folder's inode or block at block cut or past it."""
    paths = sorted({"/".join(p.split("/")[:i]) or "/" for p in files for i in range(1, p.count("/") + 2)})
    commands = "".join('imap "%s"\nblocks "%s"\n' % (p, p) for p in paths)
    run = subprocess.run(["debugfs", "-f", "-", volume_image], input=commands, capture_output=True, text=True)
    # debugfs echoes each command before what it prints for it.
    beyond, current = set(), None
    for line in run.stdout.splitlines():
        m = re.match(r'debugfs: (?:imap|blocks) "(.*)"$', line)
        if m:
            current = m.group(1)
            continue
        numbers = [int(n) for n in re.findall(r"located at block (\d+)", line)] or \
            ([int(n) for n in line.split()] if re.fullmatch(r"[\d ]+", line.strip() or "x") else [])
        if current and any(n >= cut for n in numbers):
            beyond.add(current)
    return {p for p in files if any(("/".join(p.split("/")[:i]) or "/") in beyond for i in range(1, p.count("/") + 2))}


def check(bin_dir, images, name, volume, says, touched_spec, exit_code, work):
    problems = []
    files = live_files(images, volume)
    if touched_spec.startswith("cut:"):
        touched = touched_by_cut(os.path.join(images, volume + ".vol"), files, int(touched_spec[4:]))
    else:
        roots = touched_spec.split()
        touched = {p for p in files if any(p == r or p.startswith(r + "/") for r in roots)}
    env = dict(os.environ, RELIKORDA_LOG=os.path.join(work, name + ".log"))
    run = subprocess.run([os.path.join(bin_dir, "relikorda-recover"), "--device", os.path.join(images, name + ".img"),
                          "--out", os.path.join(work, name)], capture_output=True, text=True, env=env, timeout=120)
    folder = re.search(r"^output (.*)$", run.stdout, re.M).group(1)
    root = os.path.join(folder, "files")
    said = run.stderr
    if not re.search(says, said):
        problems.append("standard error does not say /%s/" % says)
    written = {}
    for dirpath, _, names in os.walk(root):
        for n in names:
            written["/" + os.path.relpath(os.path.join(dirpath, n), root)] = read(os.path.join(dirpath, n))
    not_whole = lost = 0
    everything = set(written.values())
    for path, inode in sorted(files.items()):
        data = read(os.path.join(images, volume + ".icat", inode))
        got = written.get(path)
        if got == data:
            continue
        if path not in touched:
            problems.append("%s (untouched) %s" % (path, "not written" if got is None else "written with other bytes"))
            continue
        not_whole += 1
        if data not in everything:
            lost += 1
        if got is not None and data[:len(got)] != got:
            problems.append("%s holds bytes that are not a beginning of its own" % path)
        named = ("%s is short: " % os.path.join(root, path.lstrip("/"))) in said or any(
            re.search(r"^warning: Ext %s[:/]" % re.escape(p), said, re.M)
            for p in ["/".join(path.split("/")[:i]) for i in range(2, path.count("/") + 2)]) or \
            re.search(r"^warning: Ext /: ", said, re.M) or re.search(r"^warning: Ext .*: the volume is lost$", said, re.M)
        if not named:
            problems.append("%s (touched) neither written whole nor named on standard error" % path)
    contents = {data: p for p, i in files.items() for data in [read(os.path.join(images, volume + ".icat", i))] if data}
    for path, got in written.items():
        owner = contents.get(got)
        if owner and os.path.basename(owner) != os.path.basename(path):
            problems.append("%s holds the bytes of %s" % (path, owner))
    if run.returncode != exit_code:
        problems.append("exit %d, not %d (%d touched files written whole nowhere)" % (run.returncode, exit_code, lost))
    for p in problems:
        print("%s: %s" % (name, p), file=sys.stderr)
    if problems:
        print(run.stdout + run.stderr, file=sys.stderr)
    print("%s: %d of %d live files whole in their folders, %d touched, %d lost or short, exit %d"
          % (name, len(files) - not_whole, len(files), len(touched), lost, run.returncode))
    return not problems


def main():
    bin_dir, images = sys.argv[1], sys.argv[2]
    if os.path.exists(os.path.join(images, "SKIPPED")):
        print("skipped: " + open(os.path.join(images, "SKIPPED")).read().strip())
        sys.exit(77)
    with tempfile.TemporaryDirectory(prefix="rk_ext_damage_") as work:
        ok = True
        for line in open(os.path.join(images, "cases"), encoding="utf-8"):
            name, volume, says, touched, exit_code = line.rstrip("\n").split("|")
            ok = check(bin_dir, images, name, volume, says, touched, int(exit_code), work) and ok
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
