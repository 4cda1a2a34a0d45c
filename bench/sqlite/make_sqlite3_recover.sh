#!/bin/bash
# The peer of the database benchmarks: a sqlite3 shell whose .recover works, built from the
# Debian source package's amalgamation with the sqlite_dbpage table (Debian's own sqlite3 leaves
# it out, and .recover then gives no rows back). $1: the folder the source is unpacked in, $2: the
# program to make.
set -euo pipefail
work=$(mkdir -p "$1" && cd "$1" && pwd)
program=$2
cd "$work"
src=$(ls -d sqlite3-*/ 2>/dev/null | head -n 1 || true)
if [ -z "$src" ]; then
  apt-get source sqlite3 > apt-get-source.log 2>&1 || { cat apt-get-source.log >&2; exit 1; }
  src=$(ls -d sqlite3-*/ | head -n 1)
fi
cd "$src"
if [ ! -f sqlite3.c ] || [ ! -f shell.c ]; then
  ./configure > configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
  make sqlite3.c shell.c > make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
fi
gcc -O2 -DSQLITE_ENABLE_DBPAGE_VTAB shell.c sqlite3.c -o "$program.part" -lm -ldl -lpthread
mv "$program.part" "$program"
