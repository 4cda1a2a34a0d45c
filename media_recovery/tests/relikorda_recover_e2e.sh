#!/usr/bin/env bash
# relikorda-recover over the fixture phone: the media job runs, the volume that cannot be opened is
# logged, and nothing is written outside the output folder.
set -euo pipefail
bin=$1
phone=$2
out=$(mktemp -d /tmp/rk_media_e2e_XXXXXX)
trap 'rm -rf "$out"' EXIT
export RELIKORDA_LOG=$out/log.txt
"$bin/relikorda-recover" --device "$phone" --out "$out/recovered" > "$out/stdout.txt"
cat "$out/stdout.txt"
# The fixture phone's files (make_media_fixtures.sh): a run that finds fewer, or none, fails here.
grep -Eq '^media: 11 files found \(pictures 6, videos 2, audio 2, documents 1; 1 deleted\)$' "$out/stdout.txt"
grep -Eq '^media: 11 written under .*/recovered/[0-9]{4}(-[0-9]{2}){5}/files, 0 failed$' "$out/stdout.txt"
grep -q '\[Dredgel\] Open storage error i = 1' "$RELIKORDA_LOG"
grep -q '\[Dredgel\] Virtual devices = 3' "$RELIKORDA_LOG"
grep -q '\[Dredgel\] Recover all file i = :2' "$RELIKORDA_LOG"
# Everything written is a plain file or folder under the output folder.
if find "$out/recovered" -type l | grep -q .; then echo "a link was written" >&2; exit 1; fi
echo "e2e: ok"
