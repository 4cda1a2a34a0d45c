#!/bin/bash
# A contacts2.db of a heavy user, made by sqlite3 from the public Android schema: CONTACTS contacts,
# each a raw contact with a name, one or two phone numbers with their lookup rows, most with an
# e-mail address, some with an organisation, a group membership or a note, its name lookup rows and
# its row of the search index; then 30 % of the contacts removed with all their rows, secure_delete
# off, as a phone without it leaves them.
#
#   make_contacts_database.sh SCHEMA OUT_DB CONTACTS
#
# Beside OUT_DB: OUT_DB.deleted, the display names of the removed contacts (one a line).
set -euo pipefail
schema=$1 out=$2 n=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -f "$out" "$out-journal" "$out.deleted" "$out.part"

# The mimetype ids as the sample phone numbers them.
M_EMAIL=1 M_ORG=4 M_PHONE=5 M_NAME=7 M_GROUP=11 M_NOTE=14
first="'Alice','Bob','Carol','Dave','Eve','Frank','Grace','Henry','Ivy','Jack','Kate','Liam','Mia','Noah',
'Olga','Paul','Quinn','Rosa','Sam','Tina','Uma','Victor','Wendy','Xavier','Yara','Zoe','Anna','Ben','Clara',
'Dan','Emma','Felix','Gina','Hugo','Iris','Jonas','Karl'"
family="'Anders','Brown','Chen','Dunn','Evans','Foster','Green','Hill','Irwin','Jones','King','Lopez','Miller',
'Novak','Olsen','Park','Quist','Reyes','Smith','Turner','Underwood','Vega','Walsh','Xu','Young','Zimmer',
'Adams','Baker','Clark','Davis','Ellis','Fischer','Garcia','Hughes','Ito','Jensen','Klein','Larsen','Moreau',
'Nagy','Ortiz','Patel','Rossi','Sato','Tanaka','Ueda','Varga','Weber','Yilmaz','Zhang','Aho','Berg','Costa'"

sqlite3 -bail -cmd ".read $here/phone_database.sql" -cmd ".read $schema" "$out.part" > /dev/null <<SQL
BEGIN;
INSERT INTO android_metadata VALUES ('en_US');
WITH RECURSIVE i(k, m) AS (SELECT 1, 'email_v2' UNION ALL
  SELECT k + 1, CASE k WHEN 1 THEN 'im' WHEN 2 THEN 'nickname' WHEN 3 THEN 'organization'
    WHEN 4 THEN 'phone_v2' WHEN 5 THEN 'sip_address' WHEN 6 THEN 'name' WHEN 7 THEN 'postal-address_v2'
    WHEN 8 THEN 'identity' WHEN 9 THEN 'photo' WHEN 10 THEN 'group_membership' WHEN 11 THEN 'contact_event'
    WHEN 12 THEN 'website' WHEN 13 THEN 'note' ELSE 'relation' END FROM i WHERE k < 15)
INSERT INTO mimetypes(_id, mimetype) SELECT k, 'vnd.android.cursor.item/' || m FROM i;
INSERT INTO accounts(_id, account_name, account_type) VALUES (1, 'owner@gmail.com', 'com.google');
INSERT INTO groups(_id, account_id, title, system_id, group_visible) VALUES
  (1, 1, 'My Contacts', 'Contacts', 1), (2, 1, 'Family', NULL, 1), (3, 1, 'Coworkers', NULL, 1),
  (4, 1, 'Friends', NULL, 1), (5, 1, 'Book club', NULL, 1);
CREATE TEMP TABLE f(i INTEGER PRIMARY KEY, v);
INSERT INTO f(v) VALUES ($(echo "$first" | tr -d '\n' | sed "s/','/'),('/g"));
CREATE TEMP TABLE g(i INTEGER PRIMARY KEY, v);
INSERT INTO g(v) VALUES ($(echo "$family" | tr -d '\n' | sed "s/','/'),('/g"));
CREATE TEMP TABLE p(c INTEGER PRIMARY KEY, given, family, display, alt, number, norm);
WITH RECURSIVE n(c) AS (SELECT 1 UNION ALL SELECT c + 1 FROM n WHERE c < $n)
INSERT INTO p SELECT c, f.v, g.v, f.v || ' ' || g.v, g.v || ', ' || f.v,
  printf('+1 650-%03d-%04d', 200 + c / 10000, c % 10000), printf('+1650%03d%04d', 200 + c / 10000, c % 10000)
  FROM n JOIN f ON f.i = 1 + c % (SELECT count(*) FROM f) JOIN g ON g.i = 1 + (c / 37) % (SELECT count(*) FROM g);
INSERT INTO contacts(_id, name_raw_contact_id, lookup, has_phone_number, contact_last_updated_timestamp)
  SELECT c, c, '0r' || c || '-' || upper(family), 1, 1600000000000 + c * 1000 FROM p;
INSERT INTO raw_contacts(_id, account_id, contact_id, sourceid, version, display_name, display_name_alt,
                         display_name_source, sort_key, sort_key_alt, phonebook_label, phonebook_bucket,
                         aggregation_needed)
  SELECT c, 1, c, 'src' || c, 2 + c % 3, display, alt, 40, display, alt, substr(given, 1, 1), 1, 0 FROM p;
-- Data rows numbered 8 a contact, so that the lookup rows can name them.
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1, data2, data3, data10, data11)
  SELECT 8 * c, $M_NAME, c, display, given, family, '1', '0' FROM p;
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1, data2, data4, is_primary)
  SELECT 8 * c + 1, $M_PHONE, c, number, '2', norm, 1 FROM p;
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1, data2, data4)
  SELECT 8 * c + 2, $M_PHONE, c, printf('(650) 7%02d-%04d', c / 10000, c % 10000),
         '1', printf('+16507%02d%04d', c / 10000, c % 10000) FROM p WHERE c % 2 = 0;
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1, data2)
  SELECT 8 * c + 3, $M_EMAIL, c, lower(given) || '.' || lower(family) || '.' || c || '@example.com', '1'
  FROM p WHERE c % 3 <> 0;
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1, data2, data4)
  SELECT 8 * c + 4, $M_ORG, c, family || ' and Sons', '1', 'Manager' FROM p WHERE c % 5 = 0;
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1)
  SELECT 8 * c + 5, $M_GROUP, c, CAST(1 + c % 5 AS TEXT) FROM p WHERE c % 4 = 0;
INSERT INTO data(_id, mimetype_id, raw_contact_id, data1)
  SELECT 8 * c + 6, $M_NOTE, c, 'Met ' || given || ' in ' || (1990 + c % 30) FROM p WHERE c % 10 = 0;
INSERT INTO phone_lookup(data_id, raw_contact_id, normalized_number, min_match)
  SELECT _id, raw_contact_id, data4, reverse_last7 FROM (
    SELECT _id, raw_contact_id, data4,
      substr(data4, -1, 1) || substr(data4, -2, 1) || substr(data4, -3, 1) || substr(data4, -4, 1) ||
      substr(data4, -5, 1) || substr(data4, -6, 1) || substr(data4, -7, 1) AS reverse_last7
    FROM data WHERE mimetype_id = $M_PHONE);
INSERT INTO name_lookup(data_id, raw_contact_id, normalized_name, name_type)
  SELECT 8 * c, c, upper(given || family), 0 FROM p;
INSERT INTO name_lookup(data_id, raw_contact_id, normalized_name, name_type)
  SELECT 8 * c, c, upper(family || given), 1 FROM p;
INSERT INTO search_index(docid, contact_id, content, name, tokens)
  SELECT c, c, CASE WHEN c % 3 <> 0 THEN lower(given) || '.' || lower(family) || '.' || c || '@example.com' ELSE '' END,
         display, substr(norm, 2) || ' ' || substr(norm, 3) FROM p;
COMMIT;
INSERT INTO search_index(search_index) VALUES ('optimize');
VACUUM;

-- Three contacts in ten are removed with every row they had.
CREATE TEMP TABLE gone AS SELECT c, display FROM p WHERE c % 10 IN (2, 5, 8);
.once $out.deleted
SELECT display FROM gone;
BEGIN;
DELETE FROM phone_lookup WHERE raw_contact_id IN (SELECT c FROM gone);
DELETE FROM name_lookup WHERE raw_contact_id IN (SELECT c FROM gone);
DELETE FROM data WHERE raw_contact_id IN (SELECT c FROM gone);
DELETE FROM raw_contacts WHERE _id IN (SELECT c FROM gone);
DELETE FROM contacts WHERE _id IN (SELECT c FROM gone);
DELETE FROM search_index WHERE docid IN (SELECT c FROM gone);
COMMIT;
SQL
mv "$out.part" "$out"
