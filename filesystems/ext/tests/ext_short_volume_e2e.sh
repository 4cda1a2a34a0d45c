#!/usr/bin/env bash
# relikorda-recover over Ext4 volumes that hold less than their file system or inodes say (cut
# images, a partition smaller than its file system, inodes whose size or extent a flipped byte
# changed), with the output on a small tmpfs where one can be mounted and never more than the
# volume's size in any one file. For every live picture, audio, video and document file The Sleuth
# Kit lists in the intact volume: a file <img>.short names is written with what the volume holds
# (icat's bytes as far as both go), named short on standard error, or, holding none, not written
# and named as not written, and the run exits 12; every
# other file is written byte-identical to icat's, and nothing is said of it.
set -euo pipefail
bin=$1
images=$2
base=ext4_size.img
volume_bytes=$((24 * 1024 * 1024))
work=$(mktemp -d /tmp/rk_ext_short_XXXXXX)
cleanup() {
    mountpoint -q "$work/out" 2> /dev/null && umount "$work/out"
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/out"
if [ "$(id -u)" = 0 ] && mount -t tmpfs -o size=48m tmpfs "$work/out" 2> /dev/null; then
    echo "output on a 48 MiB tmpfs"
fi

sum() { sha256sum < "$1" | awk '{print $1}'; }

# image: the device folder's storage image
for image in ext4_size_1k_short.img ext4_size_cut.img ext4_size_part.img ext4_size_damaged.img; do
    echo "== $image"
    rm -rf "$work/phone" "$work/out/"*
    mkdir -p "$work/phone/storage"
    cp --sparse=always "$images/$image" "$work/phone/storage/internal.img"
    printf '[device]\nversion=4.4\n' > "$work/phone/device.ini"
    rc=0
    # No file may be larger than the volume (ulimit counts 512-byte units); a run takes seconds.
    (ulimit -f $((volume_bytes / 512)) && RELIKORDA_LOG=$work/log.txt exec timeout 120 \
        "$bin/relikorda-recover" --device "$work/phone" --out "$work/out") > "$work/stdout.txt" 2> "$work/stderr.txt" || rc=$?
    cat "$work/stdout.txt" "$work/stderr.txt"
    run=$(sed -n 's/^output //p' "$work/stdout.txt")
    short=$(cat "$images/$image.short")
    expected_rc=0
    # A short file, or a file system said to run past its volume, does not end the run as if all were well.
    [ -z "$short" ] && ! grep -q '^warning: Ext file system runs past' "$work/stderr.txt" || expected_rc=12
    if [ "$rc" != "$expected_rc" ]; then
        echo "$image: exit $rc, not $expected_rc" >&2
        exit 1
    fi
    checked=0 cut=0
    while IFS='|' read -r _ path inode mode _ _ size _; do
        case $path in *" (deleted"*|/\$OrphanFiles*) continue ;; esac
        case ${mode#*/} in r*) ;; *) continue ;; esac
        case ${path##*.} in jpg|JPG|mp3|mp4|pdf|doc) ;; *) continue ;; esac
        at=$run/files$path
        icat_file=$images/$base.icat/$inode
        if [ ! -f "$at" ]; then
            # A short file none of whose bytes the volume holds is not written at all, and said so.
            if grep -qx "$inode" <<< "$short" && grep -qF "relikorda-recover: $at was not written: " "$work/stderr.txt"; then
                cut=$((cut + 1)) checked=$((checked + 1))
                continue
            fi
            echo "$image: $path not written" >&2
            exit 1
        fi
        if grep -qx "$inode" <<< "$short"; then
            grep -qF "relikorda-recover: $at is short: " "$work/stderr.txt" || {
                echo "$image: $path not named short" >&2
                exit 1
            }
            written=$(stat -c %s "$at")
            common=$((written < size ? written : size))
            if [ "$written" -gt "$volume_bytes" ] || ! cmp -s -n "$common" "$at" "$icat_file"; then
                echo "$image: $path short with other bytes than icat's ($written bytes)" >&2
                exit 1
            fi
            cut=$((cut + 1))
        else
            if grep -qF "$at is short" "$work/stderr.txt" || [ "$(sum "$at")" != "$(sum "$icat_file")" ]; then
                echo "$image: $path not written whole" >&2
                exit 1
            fi
        fi
        checked=$((checked + 1))
    done < "$images/$base.fls"
    [ "$cut" = "$(grep -c . <<< "$short" || true)" ]
    [ "$checked" -ge 9 ]
    echo "$image: $checked files, $cut short"
done
