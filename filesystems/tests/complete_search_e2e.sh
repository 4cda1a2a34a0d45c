#!/usr/bin/env bash
# relikorda-recover over a blank image with FAT16, FAT32 and exFAT volumes at sector offsets and no
# partition table: the whole-device searchers find them, and every file of the FAT volumes' root
# folders and every file of the exFAT volume is written byte for byte under OUT/files.
set -euo pipefail
bin=$1
images=$2
if [ -f "$images/SKIPPED" ]; then
    echo "skipped: the whole-device images were not made: $(cat "$images/SKIPPED")"
    exit 77
fi
out=$(mktemp -d /tmp/rk_complete_e2e_XXXXXX)
trap 'rm -rf "$out"' EXIT
export RELIKORDA_LOG=$out/log.txt
"$bin/relikorda-recover" --device "$images/device.img" --out "$out/recovered" > "$out/stdout.txt"
cat "$out/stdout.txt"
grep -Eq '^media: [0-9]+ written under .*/recovered/[0-9-]+/files, 0 failed$' "$out/stdout.txt"
run=$(sed -n 's/^output //p' "$out/stdout.txt")  # each run writes into a folder of its own
python3 "$(dirname "$0")/check_written_files.py" "$images/device.expected" "$run/files"
echo "complete search e2e: ok"
