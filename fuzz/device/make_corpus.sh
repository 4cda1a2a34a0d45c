#!/bin/bash
# Seeds for the partition tables: small disks partitioned by sfdisk, an MBR with an extended
# partition holding two logical ones, and a GPT with three partitions.
set -euo pipefail
out=$1
truncate -s 160K "$out/mbr.img"
sfdisk -q "$out/mbr.img" > /dev/null <<'SF'
label: dos
start=8, size=40, type=c
start=56, size=200, type=5
start=64, size=40, type=83
start=112, size=40, type=83
SF
truncate -s 160K "$out/gpt.img"
sfdisk -q "$out/gpt.img" > /dev/null <<'SF'
label: gpt
first-lba: 34
start=40, size=40
start=80, size=60
start=140, size=100
SF
