#!/bin/bash
# An SMS-shaped mmssms.db of a heavy user, made by sqlite3 from the public Android schema:
# MESSAGES messages in one thread per partner (about one in seven an MMS with a SMIL and a text part
# and its two addr rows), every text in the word index, then 30 % of the messages deleted (whole
# threads and single messages) with secure_delete off, as a phone without it leaves them.
# SHAPE "short" makes a phone of short texts instead: every message an SMS of 20 to 180
# characters and the word index left empty, so that the file holds about 175 bytes a message.
#
#   make_sms_database.sh SCHEMA OUT_DB MESSAGES [SHAPE]
#
# Beside OUT_DB: OUT_DB.deleted, the texts of the deleted messages that occur once in the database
# (one a line), which a recovery of the intact records should give back.
set -euo pipefail
schema=$1 out=$2 n=$3 shape=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
threads=$((50 + n / 500))
rm -f "$out" "$out-journal" "$out.deleted" "$out.part"

# The text of message k (in thread t): mostly unique, some replies every heavy user sends again
# and again.
LOREM="the quick brown fox jumps over the lazy dog while we wait for the train to leave the station, \
call me when you are home and bring the book you borrowed last week; dinner is at eight, do not be \
late again or the soup gets cold and the cake will be gone before you even sit down at the table"
body="CASE WHEN k % 23 = 0 THEN 'OK' WHEN k % 29 = 0 THEN 'Thanks!' WHEN k % 31 = 0 THEN 'On my way'
  ELSE printf('Msg %d: %s', k, substr('$LOREM', 1 + (k * 13) % 200, 12 + (k * 37) % 140)) END"
mms="k % 7 = 0" words=1
if [ "$shape" = short ]; then
    body="substr(printf('Msg %d: %s %s', k, ltrim(substr('$LOREM', 1 + (k * 13) % 200)), '$LOREM'), 1, 20 + (k * 37) % 161)"
    mms=0 words=0
fi
smil='<smil><head><layout><root-layout/><region id="Text" top="0" left="0" height="100%" width="100%"/></layout></head><body><par dur="5000ms"><text src="text_0.txt" region="Text"/></par></body></smil>'

sqlite3 -bail -cmd ".read $here/phone_database.sql" -cmd ".read $schema" "$out.part" > /dev/null <<SQL
BEGIN;
INSERT INTO android_metadata VALUES ('en_US');
CREATE TEMP TABLE m(k INTEGER PRIMARY KEY, t, ms, mms, body);
WITH RECURSIVE n(k) AS (SELECT 1 UNION ALL SELECT k + 1 FROM n WHERE k < $n)
INSERT INTO m SELECT k, 1 + (k * 7919) % $threads, 1500000000000 + k * 60000, $mms, $body FROM n;
WITH RECURSIVE n(t) AS (SELECT 1 UNION ALL SELECT t + 1 FROM n WHERE t < $threads)
INSERT INTO canonical_addresses(_id, address) SELECT t, printf('+1650%07d', t * 7) FROM n;
INSERT INTO threads(_id, date, message_count, recipient_ids, snippet, snippet_cs, read, type)
  SELECT g.t, m.ms, g.count,
         CASE WHEN g.t % 20 = 0 AND g.t < $threads THEN g.t || ' ' || (g.t + 1) ELSE CAST(g.t AS TEXT) END,
         m.body, 106, 1, 0
  FROM (SELECT t, max(k) AS last, count(*) AS count FROM m GROUP BY t) AS g JOIN m ON m.k = g.last;
INSERT INTO sms(_id, thread_id, address, date, date_sent, protocol, read, status, type,
                reply_path_present, body, seen)
  SELECT k, t, printf('+1650%07d', t * 7), ms, ms, 0, 1, -1, 1 + k % 2, 0, body, 1 FROM m WHERE NOT mms;
INSERT INTO words(_id, index_text, source_id, table_to_use, sub_id)
  SELECT k, body, k, 1, -1 FROM m WHERE NOT mms AND $words;
INSERT INTO pdu(_id, thread_id, date, date_sent, msg_box, read, m_id, sub, sub_cs, ct_t, exp, m_cls,
                m_type, v, m_size, pri, rr, tr_id, d_rpt, seen)
  SELECT k, t, ms / 1000, ms / 1000, 1 + k % 2, 1, 'mms-' || k || '@mms.example',
         CASE WHEN k % 3 = 0 THEN 'Photo ' || k END, 106, 'application/vnd.wap.multipart.related',
         604800, 'personal', CASE WHEN k % 2 THEN 128 ELSE 132 END, 18, 20000 + k, 129, 129, 'T' || k, 129, 1
  FROM m WHERE mms;
INSERT INTO part(_id, mid, seq, ct, name, chset, cid, cl, text)
  SELECT 2 * k, k, -1, 'application/smil', 'smil.xml', NULL, '<smil>', 'smil.xml', '$smil' FROM m WHERE mms;
INSERT INTO part(_id, mid, seq, ct, name, chset, cid, cl, text)
  SELECT 2 * k + 1, k, 0, 'text/plain', 'text_0.txt', 106, '<text_0>', 'text_0.txt', body FROM m WHERE mms;
INSERT INTO words(_id, index_text, source_id, table_to_use, sub_id)
  SELECT 2 * k + 3, body, 2 * k + 1, 2, -1 FROM m WHERE mms AND $words;
INSERT INTO addr(msg_id, contact_id, address, type, charset)
  SELECT k, NULL, printf('+1650%07d', t * 7), CASE WHEN k % 2 THEN 137 ELSE 151 END, 106 FROM m WHERE mms;
INSERT INTO addr(msg_id, contact_id, address, type, charset)
  SELECT k, NULL, 'insert-address-token', CASE WHEN k % 2 THEN 151 ELSE 137 END, 106 FROM m WHERE mms;
COMMIT;
-- Compact, so that the file grows with the messages alone.
INSERT INTO words(words) VALUES ('optimize');
VACUUM;

-- A tenth of the threads is deleted whole, a fifth of the other messages one by one.
CREATE TEMP TABLE gone AS SELECT k, mms, body FROM m WHERE t % 10 = 3 OR k % 10 IN (1, 6);
.once $out.deleted
SELECT body FROM gone WHERE body NOT IN ('OK', 'Thanks!', 'On my way');
BEGIN;
DELETE FROM sms WHERE _id IN (SELECT k FROM gone WHERE NOT mms);
DELETE FROM words WHERE table_to_use = 1 AND source_id IN (SELECT k FROM gone WHERE NOT mms);
DELETE FROM words WHERE table_to_use = 2 AND source_id IN (SELECT 2 * k + 1 FROM gone WHERE mms);
DELETE FROM part WHERE mid IN (SELECT k FROM gone WHERE mms);
DELETE FROM addr WHERE msg_id IN (SELECT k FROM gone WHERE mms);
DELETE FROM pdu WHERE _id IN (SELECT k FROM gone WHERE mms);
DELETE FROM threads WHERE _id % 10 = 3;
COMMIT;
SQL
mv "$out.part" "$out"
