#!/usr/bin/env bash
# relikorda-recover over damaged copies of the sample phones' contacts database (hostile bytes put in
# by this script): every contact whose pages survive comes back.
#   damaged_contacts_e2e.sh BIN_DIR TESTDATA
set -euo pipefail
bin=$1 data=$2
work=$(mktemp -d /tmp/rk_damaged_contacts_XXXXXX)
trap 'rm -rf "$work"' EXIT
dbdir=fs/data/data/com.android.providers.contacts/databases

phone() {  # name variant: a copy of a sample phone without its expectations
    cp -r "$data/$2" "$work/$1"
    rm -rf "$work/$1/expected"
}
live_names() {  # database: the live contacts as sqlite3 reads that file alone
    cp "$1" "$work/oracle.db"
    sqlite3 "file:$work/oracle.db?immutable=1" "SELECT display_name FROM raw_contacts WHERE deleted = 0" | sort -u
}
recover() {  # name
    RELIKORDA_LOG="$work/$1.log" TMPDIR="$work" "$bin/relikorda-recover" --device "$work/$1" --out "$work/$1.out" \
        > "$work/$1.stdout" 2>&1 || true
    # The run writes into a folder of its own below the output folder.
    find "$work/$1.out" -name contacts.vcf -exec grep -h '^FN:' {} + 2> /dev/null | cut -c4- | tr -d '\r' | sort -u ||
        true
}
expect_all() {  # name, expected names (one a line)
    local missing
    missing=$(comm -23 <(echo "$2") <(recover "$1"))
    [ -z "$(echo "$2" | tr -d '\n')" ] && { echo "$1: no expected contact"; exit 1; }
    [ -z "$missing" ] || { echo "$1: contacts lost: $missing"; cat "$work/$1.stdout"; exit 1; }
    echo "$1: $(echo "$2" | wc -l) contacts whose pages survive, all recovered"
}

# Hostile: every byte of the log after its header is random. The log is left out; the main file's
# contacts (those of the last checkpoint) come back.
phone random_log sample_phone
python3 - "$work/random_log/$dbdir/contacts2.db-wal" <<'PY'
import random, sys
path = sys.argv[1]
log = bytearray(open(path, 'rb').read())
rng = random.Random(7)
log[32:] = bytes(rng.getrandbits(8) for _ in range(len(log) - 32))
open(path, 'wb').write(log)
PY
expect_all random_log "$(live_names "$work/random_log/$dbdir/contacts2.db")"

# Hostile: a database cut short after its 75th page and 1000 bytes of the next; the schema's pages
# are among those kept.
phone cut_file sample_phone_legacy
truncate -s $((75 * 4096 + 1000)) "$work/cut_file/$dbdir/contacts2.db"
expect_all cut_file "$(live_names "$work/cut_file/$dbdir/contacts2.db")"

# Hostile: cut at 235 KB, where the schema's pages are gone (they lie at the file's end): nothing
# can be found, and the log says why.
phone cut_schema sample_phone
truncate -s $((235 * 1024)) "$work/cut_schema/$dbdir/contacts2.db"
[ -z "$(recover cut_schema)" ]
grep -q "the pages of its schema are gone or damaged" "$work/cut_schema.log" "$work/cut_schema.stdout"
echo "damaged contacts e2e: ok"
