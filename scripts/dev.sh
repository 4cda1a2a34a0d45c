#!/usr/bin/env bash
# One entry for every way of building this tree:
#   scripts/dev.sh sample     install, build, recover the built-in sample phone into a new folder under build/recovered
#   scripts/dev.sh test       install, build, run every test
#   scripts/dev.sh sanitize   build in build-asan with AddressSanitizer + UBSan and run every test (on
#                             copies of the test data of build/, made there first)
#   scripts/dev.sh fuzz       build with clang's libFuzzer (+ ASan/UBSan) in build-fuzz and run each fuzz
#                             target for a bounded time
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 4)

install_packages() {
    local wanted missing=()
    wanted=$(grep -v '^#' scripts/packages.txt | tr '\n' ' ')
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        if [ "$(id -u)" != 0 ]; then
            echo "missing packages: ${missing[*]} (run as root to install them)" >&2
            exit 1
        fi
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -q
        apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

build() {  # build DIR [cmake options...] [-- TARGET...]
    local dir=$1 options=() targets=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do options+=("$1"); shift; done
    [ $# -gt 0 ] && shift && targets=(--target "$@")
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${options[@]}"
    cmake --build "$dir" -j "$jobs" "${targets[@]}"
}

run_tests() {  # run_tests DIR
    (cd "$1" && ctest -j "$jobs" --output-on-failure --timeout 900)
}

case "${1:-}" in
    sample)
        install_packages
        build build
        build/bin/relikorda-recover --device build/testdata/sample_phone --out build/recovered
        ;;
    test)
        install_packages
        build build
        # The product's targets depend one way: no cycle among them.
        cmake --graphviz=build/targets/graph.dot build >/dev/null
        python3 cmake/check_target_graph.py build/targets/graph.dot
        run_tests build
        ;;
    sanitize)
        install_packages
        # The fixtures are data made by real tools, the same whatever the compiler flags: made (or
        # brought up to date) in build/, and copied from there.
        build build -- fixtures
        build build-asan -DRK_SANITIZE=ON -DRK_FIXTURES_FROM="$PWD/build"
        # intercept_tls_get_addr=0: this toolchain's LeakSanitizer guesses the bounds of a dynamic
        # thread-local block (one of a library loaded at run time) from the 16 bytes before it, as C
        # libraries before 2.25 laid them out. Ours mallocs those blocks, and when one lands 16 bytes past
        # a page the guess reads the sanitizer's own chunk header: the leak check at exit scans a wild
        # range and dies ("Tracer caught signal 11"), whatever the program does. Without the interception
        # the blocks are plain heap blocks reached through each thread's table of them: what they hold
        # stays reachable, and every real leak is still reported.
        ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1 \
            run_tests build-asan
        ;;
    fuzz)
        install_packages
        # Only the fuzz targets and their corpora (made in build/ and copied): the fuzz run runs
        # nothing else of this tree.
        build build -- fuzz_fixtures
        CC=clang CXX=clang++ build build-fuzz -DRK_FUZZ=ON -DRK_SANITIZE=ON -DRK_FUZZ_SECONDS="${RK_FUZZ_SECONDS:-20}" \
            -DRK_FIXTURES_FROM="$PWD/build" -- fuzz_targets
        (cd build-fuzz && ctest -L fuzz -j "$jobs" --output-on-failure)
        ;;
    *)
        echo "usage: scripts/dev.sh sample|test|sanitize|fuzz" >&2
        exit 2
        ;;
esac
