#!/bin/bash
# A 1 GiB pseudo-random raw image with the picture files of the carving benchmark and the audio,
# video, document, archive, help, text, drawing and font files of the carving tests, at sector
# offsets. Output folder $1: bench.img, bench.txt ("<byte offset> <file>") and src/.
set -euo pipefail
out=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
root=$here/../..
mkdir -p "$out/src" "$out/parts/pictures" "$out/parts/families"
"$root/bench/carving/make_bench_image.sh" "$out/parts/pictures" > /dev/null
rm -f "$out/parts/pictures/bench.img"
"$root/media_recovery/raw/tests/make_carving_formats.sh" "$out/parts/families" > /dev/null 2>&1
cp "$out/parts/pictures/src/"* "$out/parts/families/src/"* "$out/src/"
rm -rf "$out/parts"
python3 "$root/bench/carving/spread_files.py" "$out" 77
