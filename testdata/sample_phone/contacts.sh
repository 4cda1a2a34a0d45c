# The contacts database of the sample phone, as SQL for one sqlite3 session. Sourced by
# make_sample_phone.sh, which sets LEGACY (1: the Android 2.3 layout, numbers stored reversed and
# no search index) and PHOTO (a JPEG made by ImageMagick).

M_EMAIL=1 M_IM=2 M_NICKNAME=3 M_ORG=4 M_PHONE=5 M_SIP=6 M_NAME=7 M_POSTAL=8 M_IDENTITY=9
M_PHOTO=10 M_GROUP=11 M_EVENT=12 M_WEBSITE=13 M_NOTE=14 M_RELATION=15 M_UNKNOWN=16

CONTACTS_TABLES="mimetypes accounts groups contacts raw_contacts data phone_lookup"
[ "$LEGACY" = 1 ] || CONTACTS_TABLES+=" search_index_content"

stored_number() {  # the legacy layout keeps lookup numbers reversed
    if [ "$LEGACY" = 1 ]; then reverse "$1"; else printf '%s' "$1"; fi
}

# person ID ACCOUNT DISPLAY ALT: a raw contact and the contact aggregated from it (same id).
person() {
    insert contacts "_id=$1" "name_raw_contact_id=$1" "lookup=$(q "0r$1-$2")" "has_phone_number=1" \
        "contact_last_updated_timestamp=$(ms '2023-02-01 08:00')"
    insert raw_contacts "_id=$1" "account_id=$2" "contact_id=$1" "sourceid=$(q "src$1")" \
        "display_name=$(q "$3")" "display_name_alt=$(q "$4")" "display_name_source=40" \
        "sort_key=$(q "$3")" "sort_key_alt=$(q "$4")" "phonebook_label=$(q "${3:0:1}")" \
        "phonebook_bucket=1" "aggregation_needed=0"
}

# dat RAW MIMETYPE col=LITERAL...: one data row.
dat() {
    local raw=$1 mime=$2
    shift 2
    insert data "mimetype_id=$mime" "raw_contact_id=$raw" "$@"
}

# name RAW DISPLAY GIVEN FAMILY [col=LITERAL...]: a structured name, western style.
name() {
    local raw=$1 display=$2 given=$3 family=$4
    shift 4
    dat "$raw" $M_NAME "data1=$(q "$display")" "data2=$(q "$given")" "data3=$(q "$family")" \
        "data10='1'" "data11='0'" "$@"
}

# phone RAW NUMBER TYPE LABEL NORMALIZED: a phone row and its lookup row.
phone() {
    local raw=$1 number=$2 type=$3 label=$4 norm=$5 labelsql=NULL
    [ -n "$label" ] && labelsql=$(q "$label")
    dat "$raw" $M_PHONE "data1=$(q "$number")" "data2='$type'" "data3=$labelsql" \
        "data4=$(q "$(stored_number "$norm")")"
    insert phone_lookup "data_id=last_insert_rowid()" "raw_contact_id=$raw" \
        "normalized_number=$(q "$(stored_number "$norm")")" "min_match=$(q "$(min_match "$norm")")"
}

# search RAW NAME TOKENS CONTENT-LINE...: the contact's row of the full-text search index.
search() {
    [ "$LEGACY" = 1 ] && return
    local raw=$1 nm=$2 tokens=$3 content
    shift 3
    content=$(printf '%s\n' "$@")
    insert search_index "docid=$raw" "contact_id=$raw" "content=$(q "$content")" "name=$(q "$nm")" \
        "tokens=$(q "$tokens")"
}

contacts_base() {
    insert android_metadata "locale='en_US'"
    local m i=0
    for m in email_v2 im nickname organization phone_v2 sip_address name postal-address_v2 identity \
             photo group_membership contact_event website note relation; do
        i=$((i + 1))
        insert mimetypes "_id=$i" "mimetype=$(q "vnd.android.cursor.item/$m")"
    done
    # A mimetype of some app that the recovery does not know.
    insert mimetypes "_id=$M_UNKNOWN" "mimetype='vnd.com.example.chat.profile'"
    insert accounts "_id=1" "account_name=NULL" "account_type=NULL"
    insert accounts "_id=2" "account_name='alice.owner@gmail.com'" "account_type='com.google'"
    insert groups "_id=1" "account_id=2" "title='My Contacts'" "system_id='Contacts'" "group_visible=1"
    insert groups "_id=2" "account_id=2" "title='Family'" "group_visible=1"
    insert groups "_id=3" "account_id=2" "title='Coworkers'" "group_visible=1"
    insert groups "_id=4" "account_id=2" "title='Old club'" "group_visible=1"
    insert groups "_id=5" "account_id=2" "title='Book club'" "group_visible=1"

    # 1: every kind of data.
    person 1 2 'Alice Anders' 'Anders, Alice'
    name 1 'Alice Anders' Alice Anders "data4='Dr.'" "data5='B.'"
    phone 1 '+1 650-555-0101' 2 '' '+16505550101'
    phone 1 '(650) 555-0111' 3 '' '+16505550111'
    phone 1 '650-555-0199' 0 'Boat' '+16505550199'
    dat 1 $M_EMAIL "data1='alice@example.com'" "data2='1'" "is_primary=1"
    dat 1 $M_EMAIL "data1='alice.anders@mail.acme.example'" "data2='2'"
    dat 1 $M_ORG "data1='Acme Corp'" "data2='1'" "data4='Chief Engineer'" "data5='Research'"
    dat 1 $M_POSTAL "data1=$(q $'12 Harbour Road\nPort Town 4021\nNew Zealand')" "data2='1'" \
        "data4='12 Harbour Road'" "data7='Port Town'" "data9='4021'" "data10='New Zealand'"
    dat 1 $M_EVENT "data1='1984-07-21'" "data2='3'"
    dat 1 $M_WEBSITE "data1='https://alice.example.com'" "data2='1'"
    dat 1 $M_SIP "data1='alice@sip.example.com'" "data2='1'"
    dat 1 $M_NOTE "data1='Met at the conference; likes <tea> & cake'"
    dat 1 $M_NICKNAME "data1='Ali'" "data2='1'"
    dat 1 $M_PHOTO "data15=readfile($(q "$PHOTO"))"
    echo "UPDATE contacts SET photo_id = last_insert_rowid() WHERE _id = 1;"
    dat 1 $M_GROUP "data1='1'"
    dat 1 $M_GROUP "data1='2'"
    dat 1 $M_IM "data1='alice.anders'" "data2='3'" "data5='3'"
    dat 1 $M_IM "data1='alice#42'" "data2='1'" "data5='-1'" "data6='Matrix'"
    dat 1 $M_RELATION "data1='Bob Brown'" "data2='6'"
    dat 1 $M_IDENTITY "data1='alice-anders'" "data2='com.example.id'"
    dat 1 $M_UNKNOWN "data1='alice.chat'"
    search 1 'Alice Anders' '16505550101 6505550101 5550101 16505550111 6505550111 16505550199' \
        alice@example.com alice.anders@mail.acme.example 'Skype/alice.anders' 'Matrix/alice#42' \
        Ali 'Acme Corp' 'Chief Engineer'

    person 2 2 'Bob Brown' 'Brown, Bob'
    name 2 'Bob Brown' Bob Brown
    phone 2 '+1 650-555-0102' 2 '' '+16505550102'
    dat 2 $M_EMAIL "data1='bob.brown@example.net'" "data2='3'"
    dat 2 $M_GROUP "data1='2'"
    search 2 'Bob Brown' '16505550102 6505550102' bob.brown@example.net

    person 3 1 'Carol Chen' 'Chen, Carol'
    name 3 'Carol Chen' Carol Chen
    phone 3 '138 0013 8000' 2 '' '13800138000'
    dat 3 $M_EMAIL "data1='carol@example.org'" "data2='1'"
    dat 3 $M_IM "data1='carol@jabber.example.org'" "data2='3'" "data5='7'"
    dat 3 $M_ORG "data1='Globex'" "data2='1'"
    dat 3 $M_GROUP "data1='3'"
    search 3 'Carol Chen' '13800138000' carol@example.org 'Jabber/carol@jabber.example.org' Globex

    person 4 1 'Dave Dunn' 'Dunn, Dave'
    name 4 'Dave Dunn' Dave Dunn
    phone 4 '13912345678' 1 '' '13912345678'
    dat 4 $M_ORG "data4='Night Porter'"
    dat 4 $M_NICKNAME "data1='DD'"
    search 4 'Dave Dunn' '13912345678' DD 'Night Porter'

    # 5: soft-deleted later; 6: hard-deleted later; 7: its raw contact removed later, its data left.
    person 5 2 'Eve Evans' 'Evans, Eve'
    name 5 'Eve Evans' Eve Evans
    phone 5 '+44 7700 900123' 2 '' '+447700900123'
    dat 5 $M_EMAIL "data1='eve@example.co.uk'" "data2='1'"
    search 5 'Eve Evans' '447700900123 7700900123' eve@example.co.uk

    person 6 2 'Frank Foster' 'Foster, Frank'
    name 6 'Frank Foster' Frank Foster
    phone 6 '+1 650-555-0106' 1 '' '+16505550106'
    dat 6 $M_EMAIL "data1='frank.foster@example.com'" "data2='1'"
    dat 6 $M_NOTE "data1='Old neighbour'"
    dat 6 $M_GROUP "data1='4'"
    search 6 'Frank Foster' '16505550106 6505550106' frank.foster@example.com

    person 7 1 'Grace Green' 'Green, Grace'
    name 7 'Grace Green' Grace Green
    phone 7 '+61 2 9876 5432' 3 '' '+61298765432'
    dat 7 $M_EMAIL "data1='grace@example.com.au'" "data2='2'"
    search 7 'Grace Green' '61298765432 298765432' grace@example.com.au
}

# The changes after the last checkpoint, one transaction each (they stay in the log in WAL mode).
contacts_change_1() {  # three new contacts
    person 8 2 'Henry Hill' 'Hill, Henry'
    name 8 'Henry Hill' Henry Hill
    phone 8 '+1 650-555-0108' 2 '' '+16505550108'
    dat 8 $M_EMAIL "data1='henry.hill@example.com'" "data2='1'"
    search 8 'Henry Hill' '16505550108 6505550108' henry.hill@example.com

    person 9 2 'Ivy Irwin' 'Irwin, Ivy'
    name 9 'Ivy Irwin' Ivy Irwin
    phone 9 '+1 650-555-0109' 2 '' '+16505550109'
    dat 9 $M_EMAIL "data1='ivy@example.com'" "data2='1'"
    search 9 'Ivy Irwin' '16505550109 6505550109' ivy@example.com

    person 10 1 'Jack Jones' 'Jones, Jack'
    name 10 'Jack Jones' Jack Jones
    phone 10 '0171 555 0110' 0 'Office' '01715550110'
    dat 10 $M_SIP "data1='jack@sip.example.net'" "data2='3'"
    dat 10 $M_WEBSITE "data1='http://jack.example.net/blog'" "data2='2'"
    dat 10 $M_EVENT "data1='2019-05-04'" "data2='1'"
    search 10 'Jack Jones' '01715550110 5550110' jack@sip.example.net
}
contacts_change_2() {  # Henry Hill becomes Henry Holt: the old name stays only in older pages
    cat <<SQL
UPDATE data SET data1 = 'Henry Holt', data3 = 'Holt' WHERE raw_contact_id = 8 AND mimetype_id = $M_NAME;
UPDATE raw_contacts SET display_name = 'Henry Holt', display_name_alt = 'Holt, Henry',
    sort_key = 'Henry Holt', sort_key_alt = 'Holt, Henry' WHERE _id = 8;
SQL
    [ "$LEGACY" = 1 ] || echo "UPDATE search_index SET name = 'Henry Holt' WHERE docid = 8;"
}
contacts_change_3() {  # Eve is deleted the way the phone does before a sync: marked, not removed
    echo "UPDATE raw_contacts SET deleted = 1, dirty = 1 WHERE _id = 5;"
    echo "DELETE FROM contacts WHERE _id = 5;"
    [ "$LEGACY" = 1 ] || echo "DELETE FROM search_index WHERE docid = 5;"
}
contacts_change_4() {  # Frank and a group are removed for good; another group is marked deleted
    echo "DELETE FROM raw_contacts WHERE _id = 6;"  # the triggers take his data and contact
    [ "$LEGACY" = 1 ] || echo "DELETE FROM search_index WHERE docid = 6;"
    echo "DELETE FROM groups WHERE _id = 4;"
    echo "UPDATE groups SET deleted = 1 WHERE _id = 5;"
}
contacts_change_5() {  # Grace's raw contact goes without its triggers: her data rows stay behind
    echo ".dbconfig enable_trigger off"
    echo "DELETE FROM raw_contacts WHERE _id = 7;"
    echo ".dbconfig enable_trigger on"
    echo "DELETE FROM contacts WHERE _id = 7;"
    [ "$LEGACY" = 1 ] || echo "DELETE FROM search_index WHERE docid = 7;"
}
contacts_change_6() {  # Ivy, added after the checkpoint, is removed for good
    echo "DELETE FROM raw_contacts WHERE _id = 9;"
    [ "$LEGACY" = 1 ] || echo "DELETE FROM search_index WHERE docid = 9;"
}
CONTACTS_CHANGES="1 2 3 4 5 6"
