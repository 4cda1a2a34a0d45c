#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz build for a fixed time on a scratch copy of its corpus and
# prints one line per target: name, edges covered, executions, executions per second.
#   scripts/fuzz_coverage.sh BUILD_DIR [SECONDS] [PARALLEL]
set -euo pipefail
build=$1 seconds=${2:-300} parallel=${3:-4}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ctest --test-dir "$build" -L fuzz --show-only=json-v1 > "$work/tests.json"
python3 - "$work/tests.json" > "$work/commands" <<'PY'
import json, sys
tests = json.load(open(sys.argv[1]))["tests"]
# A target's CTest run fuzzes a copy of its corpus; measure from the original.
origin = {}
for t in tests:
    if t["name"].endswith(".corpus"):
        fr = [a[len("-DFROM="):] for a in t["command"] if a.startswith("-DFROM=")]
        origin[t["name"][len("fuzz."):-len(".corpus")]] = fr
for t in tests:
    if t["name"].endswith(".corpus"):
        continue
    name, cmd = t["name"][len("fuzz."):], t["command"]
    corpus = origin.get(name) or [a for a in cmd[1:] if not a.startswith("-")]
    print("\t".join([name, cmd[0]] + corpus))
PY
run() {  # name binary corpus...
    local name=$1 bin=$2
    shift 2
    mkdir -p "$work/$name/corpus"
    for c in "$@"; do cp -r "$c"/. "$work/$name/corpus/" 2>/dev/null || cp "$c" "$work/$name/corpus/"; done
    "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 "$work/$name/corpus" \
        > "$work/$name.log" 2>&1 || true
    local cov execs rate
    cov=$(grep -oE 'cov: [0-9]+' "$work/$name.log" | tail -1 | cut -d' ' -f2)
    execs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$work/$name.log" | grep -oE '[0-9]+$')
    rate=$(grep -oE 'stat::average_exec_per_sec: *[0-9]+' "$work/$name.log" | grep -oE '[0-9]+$')
    printf '%-32s edges %6s  executions %10s  (%s/s)\n' "$name" "${cov:-?}" "${execs:-?}" "${rate:-?}"
}
export -f run
export work seconds
echo "load before: $(uptime)"
tr '\t' '\037' < "$work/commands" | xargs -d '\n' -P "$parallel" -I{} bash -c 'IFS=$'"'"'\037'"'"' read -ra a <<< "{}"; run "${a[@]}"'
echo "load after: $(uptime)"
