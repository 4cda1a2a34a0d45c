# Helpers that write the expected facts beside a database, sourced by make_sample_phone.sh.
#
# Inside the sqlite3 session, `snapshot_sql DIR TABLE...` prints the dot-commands and SELECTs that
# dump each table to DIR/<table>.tsv as sqlite3 itself prints it; after the session,
# `manifest_from_snapshots` turns the snapshots into <table>.live.tsv and <table>.deleted.tsv.
#
# One row a line, values separated by tabs, a header line of column names; NULL is \N, a BLOB is
# X'<hex>', and in texts a backslash, tab, line feed and carriage return are \\, \t, \n and \r.

# columns_of SCHEMA TABLE: the column names of a table, one a line, from a scratch in-memory copy
# of the schema.
columns_of() {
    sqlite3 -batch :memory: ".read $1" "SELECT name FROM pragma_table_info('$2') ORDER BY cid;"
}

# select_sql SCHEMA TABLE: a SELECT that prints every column of the table in the escaped form.
select_sql() {
    local schema=$1 table=$2 col list=""
    while read -r col; do
        [ -n "$list" ] && list+=", "
        list+="CASE typeof(\"$col\") WHEN 'null' THEN '\\N' WHEN 'blob' THEN 'X''' || hex(\"$col\") || ''''"
        list+=" ELSE replace(replace(replace(replace(\"$col\", '\\', '\\\\'), char(9), '\\t'), char(10), '\\n'), char(13), '\\r')"
        list+=" END AS \"$col\""
    done < <(columns_of "$schema" "$table")
    printf 'SELECT %s FROM "%s" ORDER BY rowid;\n' "$list" "$table"
}

# snapshot_sql SCHEMA DIR TABLE...: dot-commands of the session that dump the tables into DIR.
snapshot_sql() {
    local schema=$1 dir=$2 table
    shift 2
    printf '.shell mkdir -p %s\n' "$dir"
    for table in "$@"; do
        printf '.once %s/%s.tsv\n' "$dir" "$table"
        select_sql "$schema" "$table"
    done
}

# manifest_from_snapshots OUTDIR SNAPDIR TABLE...: SNAPDIR holds numbered snapshot folders taken
# after each commit, the last one just before the copy. Writes, per table:
#   OUTDIR/<table>.live.tsv     the rows of the last snapshot
#   OUTDIR/<table>.deleted.tsv  every row version that an earlier snapshot held and the last does
#                               not, with a first column "fate": "deleted" when no row of the
#                               last snapshot has the same first column (the row is gone),
#                               "superseded" when one has (the row was changed since)
manifest_from_snapshots() {
    local outdir=$1 snapdir=$2 table last
    shift 2
    last=$(ls "$snapdir" | sort -n | tail -1)
    mkdir -p "$outdir"
    for table in "$@"; do
        cp "$snapdir/$last/$table.tsv" "$outdir/$table.live.tsv"
        local earlier=()
        local snap
        for snap in $(ls "$snapdir" | sort -n); do
            [ "$snap" = "$last" ] || earlier+=("$snapdir/$snap/$table.tsv")
        done
        awk -F'\t' -v OFS='\t' '
            FNR == 1 { if (NR == 1) print "fate", $0; next }
            FILENAME == ARGV[1] { live[$0] = 1; ids[$1] = 1; next }
            !($0 in live) && !($0 in seen) {
                seen[$0] = 1
                print (($1 in ids) ? "superseded" : "deleted"), $0
            }' "$outdir/$table.live.tsv" "${earlier[@]}" > "$outdir/$table.deleted.tsv"
    done
}
