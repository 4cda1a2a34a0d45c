#!/bin/sh
# A database of integers of every stored width, REALs, texts and a blob, made by sqlite3:
# OUT/values.db, table v(id INTEGER PRIMARY KEY, n, t TEXT). The column n has no affinity, so each
# value keeps the storage class it was written with.
set -eu
OUT=$1
sqlite3 -batch -bail "$OUT/values.db" <<'SQL'
CREATE TABLE v(id INTEGER PRIMARY KEY, n, t TEXT);
INSERT INTO v(id, n, t) VALUES
 (1, -1, 'minus one'), (2, 0, 'zero'), (3, 1, 'one'), (4, 127, 'one byte'), (5, -129, 'two bytes'),
 (6, 66051, 'three bytes'), (7, -8388608, 'three bytes, lowest'), (8, -70000, 'three bytes, negative'),
 (9, 1099511627776, 'six bytes'), (10, -1099511627776, 'six bytes, negative'),
 (11, 4611686018427387904, 'eight bytes'), (12, -9223372036854775808, 'eight bytes, lowest'),
 (13, 3.75, 'real'), (14, -2.5, 'negative real'), (15, 'h' || char(233) || 'llo', 'text'),
 (16, x'00ff10', 'blob'), (17, NULL, 'null');
SQL
