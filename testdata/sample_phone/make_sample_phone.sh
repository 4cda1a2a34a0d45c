#!/usr/bin/env bash
# Builds a sample phone as a device folder with the real tools: sqlite3 for the databases (the
# public Android schemas in ../android-schemas), ImageMagick and sox for the MMS part files and
# pictures, mkfs.vfat and mtools for a storage volume.
#
#   make_sample_phone.sh OUT [--secure-delete on|off] [--contacts-journal wal|delete]
#                            [--sms-journal wal|delete] [--legacy] [--version X.Y]
#
# Each database is filled in one sqlite3 session: a base, then (WAL mode: after a checkpoint) a
# few changes in their own transactions, then the files are copied while the session still holds
# them open, so a WAL keeps its pending frames (the program would checkpoint and remove it on
# close). OUT/expected/ receives what a recovery should find; see testdata/README.md.
set -euo pipefail

out=${1:?usage: make_sample_phone.sh OUT [options]}
shift
SECURE_DELETE=ON CONTACTS_JOURNAL=wal SMS_JOURNAL=delete LEGACY=0 VERSION=4.4
while [ $# -gt 0 ]; do
    case "$1" in
        --secure-delete) SECURE_DELETE=$(echo "$2" | tr a-z A-Z); shift 2 ;;
        --contacts-journal) CONTACTS_JOURNAL=$2; shift 2 ;;
        --sms-journal) SMS_JOURNAL=$2; shift 2 ;;
        --legacy) LEGACY=1; shift ;;
        --version) VERSION=$2; shift 2 ;;
        *) echo "make_sample_phone.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
export PATH=$PATH:/usr/sbin:/sbin  # mkfs.vfat
for tool in sqlite3 convert sox mkfs.vfat mcopy sha256sum; do
    command -v "$tool" >/dev/null || { echo "make_sample_phone.sh: $tool is missing" >&2; exit 1; }
done

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
schemas=$here/../android-schemas
# shellcheck source=/dev/null
for part in manifest.sh sql.sh contacts.sh sms.sh; do source "$here/$part"; done

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TZ=UTC MTOOLS_SKIP_CHECK=1

contacts_dir=$out/fs/data/data/com.android.providers.contacts/databases
sms_dir=$out/fs/data/data/com.android.providers.telephony/databases
parts_dir=$out/fs$PARTS_ON_PHONE
mkdir -p "$contacts_dir" "$sms_dir" "$out/storage" "$out/expected"
printf '[device]\nversion=%s\n' "$VERSION" > "$out/device.ini"

# build_db NAME SCHEMA JOURNAL DEST "TABLES" BASE "CHANGES" CHANGE-PREFIX
build_db() {
    local name=$1 schema=$2 journal=$3 dest=$4 tables=$5 base=$6 changes=$7 prefix=$8
    local dir=$work/$name snaps=$work/$name/snapshots session=$work/$name/session.sql c
    mkdir -p "$dir"
    # shellcheck disable=SC2086
    {
        echo ".bail on"
        echo ".headers on"
        echo ".mode tabs"
        echo "PRAGMA auto_vacuum = FULL;"
        echo "PRAGMA secure_delete = $SECURE_DELETE;"
        if [ "$journal" = wal ]; then
            echo "PRAGMA journal_mode = WAL;"
            echo "PRAGMA wal_autocheckpoint = 0;"
        else
            echo "PRAGMA journal_mode = DELETE;"
        fi
        if [ "$LEGACY" = 1 ] && [ "$name" = contacts2.db ]; then
            # The Android 2.3 layout had no full-text search index.
            grep -v 'search_index' "$schema" > "$dir/schema.sql"
            schema=$dir/schema.sql
        fi
        echo ".read $schema"
        echo "BEGIN;"; "$base"; echo "COMMIT;"
        snapshot_sql "$schema" "$snaps/0" $tables
        [ "$journal" = wal ] && echo "PRAGMA wal_checkpoint(TRUNCATE);"
        for c in $changes; do
            echo "BEGIN;"; "${prefix}$c"; echo "COMMIT;"
            snapshot_sql "$schema" "$snaps/$c" $tables
        done
        if [ "$journal" = wal ]; then
            echo ".shell cp $dir/db $dir/db-wal $work/"
        else
            echo ".shell cp $dir/db $work/"
        fi
    } > "$session"
    sqlite3 -batch "$dir/db" < "$session" > "$dir/session.log"
    mv "$work/db" "$dest/$name"
    if [ "$journal" = wal ]; then
        [ -s "$work/db-wal" ] || { echo "make_sample_phone.sh: $name has no pending log" >&2; exit 1; }
        mv "$work/db-wal" "$dest/$name-wal"
    fi
    # The copy must read back as the last snapshot (opened from a scratch copy: sqlite3 would
    # checkpoint the original's log into it).
    mkdir -p "$dir/check"
    cp "$dest/$name"* "$dir/check/"
    (cd "$dir/check" && snapshot_sql "$schema" "$dir/check/out" $tables | sqlite3 -batch -cmd '.headers on' -cmd '.mode tabs' "$name" > /dev/null)
    local t last
    last=$(ls "$snaps" | sort -n | tail -1)
    for t in $tables; do
        cmp -s "$dir/check/out/$t.tsv" "$snaps/$last/$t.tsv" ||
            { echo "make_sample_phone.sh: $name: $t does not read back" >&2; exit 1; }
    done
    # shellcheck disable=SC2086
    manifest_from_snapshots "$out/expected/$name" "$snaps" $tables
}

PHOTO=$work/photo.jpg
convert -size 96x96 gradient:skyblue-white -fill tan -draw 'circle 48,40 48,22' -strip -quality 80 "jpeg:$PHOTO"
build_db contacts2.db "$schemas/contacts2.sql" "$CONTACTS_JOURNAL" "$contacts_dir" "$CONTACTS_TABLES" \
    contacts_base "$CONTACTS_CHANGES" contacts_change_

if [ "$LEGACY" = 0 ]; then
    make_part_files "$parts_dir"
    build_db mmssms.db "$schemas/mmssms.sql" "$SMS_JOURNAL" "$sms_dir" "$SMS_TABLES" \
        sms_base "$SMS_CHANGES" sms_change_
fi

# A small FAT volume with two pictures and one deleted.
img=$out/storage/sdcard.img
mkfs.vfat -C -n SDCARD -i 5d0cafe1 "$img" 2048 > /dev/null
mmd -i "$img" ::/DCIM ::/DCIM/Camera
convert -size 320x240 gradient:yellow-red -strip -quality 90 "jpeg:$work/IMG_0001.jpg"
convert -size 200x150 gradient:cyan-blue -strip "png:$work/IMG_0002.png"
convert -size 240x180 gradient:white-green -strip -quality 85 "jpeg:$work/IMG_0003.jpg"
mcopy -i "$img" "$work/IMG_0001.jpg" "$work/IMG_0002.png" "$work/IMG_0003.jpg" ::/DCIM/Camera/
mdel -i "$img" ::/DCIM/Camera/IMG_0003.jpg
{
    printf 'volume\tpath\tbytes\tsha256\tstate\n'
    for f in IMG_0001.jpg IMG_0002.png IMG_0003.jpg; do
        state=live
        [ "$f" = IMG_0003.jpg ] && state=deleted
        printf 'sdcard.img\t/DCIM/Camera/%s\t%s\t%s\t%s\n' "$f" "$(stat -c %s "$work/$f")" \
            "$(sha256sum < "$work/$f" | cut -d' ' -f1)" "$state"
    done
} > "$out/expected/storage.tsv"

# Every file of the phone's file system.
{
    printf 'path\tbytes\tsha256\n'
    (cd "$out/fs" && find . -type f | sort | while read -r f; do
        printf '%s\t%s\t%s\n' "${f#.}" "$(stat -c %s "$f")" "$(sha256sum < "$f" | cut -d' ' -f1)"
    done)
} > "$out/expected/files.tsv"

# What this variant is, for the tests that read it.
{
    printf 'key\tvalue\n'
    printf 'version\t%s\n' "$VERSION"
    printf 'secure_delete\t%s\n' "$SECURE_DELETE"
    printf 'auto_vacuum\tFULL\n'
    printf 'contacts2.db\t%s\n' "$CONTACTS_JOURNAL"
    [ "$LEGACY" = 1 ] || printf 'mmssms.db\t%s\n' "$SMS_JOURNAL"
    printf 'legacy\t%s\n' "$LEGACY"
} > "$out/expected/variant.tsv"
cp "$here/cases.tsv" "$out/expected/cases.tsv"
