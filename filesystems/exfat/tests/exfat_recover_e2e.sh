#!/usr/bin/env bash
# relikorda-recover over a device folder of exFAT volumes (512- and 4096-byte sectors): every live
# file and every deleted file whose clusters are intact is written byte for byte under OUT/files, in
# its own folders.
set -euo pipefail
bin=$1
images=$2
if [ -f "$images/SKIPPED" ]; then
    echo "skipped: exFAT volumes were not made: $(cat "$images/SKIPPED")"
    exit 77
fi
out=$(mktemp -d /tmp/rk_exfat_e2e_XXXXXX)
trap 'rm -rf "$out"' EXIT
export RELIKORDA_LOG=$out/log.txt
"$bin/relikorda-recover" --device "$images/device" --out "$out/recovered" > "$out/stdout.txt"
cat "$out/stdout.txt"
grep -Eq '^media: [0-9]+ written under .*/recovered/[0-9-]+/files, 0 failed$' "$out/stdout.txt"
run=$(sed -n 's/^output //p' "$out/stdout.txt")  # each run writes into a folder of its own
# The three volumes' folders merge; a name met twice in a folder becomes name_2.ext, name_3.ext, ...
python3 "$(dirname "$0")/../../tests/check_written_files.py" "$images/device.expected" "$run/files"
echo "exfat e2e: ok"
