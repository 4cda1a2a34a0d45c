#!/usr/bin/env bash
# relikorda-recover over the sample phone with hostile links in its device folder, run from a copy
# of the program folder with its own temporary, home and working folders:
# - the links that leave the device are refused, each named with its reason;
# - nothing is written outside the output folder and the private temporary folder (the program,
#   home, working and device folders are listed before and after), and the temporary folder is
#   empty after the run;
# - a run killed while its working copies exist leaves them, and the next run removes them.
#   hostile_phone_e2e.sh BIN_DIR SAMPLE_PHONE
set -euo pipefail
bin=$1 sample=$2
work=$(mktemp -d /tmp/rk_hostile_e2e_XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/prog" "$work/home" "$work/cwd" "$work/tmp"
cp "$bin/relikorda-recover" "$bin"/*.so "$work/prog/"
cp -r "$sample" "$work/phone"
rm -rf "$work/phone/expected"
# Hostile links: a volume that is /etc/passwd, one that leaves the device folder.
ln -s /etc/passwd "$work/phone/storage/passwd.img"
ln -s "$work/home" "$work/phone/storage/home.img"

listing() {  # every entry with its size and checksum, for the folders that must not change
    (cd "$work" && find prog home cwd phone -printf '%p %y %s\n' | sort
     find "$work/phone" -type f -exec sha256sum {} + | sort)
}
run() {  # out
    (cd "$work/cwd" && env -u XDG_CACHE_HOME -u RELIKORDA_LOG HOME="$work/home" TMPDIR="$work/tmp" \
        "$work/prog/relikorda-recover" --device "$work/phone" --out "$1")
}

before=$(listing)
run "$work/out1" > "$work/stdout1" 2> "$work/stderr1"
grep -F "device: $work/phone/storage/passwd.img refused: it leads to /etc/passwd, outside the device folder" \
    "$work/stderr1"
grep -F "device: $work/phone/storage/home.img refused: it leads to $work/home, outside the device folder" \
    "$work/stderr1"
grep -Eq '^contacts: [1-9][0-9]* live' "$work/stdout1"
[ "$(listing)" = "$before" ] || { diff <(echo "$before") <(listing); echo "written outside the output folder"; exit 1; }
[ -z "$(ls -A "$work/tmp")" ] || { ls -la "$work/tmp"; echo "the temporary folder is not empty"; exit 1; }

# A run killed while its working copy exists.
(cd "$work/cwd" && exec env HOME="$work/home" TMPDIR="$work/tmp" RELIKORDA_LOG="$work/killed.log" \
    "$work/prog/relikorda-recover" --device "$work/phone" --out "$work/out2" > /dev/null 2>&1) &
pid=$!
for _ in $(seq 1 2000); do
    ls "$work/tmp" | grep -q "^relikorda-" && break
    kill -0 "$pid" 2> /dev/null || break
    sleep 0.005
done
kill -9 "$pid" 2> /dev/null || true
wait "$pid" 2> /dev/null || true
caught=$(ls "$work/tmp" | grep -c "^relikorda-" || true)
# Whether or not the kill came in time, a leftover of a process that has ended is there.
sh -c 'exit 0' & dead=$!
wait "$dead"
mkdir -m 700 "$work/tmp/relikorda-SmsAndMms.$dead.Xy12Ab"
echo copy > "$work/tmp/relikorda-SmsAndMms.$dead.Xy12Ab/mmssms.db"
run "$work/out3" > /dev/null 2> "$work/stderr3"
grep -rqF "Removed the working folder $work/tmp/relikorda-SmsAndMms.$dead.Xy12Ab" "$work/stderr3" "$work/out3"
[ -z "$(ls -A "$work/tmp")" ] || { ls -la "$work/tmp"; echo "a killed run's working folder is left"; exit 1; }
echo "hostile phone e2e: ok (working copies of the killed run caught: $caught)"
