#!/usr/bin/env bash
# relikorda-recover over Ext2, Ext3 and Ext4 images (mkfs -d, 1 KiB and 4 KiB blocks) whose files,
# all longer than twelve blocks, debugfs removed, and over an Ext4 image cut short by dd: every file
# carved from their free space is byte-identical to one of the originals or named on standard error
# as carved in part (or short), and a run that names one does not end as if all were well.
# Media from ImageMagick, ffmpeg, sox and LibreOffice.
set -euo pipefail
bin=$1
work=$(mktemp -d /tmp/rk_ext_carving_XXXXXX)
trap '[ -n "${KEEP:-}" ] || rm -rf "$work"' EXIT
src=$work/src
mkdir -p "$src"
cd "$work"
convert -seed 3 -size 1200x900 plasma:fractal -quality 92 "$src/photo.jpg"
convert -seed 5 -size 800x600 plasma:fractal -quality 90 "$src/small.jpg"
seq 1 40000 > numbers.txt
(export HOME=$work && soffice --headless --convert-to pdf numbers.txt > /dev/null 2>&1)  # its profile stays here
mv numbers.pdf "$src/numbers.pdf"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 -t 8 -pix_fmt yuv420p -b:v 1M "$src/clip.mp4"
ffmpeg -nostdin -loglevel error -f lavfi -i testsrc=size=320x240:rate=25 -t 4 -b:v 1M "$src/clip.avi"
sox -n -r 44100 -c 2 "$src/tone.wav" synth 3 sine 440

names=$(cd "$src" && ls)
make_image() {  # name, mkfs type, block size, size
    mkfs."$2" -q -F -b "$3" -d "$src" "$work/$1.img" "$4" > /dev/null
    for n in $names; do debugfs -w -R "rm $n" "$work/$1.img" > /dev/null 2>&1; done
}
make_image ext2-1k ext2 1024 24M
make_image ext3-1k ext3 1024 24M
make_image ext2-4k ext2 4096 24M
make_image ext4-1k ext4 1024 24M
make_image ext4-4k ext4 4096 24M
cp ext4-1k.img ext4-cut.img
# Cut inside the largest file's blocks, as a dump that stopped early is.
truncate -s 3M ext4-cut.img

declare -A original
for f in "$src"/*; do original[$(sha256sum < "$f" | cut -d' ' -f1)]=${f##*/}; done
identical_total=0
for image in ext2-1k ext3-1k ext2-4k ext4-1k ext4-4k ext4-cut; do
    set +e
    RELIKORDA_LOG=$work/$image.log "$bin/relikorda-recover" --device "$work/$image.img" --out "$work/out-$image" \
        > "$work/$image.out" 2> "$work/$image.err"
    status=$?
    set -e
    run=$(sed -n 's/^output //p' "$work/$image.out")
    identical=0 named=0
    while IFS= read -r -d '' file; do
        sum=$(sha256sum < "$file" | cut -d' ' -f1)
        if [ -n "${original[$sum]:-}" ]; then
            identical=$((identical + 1))
        elif grep -qF "$file is carved in part: " "$work/$image.err" || grep -qF "$file is short: " "$work/$image.err"; then
            named=$((named + 1))
        else
            echo "$image: $file ($(stat -c %s "$file") bytes) is none of the originals, and nothing says so" >&2
            cat "$work/$image.err" >&2
            exit 1
        fi
    done < <(find "$run/files/carved" -type f -print0)
    if [ "$named" -gt 0 ] && [ "$status" -ne 12 ]; then
        echo "$image: $named files carved in part, but the run ended with $status" >&2
        exit 1
    fi
    if [ "$named" -eq 0 ] && [ "$status" -ne 0 ]; then
        echo "$image: nothing carved in part, but the run ended with $status" >&2
        cat "$work/$image.err" >&2
        exit 1
    fi
    echo "$image: $identical carved files identical to their originals, $named named as carved in part (exit $status)"
    identical_total=$((identical_total + identical))
    case $image in
        # On a sound Ext2/3 volume the indirect blocks are passed over: every file comes back whole
        # but the video whose zeros mkfs left as a hole.
        ext2-*|ext3-*) [ "$identical" -ge 5 ] || { echo "$image: only $identical whole" >&2; exit 1; } ;;
        ext4-cut) [ "$named" -ge 1 ] || { echo "$image: the file the cut ends inside is not named" >&2; exit 1; } ;;
    esac
done
[ "$identical_total" -ge 25 ]
