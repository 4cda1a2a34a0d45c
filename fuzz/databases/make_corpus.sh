#!/bin/bash
# Seeds for the database pipelines: the sample phone's contacts and message databases as single
# files (the contacts log checkpointed into a scratch copy by sqlite3 itself).
#   make_corpus.sh OUT SAMPLE_PHONE
set -euo pipefail
out=$1 phone=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out/contacts" "$out/sms"
db=$phone/fs/data/data/com.android.providers.contacts/databases/contacts2.db
cp "$db" "$work/contacts2.db"
[ -f "$db-wal" ] && cp "$db-wal" "$work/contacts2.db-wal"
sqlite3 "$work/contacts2.db" "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE;" > /dev/null
cp "$work/contacts2.db" "$out/contacts/contacts2.db"
cp "$phone/fs/data/data/com.android.providers.telephony/databases/mmssms.db" "$out/sms/mmssms.db"
