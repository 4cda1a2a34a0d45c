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
  if ! apt-get source sqlite3 > apt-get-source.log 2>&1; then
    # No deb-src among the system's sources: this Debian release's source package, through an apt
    # configuration of this folder's own (the system's is left as it is).
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    [ -n "$codename" ] || { cat apt-get-source.log >&2; exit 1; }
    mkdir -p apt/lists/partial apt/cache/archives/partial
    keyring=/usr/share/keyrings/debian-archive-keyring.gpg
    printf 'deb-src [signed-by=%s] http://deb.debian.org/debian %s main\n' "$keyring" "$codename" > apt/sources.list
    printf 'deb-src [signed-by=%s] http://deb.debian.org/debian-security %s-security main\n' "$keyring" "$codename" \
      >> apt/sources.list
    own=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
         -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache")
    { apt-get "${own[@]}" update && apt-get "${own[@]}" source sqlite3; } > apt-get-source.log 2>&1 ||
      { cat apt-get-source.log >&2; exit 1; }
  fi
  src=$(ls -d sqlite3-*/ | head -n 1)
fi
cd "$src"
if [ ! -f sqlite3.c ] || [ ! -f shell.c ]; then
  ./configure > configure.log 2>&1 || { tail -n 30 configure.log >&2; exit 1; }
  make sqlite3.c shell.c > make.log 2>&1 || { tail -n 30 make.log >&2; exit 1; }
fi
gcc -O2 -DSQLITE_ENABLE_DBPAGE_VTAB shell.c sqlite3.c -o "$program.part" -lm -ldl -lpthread
mv "$program.part" "$program"
