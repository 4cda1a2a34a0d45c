#!/usr/bin/env python3
"""Databases with deleted rows, made by SQLite itself, and what became of every row.

Usage: make_recovery_corpus.py OUT

For each page size (1024, 4096) and journal mode (rollback journal, WAL) one database
OUT/corpus_<size>_<mode>.db (and its -wal file) with four tables, one per kind of first column:

  t_ipk  (id INTEGER PRIMARY KEY, ...)   the first column is the rowid, stored as NULL
  t_int  (code INT, ...)
  t_text (name TEXT, ...)
  t_real (amount REAL, ...)

secure_delete is off. In WAL mode most deletions are checkpointed into the main file and the rest
stay pending in the log with the later inserts. Rows are deleted one at a time, in runs of neighbours (their freed cells merge
into one free block), as whole pages, and with overflow chains; some deleted rows are then partly
overwritten by rows inserted under their rowids. The content is fixed (seeded), so every build makes
the same files.

Beside each database, <db>.rows lists every row the script wrote, read back through SQLite before
anything was deleted, one line each, tab-separated:

  table  state  rowid  value...

state: D deleted, L still there at the end. Values: N (NULL), I:<integer>, R:<float as repr()>,
T:<UTF-8 bytes in hex>, B:<bytes in hex>.
"""
import os
import random
import shutil
import sqlite3
import sys

TABLES = {
    "t_ipk": "CREATE TABLE t_ipk(id INTEGER PRIMARY KEY, num INTEGER, name TEXT, note TEXT)",
    "t_int": "CREATE TABLE t_int(code INT, qty INTEGER, label TEXT, price REAL, data BLOB)",
    "t_text": "CREATE TABLE t_text(name TEXT, phone TEXT, n INTEGER, city TEXT, extra TEXT, flags INTEGER)",
    "t_real": "CREATE TABLE t_real(amount REAL, tag TEXT, cnt INTEGER)",
}
INDEXES = ["CREATE INDEX t_int_label ON t_int(label)", "CREATE INDEX t_text_phone ON t_text(phone)"]
ROWS = 420
WORDS = ["amber", "birch", "cedar", "delta", "ember", "fjord", "grove", "heron", "iris", "juniper", "kestrel",
         "lumen", "marsh", "nettle", "orchid", "pebble", "quartz", "rowan", "sorrel", "thistle", "umber",
         "violet", "willow", "xenon", "yarrow", "zephyr", "Zoë", "Łukasz", "Ærø", "naïve", "straße", "日本"]


def text(rng, k, low, high):
    words = []
    while len(" ".join(words)) < low:
        words.append(rng.choice(WORDS))
    s = "%s %d" % (" ".join(words), k)
    return s[:max(high, len(str(k)) + 2)] if len(s) > high else s


def long_text(rng, k):
    return ("long %d " % k) + " ".join(rng.choice(WORDS) for _ in range(rng.randint(250, 1100)))


def rowid_of(k):
    # 1-byte rowids first, then 2-byte, then 3-byte ones.
    return k if k <= 100 else 100 + (k - 100) * 67


def row_values(rng, table, k, overflow):
    if table == "t_ipk":
        return (rng.choice([rng.randint(-200, 200), rng.randint(-10**6, 10**6), rng.randint(-10**12, 10**12), k]),
                text(rng, k, 3, 45), long_text(rng, k) if overflow else rng.choice([None, text(rng, k, 0, 30)]))
    if table == "t_int":
        code = rng.choice([20000 + k, 2 + k % 120, 7000000 + k * 13, 4000000000 + k])
        price = rng.choice([round(rng.uniform(0, 999), 2), float(rng.randint(2, 500)), None])
        data = bytes(rng.randint(0, 255) for _ in range(rng.randint(0, 24))) if rng.random() < 0.8 else None
        return (code, rng.randint(-5000, 5000), long_text(rng, k) if overflow else text(rng, k, 2, 60), price, data)
    if table == "t_text":
        phone = "+49 %03d %07d" % (rng.randint(100, 999), rng.randint(0, 9999999)) if rng.random() < 0.9 else None
        return (text(rng, k, 1, 90), phone, rng.randint(-100000, 100000), rng.choice([None, text(rng, k, 2, 20)]),
                long_text(rng, k) if overflow else rng.choice([None, "", text(rng, k, 5, 70)]), rng.randint(0, 3))
    # t_real: mostly fractional amounts, some whole ones (SQLite stores those as integers)
    amount = rng.choice([rng.uniform(-1e6, 1e6), round(rng.uniform(0, 100), 3), float(rng.randint(2, 90000))])
    return (amount, long_text(rng, k) if overflow else text(rng, k, 1, 50), rng.choice([None, rng.randint(-9, 10**9)]))


def columns(db, table):
    return [r[1] for r in db.execute("PRAGMA table_info(%s)" % table)]


def insert(db, table, rowid, vals):
    # t_ipk's first column is the rowid itself.
    cols = columns(db, table)[1:] if table == "t_ipk" else columns(db, table)
    db.execute("INSERT INTO %s(rowid, %s) VALUES (%d, %s)" % (table, ", ".join(cols), rowid, ", ".join("?" * len(vals))),
               vals)


def value_token(v):
    if v is None:
        return "N"
    if isinstance(v, int):
        return "I:%d" % v
    if isinstance(v, float):
        return "R:%r" % v
    if isinstance(v, str):
        return "T:" + v.encode("utf-8").hex()
    return "B:" + bytes(v).hex()


def snapshot(db):
    """Every row of every table, by (table, rowid)."""
    rows = {}
    for table in TABLES:
        cols = ", ".join(columns(db, table))
        for r in db.execute("SELECT rowid, %s FROM %s" % (cols, table)):
            rows[(table, r[0])] = tuple(r[1:])
    return rows


def make(path, page_size, wal, seed):
    rng = random.Random(seed)
    for suffix in ("", "-wal", "-shm", "-journal"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)
    work = path + ".src"
    db = sqlite3.connect(work, isolation_level=None)
    db.execute("PRAGMA page_size=%d" % page_size)
    db.execute("PRAGMA secure_delete=off")
    if wal:
        db.execute("PRAGMA journal_mode=WAL")
        db.execute("PRAGMA wal_autocheckpoint=0")
    for sql in list(TABLES.values()) + INDEXES:
        db.execute(sql)
    db.execute("BEGIN")
    for k in range(1, ROWS + 1):
        for table in TABLES:
            insert(db, table, rowid_of(k), row_values(rng, table, k, k % 29 == 0))
    db.execute("COMMIT")
    if wal:
        db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
    before = snapshot(db)
    deleted = set()
    late = []  # in WAL mode deleted after the checkpoint: pending in the log
    for table in TABLES:
        ks = set()
        ks.update(k for k in range(3, ROWS + 1, 11))                     # single rows
        for start in (40, 120, 205, 290, 350):                           # runs of neighbours
            ks.update(range(start, start + rng.randint(3, 9)))
        ks.update(k for k in range(29, ROWS + 1, 29) if k % 58 == 0)     # overflow rows
        ks.update(range(230, 262))                                       # a stretch of whole pages
        late += [(table, k) for k in sorted(ks) if wal and k % 5 == 0]
        db.execute("BEGIN")
        for k in sorted(ks):
            if (table, k) not in late:
                db.execute("DELETE FROM %s WHERE rowid = %d" % (table, rowid_of(k)))
            deleted.add((table, rowid_of(k)))
        db.execute("COMMIT")
    if wal:
        # A checkpoint leaves the freed cells in the main file, as a phone's automatic one does.
        db.execute("PRAGMA wal_checkpoint(TRUNCATE)")
        db.execute("BEGIN")
        for table, k in late:
            db.execute("DELETE FROM %s WHERE rowid = %d" % (table, rowid_of(k)))
        db.execute("COMMIT")
    # Some deleted rows overwritten in part by shorter rows under their rowids.
    db.execute("BEGIN")
    for table in TABLES:
        for k in (41, 121, 206, 14, 212):
            insert(db, table, rowid_of(k), row_values(rng, table, 9000 + k, False))
    db.execute("COMMIT")
    after = snapshot(db)
    if wal:
        # The pair as a phone leaves it: the log is checkpointed and removed when the last
        # connection closes, so copy it while this one is open.
        shutil.copyfile(work, path)
        shutil.copyfile(work + "-wal", path + "-wal")
    db.close()
    if not wal:
        shutil.copyfile(work, path)
    for suffix in ("", "-wal", "-shm"):
        if os.path.exists(work + suffix):
            os.remove(work + suffix)
    with open(path + ".rows", "w") as out:
        for (table, rowid), vals in sorted(before.items()):
            state = "D" if (table, rowid) in deleted else "L"
            out.write("\t".join([table, state, str(rowid)] + [value_token(v) for v in vals]) + "\n")
        for (table, rowid), vals in sorted(after.items()):
            if (table, rowid) in deleted:  # the row written under a deleted row's rowid
                out.write("\t".join([table, "L", str(rowid)] + [value_token(v) for v in vals]) + "\n")


def main():
    out = sys.argv[1]
    seed = 1
    for page_size in (1024, 4096):
        for mode in ("rollback", "wal"):
            make(os.path.join(out, "corpus_%d_%s.db" % (page_size, mode)), page_size, mode == "wal", seed)
            seed += 1


if __name__ == "__main__":
    main()
