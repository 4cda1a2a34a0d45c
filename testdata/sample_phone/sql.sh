# Small writers of SQL text for the sample phone's sessions, sourced by make_sample_phone.sh.

# q TEXT: TEXT as an SQL string literal.
q() { printf "'%s'" "${1//\'/\'\'}"; }

# insert TABLE col=LITERAL...: one INSERT; each value is an SQL literal or expression as written.
insert() {
    local table=$1 cols="" vals="" pair
    shift
    for pair in "$@"; do
        [ -n "$cols" ] && cols+=", " && vals+=", "
        cols+=${pair%%=*}
        vals+=${pair#*=}
    done
    printf 'INSERT INTO %s(%s) VALUES(%s);\n' "$table" "$cols" "$vals"
}

# ms 'YYYY-MM-DD HH:MM' / secs ...: a UTC time as Unix milliseconds / seconds.
ms() { echo $(( $(date -u -d "$1" +%s) * 1000 )); }
secs() { date -u -d "$1" +%s; }

# reverse TEXT: the characters of TEXT (ASCII) in reverse order.
reverse() {
    local text=$1 out="" i
    for ((i = ${#text} - 1; i >= 0; i--)); do out+=${text:i:1}; done
    printf '%s' "$out"
}

# min_match NUMBER: the last seven digits of a number, reversed, as the phone stores them for lookup.
min_match() {
    local digits=${1//[^0-9]/}
    reverse "${digits: -7}"
}
