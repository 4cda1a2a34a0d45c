#!/usr/bin/env bash
# relikorda-recover over a blank image with FAT16, FAT32 and exFAT volumes at sector offsets and no
# partition table: the whole-device searchers find them, and every file of the volumes is written
# byte for byte under OUT/files in its folder. Then the same with the exFAT volume's boot regions
# zeroed: it is rebuilt from its folders and its FAT, and its files come out the same.
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
for image in device.img exfat_noboot.img; do
    "$bin/relikorda-recover" --device "$images/$image" --out "$out/$image" > "$out/stdout.txt"
    cat "$out/stdout.txt"
    grep -Eq "^media: [0-9]+ written under .*/$image/[0-9-]+/files, 0 failed$" "$out/stdout.txt"
    run=$(sed -n 's/^output //p' "$out/stdout.txt")  # each run writes into a folder of its own
    python3 "$(dirname "$0")/check_written_files.py" "$images/device.expected" "$run/files"
done
echo "complete search e2e: ok"
