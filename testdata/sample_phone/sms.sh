# The SMS/MMS database of the sample phone, as SQL for one sqlite3 session. Sourced by
# make_sample_phone.sh, which sets PARTS (the device folder of the MMS part files) and PART_FILES
# (a folder where the part files made by ImageMagick and sox wait, named by their PART_ name).

SMS_TABLES="threads canonical_addresses sms pdu addr part words_content"
PARTS_ON_PHONE=/data/data/com.android.providers.telephony/app_parts

A_ALICE='+16505550101' A_BOB='+16505550102' A_CAROL='+8613800138000' A_DAVE='1252013912345678'
A_STRANGER='+4915112345678' A_EVE='+447700900123' A_BANK='info@bank.example' A_OWN='+16505550100'
A_CARRIER='AcmeTel'  # an alphanumeric sender, as carriers and services send

# sms ID THREAD ADDRESS 'YYYY-MM-DD HH:MM' TYPE BODY: one SMS and its row of the word index.
sms() {
    local id=$1 thread=$2 address=$3 when=$4 type=$5 body=$6
    insert sms "_id=$id" "thread_id=$thread" "address=$(q "$address")" "date=$(ms "$when")" \
        "date_sent=$(ms "$when")" "protocol=0" "read=1" "status=-1" "type=$type" \
        "reply_path_present=0" "body=$(q "$body")" "service_center=NULL" "seen=1"
    [ -n "${body// /}" ] || return 0
    insert words "_id=$id" "index_text=$(q "$body")" "source_id=$id" "table_to_use=1" "sub_id=-1"
}

# thread ID RECIPIENTS 'YYYY-MM-DD HH:MM' COUNT SNIPPET [ATTACHMENT]
thread() {
    insert threads "_id=$1" "date=$(ms "$3")" "message_count=$4" "recipient_ids=$(q "$2")" \
        "snippet=$(q "$5")" "snippet_cs=106" "read=1" "type=0" "has_attachment=${6:-0}"
}

# pdu ID THREAD 'YYYY-MM-DD HH:MM' BOX SUBJECT(or empty for NULL): one MMS header row.
pdu() {
    local sub=NULL mtype=132
    [ -n "$5" ] && sub=$(q "$5")
    [ "$4" = 2 ] && mtype=128
    insert pdu "_id=$1" "thread_id=$2" "date=$(secs "$3")" "date_sent=$(secs "$3")" "msg_box=$4" "read=1" \
        "m_id=$(q "mms-$1@mms.example")" "sub=$sub" "sub_cs=106" \
        "ct_t='application/vnd.wap.multipart.related'" "exp=604800" "m_cls='personal'" \
        "m_type=$mtype" "v=18" "m_size=$((20000 + $1))" "pri=129" "rr=129" "tr_id=$(q "T$1")" "d_rpt=129" "seen=1"
}

# addr MSG ADDRESS TYPE
addr() { insert addr "msg_id=$1" "contact_id=NULL" "address=$(q "$2")" "type=$3" "charset=106"; }

# part ID MID SEQ CT CL [text=...|file=PART_NAME]: one MMS part; a text part also enters the word
# index, a file part names its file under app_parts.
part() {
    local id=$1 mid=$2 seq=$3 ct=$4 cl=$5 what=${6:-} data=NULL text=NULL chset=NULL
    case "$what" in
        text=*) text=$(q "${what#text=}"); chset=106 ;;
        file=*) data=$(q "$PARTS_ON_PHONE/${what#file=}") ;;
    esac
    insert part "_id=$id" "mid=$mid" "seq=$seq" "ct=$(q "$ct")" "name=$(q "$cl")" "chset=$chset" \
        "cid=$(q "<${cl%%.*}>")" "cl=$(q "$cl")" "_data=$data" "text=$text"
    if [ "$ct" = text/plain ]; then
        insert words "_id=$((id + 2))" "index_text=$text" "source_id=$id" "table_to_use=2" "sub_id=-1"
    fi
}

smil() {  # SMIL of a slide show: SRC:REGION pairs per slide, slides separated by " | "
    local out='<smil><head><layout><root-layout/><region id="Image" top="0" left="0" height="80%" width="100%"/>'
    out+='<region id="Text" top="80%" left="0" height="20%" width="100%"/></layout></head><body>'
    local slide item
    IFS='|' read -ra slides <<< "$1"
    for slide in "${slides[@]}"; do
        out+='<par dur="5000ms">'
        for item in $slide; do
            case "${item%%:*}" in
                *.txt) out+="<text src=\"${item%%:*}\" region=\"${item#*:}\"/>" ;;
                *.jpg|*.png) out+="<img src=\"${item%%:*}\" region=\"${item#*:}\"/>" ;;
                *) out+="<audio src=\"${item%%:*}\"/>" ;;
            esac
        done
        out+='</par>'
    done
    printf '%s</body></smil>' "$out"
}

LONG_BODY=$(for i in $(seq -w 1 70); do printf 'Line %s of a long story: the quick brown fox jumps over the lazy dog. ' "$i"; done)

sms_base() {
    insert android_metadata "locale='en_US'"
    local a
    for a in "$A_ALICE" "$A_BOB" "$A_CAROL" "$A_DAVE" "$A_STRANGER" "$A_EVE" "$A_BANK" "$A_CARRIER"; do
        insert canonical_addresses "address=$(q "$a")"
    done
    thread 1 '1' '2023-03-06 18:02' 5 'Sorry, running late'
    thread 2 '2' '2023-03-08 10:00' 6 'See you then' 1
    thread 3 '1 2' '2023-03-08 19:00' 3 'Photos from the party' 1
    thread 4 '3' '2023-03-03 12:10' 3 'Holiday' 1
    thread 5 '4' '2023-03-06 08:30' 3 'On my way'
    thread 6 '5' '2023-03-09 07:15' 1 'Your code is 482913'
    thread 7 '6' '2023-03-05 20:00' 1 'Hi, it is Eve'
    thread 8 '7' '2023-03-09 09:00' 1 'Your statement is ready'
    thread 10 '8' '2023-03-07 06:00' 1 'Your data plan renews tomorrow'

    sms 1 1 "$A_ALICE" '2023-03-01 09:00' 1 'Are we still on for lunch?'
    sms 2 1 "$A_ALICE" '2023-03-01 09:05' 2 'Yes, 12:30 at the usual place.'
    sms 3 1 "$A_ALICE" '2023-03-03 17:40' 1 'Fish & chips <tonight> at 8?'
    sms 4 1 "$A_ALICE" '2023-03-03 17:42' 2 "$LONG_BODY"
    sms 5 1 "$A_ALICE" '2023-03-06 18:02' 5 'Sorry, running late'
    sms 6 2 "$A_BOB" '2023-03-01 11:00' 1 'OK'
    sms 7 2 "$A_BOB" '2023-03-05 11:00' 1 'OK'
    sms 8 2 "$A_BOB" '2023-03-05 11:01' 2 'See you then'
    sms 9 2 "$A_BOB" '2023-03-07 13:30' 1 'Delete me later'
    sms 10 3 '' '2023-03-08 18:00' 2 'Party at mine on Saturday!'
    sms 11 3 '' '2023-03-08 18:05' 3 'Bring snacks'
    sms 12 4 "$A_CAROL" '2023-03-03 12:00' 1 '你好, did you get the photos?'
    sms 13 4 "$A_CAROL" '2023-03-03 12:05' 2 'Not yet'
    sms 14 5 "$A_DAVE" '2023-03-04 08:00' 1 'Parcel left at reception'
    sms 15 5 "$A_DAVE" '2023-03-04 08:10' 6 'Thanks Dave'
    sms 16 5 "$A_DAVE" '2023-03-06 08:30' 4 'On my way'
    sms 17 6 "$A_STRANGER" '2023-03-09 07:15' 1 'Your code is 482913'
    sms 18 7 "$A_EVE" '2023-03-05 20:00' 1 'Hi, it is Eve'
    sms 19 8 "$A_BANK" '2023-03-09 09:00' 1 'Your statement is ready'
    sms 20 9 '' '2023-03-02 21:00' 3 'Note to self: buy milk'
    sms 21 9 '' '2023-03-02 21:01' 3 'and bread'
    sms 22 2 "$A_BOB" '2023-03-06 10:00' 1 $'   \n  '
    sms 25 10 "$A_CARRIER" '2023-03-07 06:00' 1 'Your data plan renews tomorrow'

    # A received MMS with a slide show: picture and text, then sound; one picture deleted later.
    pdu 1 4 '2023-03-03 12:10' 1 'Holiday'
    addr 1 "$A_CAROL" 137
    addr 1 "$A_OWN" 151
    part 1 1 -1 application/smil smil.xml "text=$(smil 'image.jpg:Image text_0.txt:Text|audio.ogg:Audio|image2.png:Image')"
    part 2 1 0 image/jpeg image.jpg file=PART_1677845400001
    part 3 1 0 text/plain text_0.txt 'text=Greetings from the beach!'
    part 4 1 0 audio/ogg audio.ogg file=PART_1677845400002
    part 5 1 0 image/png image2.png file=PART_1677845400003
    # A sent MMS to the group thread.
    pdu 2 3 '2023-03-08 19:00' 2 ''
    addr 2 insert-address-token 137
    addr 2 "$A_ALICE" 151
    addr 2 "$A_BOB" 151
    part 6 2 -1 application/smil smil.xml "text=$(smil 'image.jpg:Image text_0.txt:Text')"
    part 7 2 0 text/plain text_0.txt 'text=Photos from the party'
    part 8 2 0 image/jpeg image.jpg file=PART_1678302000001
    # A received MMS that is deleted later while its parts stay.
    pdu 3 2 '2023-03-08 10:00' 1 'Old pic'
    addr 3 "$A_BOB" 137
    addr 3 "$A_OWN" 151
    part 9 3 0 text/plain text_0.txt 'text=Look at this old one'
    part 10 3 0 image/jpeg image.jpg file=PART_1678269600001
}

# The changes after the base (and after the checkpoint in WAL mode), one transaction each.
sms_change_1() {  # new messages
    sms 23 1 "$A_ALICE" '2023-03-10 08:00' 1 'New message after the backup'
    sms 24 2 "$A_BOB" '2023-03-10 09:00' 2 'Gone before the copy'
    echo "UPDATE threads SET date = $(ms '2023-03-10 09:00'), snippet = 'Gone before the copy', message_count = 7 WHERE _id = 2;"
    echo "UPDATE threads SET date = $(ms '2023-03-10 08:00'), snippet = 'New message after the backup', message_count = 6 WHERE _id = 1;"
}
sms_change_2() {  # deleted SMS: the word index loses some of them, the snippet of thread 6 stays
    echo "DELETE FROM sms WHERE _id IN (9, 13, 17, 24);"
    echo "DELETE FROM words WHERE source_id IN (9, 24) AND table_to_use = 1;"
    echo "UPDATE threads SET snippet = 'See you then', message_count = 5 WHERE _id = 2;"
    echo "UPDATE threads SET message_count = 2 WHERE _id = 4;"
}
sms_change_3() {  # a deleted MMS whose parts stay, and a deleted part of a live MMS
    echo "DELETE FROM pdu WHERE _id = 3;"
    echo "DELETE FROM addr WHERE msg_id = 3;"
    echo "DELETE FROM part WHERE _id = 5;"
}
SMS_CHANGES="1 2 3"

# make_part_files DIR: the files of the MMS parts, as the phone keeps them.
make_part_files() {
    local dir=$1
    mkdir -p "$dir"
    convert -size 160x120 gradient:orange-navy -fill white -draw 'circle 80,60 80,30' \
        -strip -quality 85 "jpeg:$dir/PART_1677845400001"
    sox -n -r 8000 -c 1 -t ogg "$dir/PART_1677845400002" synth 0.5 sine 440 fade 0 0.5 0.1
    convert -size 64x64 gradient:green-yellow -strip "png:$dir/PART_1677845400003"
    convert -size 120x90 gradient:pink-purple -strip -quality 80 "jpeg:$dir/PART_1678302000001"
    convert -size 100x100 gradient:gray-white -strip -quality 75 "jpeg:$dir/PART_1678269600001"
}
