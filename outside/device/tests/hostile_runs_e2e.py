#!/usr/bin/env python3
"""relikorda-recover over device folders that hold what is no plain phone file, into output folders
that cannot or must not take a run, and many runs at once:
- each hostile case ends within seconds in bounded memory, says why in one line on standard error
  and exits as the README says (the run goes on where something is left to read);
- a cut log gives the contacts of the whole one, a second name of a volume the files of one read;
- twelve runs started together into one output folder each get a folder of their own, round after
  round.
    hostile_runs_e2e.py BIN_DIR SAMPLE_PHONE
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

BIN, SAMPLE = sys.argv[1], sys.argv[2]
PROGRAM = os.path.join(BIN, "relikorda-recover")
CONTACTS_DB = "fs/data/data/com.android.providers.contacts/databases/contacts2.db"
SMS_DB = "fs/data/data/com.android.providers.telephony/databases/mmssms.db"
PARTS = "fs/data/data/com.android.providers.telephony/app_parts"
SECONDS = 30          # a case that takes longer hangs
MOST_KIB = 300 << 10  # peak resident memory of any run

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)


def start(device, out):
    err = tempfile.TemporaryFile()
    out_file = tempfile.TemporaryFile()
    process = subprocess.Popen([PROGRAM, "--device", device, "--out", out], stdout=out_file, stderr=err,
                               stdin=subprocess.DEVNULL)
    return process, out_file, err


def finish(started, deadline):
    """(exit code, stdout, stderr, seconds, peak KiB) of a started run; code None when it hung."""
    process, out_file, err = started
    began = time.monotonic()
    code, rss = None, 0
    while time.monotonic() - began < deadline:
        pid, status, usage = os.wait4(process.pid, os.WNOHANG)
        if pid:
            code, rss = os.waitstatus_to_exitcode(status), usage.ru_maxrss
            break
        time.sleep(0.02)
    if code is None:
        process.kill()
        os.wait4(process.pid, 0)
    process.returncode = code  # reaped here, not by Popen
    texts = []
    for f in (out_file, err):
        f.seek(0)
        texts.append(f.read().decode("utf-8", "replace"))
        f.close()
    return code, texts[0], texts[1], time.monotonic() - began, rss


def run(device, out):
    return finish(start(device, out), SECONDS)


SUMMARIES = {"contacts": r"contacts: \d+ live", "sms": r"sms: \d+ conversations", "media": r"media: \d+ files found"}


def tail(text):
    return "\n".join(text.splitlines()[-6:])


def summary(stdout, job):
    """The job's summary line: what it recovered."""
    return [line for line in stdout.splitlines() if re.match(SUMMARIES[job], line)]


def mount(*args):
    return subprocess.run(["mount", *args], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE).returncode == 0


work = tempfile.mkdtemp(prefix="rk_hostile_runs_")
mounted = []


def phone_copy(name):
    path = os.path.join(work, name)
    shutil.copytree(SAMPLE, path, symlinks=True)
    shutil.rmtree(os.path.join(path, "expected"), ignore_errors=True)
    return path


# Each case: what it makes of a fresh copy of the sample phone, the device and output folder it
# then runs with, the exit code, the one line that says why, and what the run must still recover.
def fifo_ini(phone):
    os.remove(os.path.join(phone, "device.ini"))
    os.mkfifo(os.path.join(phone, "device.ini"))
    return phone, None, 0, "device: {phone}/device.ini refused: not a plain file", ["sms", "media"]


def zero_ini(phone):
    os.remove(os.path.join(phone, "device.ini"))
    os.symlink("/dev/zero", os.path.join(phone, "device.ini"))
    return (phone, None, 0, "device: {phone}/device.ini refused: it leads to /dev/zero, outside the device folder",
            ["sms", "media"])


def huge_ini(phone):
    os.truncate(os.path.join(phone, "device.ini"), 16 << 30)  # sparse: costs no disk
    return phone, None, 0, "device: {phone}/device.ini refused: longer than 64 KiB", ["sms", "media"]


def fifo_device(phone):
    fifo = phone + ".fifo"
    os.mkfifo(fifo)
    return fifo, None, 3, "device: " + fifo + " refused: neither a plain file nor a block device", []


def sparse_log(phone):
    log = os.path.join(phone, CONTACTS_DB + "-wal")
    os.truncate(log, 0)
    os.truncate(log, 4 << 30)
    return phone, None, 0, "device: {phone}/" + CONTACTS_DB + "-wal: a log with no valid frame, not copied", ["sms"]


def log_with_sparse_tail(phone):
    log = os.path.join(phone, CONTACTS_DB + "-wal")
    size = os.path.getsize(log)
    os.truncate(log, 4 << 30)
    return (phone, None, 0, "device: {phone}/" + CONTACTS_DB + "-wal: a log whose valid frames end at byte %d of %d, "
            "copied that far" % (size, 4 << 30), ["contacts", "sms", "media"])


def fifo_database(phone):
    os.remove(os.path.join(phone, SMS_DB))
    os.mkfifo(os.path.join(phone, SMS_DB))
    return phone, None, 0, "device: {phone}/" + SMS_DB + " refused: not a plain file", ["contacts", "media"]


def part_linked_out(phone):
    os.symlink("/etc/passwd", os.path.join(phone, PARTS, "PART_leak"))
    return (phone, None, 0, "device: {phone}/" + PARTS + "/PART_leak refused: it leads to /etc/passwd, outside the "
            "device folder", ["contacts", "sms", "media"])


def volume_twice(phone):
    os.symlink("sdcard.img", os.path.join(phone, "storage", "zz.img"))
    return (phone, None, 0, "device: {phone}/storage/zz.img refused: the same image as {phone}/storage/sdcard.img",
            ["contacts", "sms", "media"])


def out_through_bind_mount(phone):
    bound = phone + ".bound"
    os.mkdir(bound)
    if not mount("--bind", phone, bound):
        return None
    mounted.append(bound)
    out = os.path.join(bound, "recovered")
    return (phone, out, 2, "relikorda-recover: the output folder " + out + " lies inside the device " + phone, [])


def out_read_only(phone):
    ro = phone + ".ro"
    os.mkdir(ro)
    if not mount("-t", "tmpfs", "-o", "ro,size=1m", "tmpfs", ro):
        return None
    mounted.append(ro)
    out = os.path.join(ro, "new")
    return phone, out, 4, "relikorda-recover: cannot make the output folder " + out + ": Read-only file system", []


CASES = [fifo_ini, zero_ini, huge_ini, fifo_device, sparse_log, log_with_sparse_tail, fifo_database,
         part_linked_out, volume_twice, out_through_bind_mount, out_read_only]

try:
    plain = phone_copy("plain")
    code, stdout, stderr, _, _ = run(plain, os.path.join(work, "out-plain"))
    check(code == 0, "the plain phone: exit %s\n%s" % (code, tail(stderr)))
    expected = {job: summary(stdout, job) for job in ("contacts", "sms", "media")}

    for case in CASES:
        phone = phone_copy(case.__name__)
        made = case(phone)
        if made is None:
            print("skipped %s: mount is refused here" % case.__name__)
            continue
        device, out, want_code, line, kept = made
        line = line.format(phone=phone)
        out = out or os.path.join(work, "out-" + case.__name__)
        code, stdout, stderr, seconds, rss = run(device, out)
        name = case.__name__
        check(code == want_code, "%s: exit %s, not %s\n%s" % (name, code, want_code, tail(stderr)))
        check(stderr.splitlines().count(line) == 1,
              "%s: not once on standard error: %s\n%s" % (name, line, tail(stderr)))
        check(rss < MOST_KIB, "%s: %d KiB resident at the peak" % (name, rss))
        for job in kept:
            check(summary(stdout, job) == expected[job] and expected[job],
                  "%s: %s gives %s, the plain phone %s" % (name, job, summary(stdout, job), expected[job]))
        print("%-24s exit %s in %.1f s, %d MiB at the peak" % (name, code, seconds, rss >> 10))

    # Runs started together into one output folder: each in a folder of its own, every file its own.
    many = os.path.join(work, "many")
    folders = []
    for round_number in range(3):
        runs = [start(plain, many) for _ in range(12)]
        results = [finish(started, 4 * SECONDS) for started in runs]
        for code, stdout, stderr, _, _ in results:
            check(code == 0, "round %d: exit %s\n%s" % (round_number, code, tail(stderr)))
            check(stdout.startswith("output "), "round %d: no output line" % round_number)
            folders.append(stdout.split("\n", 1)[0][len("output "):])
    check(len(set(folders)) == len(folders), "runs shared a folder: %s" % sorted(folders))
    check(sorted(os.listdir(many)) == sorted(os.path.basename(f) for f in folders),
          "the output folder holds %s" % sorted(os.listdir(many)))
    print("%d runs at once, 12 at a time: %d folders" % (len(folders), len(set(folders))))
finally:
    for path in reversed(mounted):
        subprocess.run(["umount", path])
    shutil.rmtree(work, ignore_errors=True)

if failures:
    sys.exit("hostile runs e2e: %d failures" % len(failures))
print("hostile runs e2e: ok")
