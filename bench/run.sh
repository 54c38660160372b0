#!/usr/bin/env bash
# The benchmark, in one command: bash bench/run.sh
#
# Builds tagsift (release preset), makes the 2 MB and 200 MB corpora under
# build/bench/, installs the comparison tools from Debian's packages when they
# are missing, then times everything side by side and prints a markdown table,
# which is also saved to build/bench/results.md.
#
# RUNS (default 7) and SLOW_RUNS (default 3, for pup, hxwls and xmllint on the
# large corpus) set how often each command runs; medians are reported. Run it
# on a quiet machine: the two cores are shared with anything else running.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/bench
mkdir -p "$out"

cmake --preset release >/dev/null
cmake --build --preset release --target tagsift >/dev/null

# The pattern bench is its own program, built only with TAGSIFT_BENCH.
if [ -f bench/pattern_bench.cpp ]; then
    cmake -S . -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
        -DTAGSIFT_BENCH=ON -DTAGSIFT_TESTS=OFF >/dev/null
    cmake --build "$out/build" --target pattern_bench >/dev/null
fi

for size in 2M 200M; do
    corpus="$out/corpus-$size.html"
    if [ ! -f "$corpus" ] || [ bench/make_corpus.py -nt "$corpus" ]; then
        python3 bench/make_corpus.py "$size" "$corpus"
    fi
done

# Package -> the program the table needs from it.
declare -A program=([pup]=pup [html-xml-utils]=hxwls [libxml2-utils]=xmllint [time]=/usr/bin/time)
missing=()
for pkg in "${!program[@]}"; do
    command -v "${program[$pkg]}" >/dev/null 2>&1 || missing+=("$pkg")
done
unavailable=()
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        apt-get update >/dev/null
        for pkg in "${missing[@]}"; do
            if apt-cache policy "$pkg" 2>/dev/null | grep -q 'Candidate: [^(]'; then
                DEBIAN_FRONTEND=noninteractive apt-get install -y "$pkg" >/dev/null || unavailable+=("$pkg")
            else
                unavailable+=("$pkg")
            fi
        done
    else
        unavailable=("${missing[@]}")
    fi
fi

UNAVAILABLE="${unavailable[*]:-}" python3 bench/measure.py \
    --tagsift build/release/tagsift \
    --pattern-bench "$out/build/pattern_bench" \
    --small "$out/corpus-2M.html" --large "$out/corpus-200M.html" \
    --runs "${RUNS:-7}" --slow-runs "${SLOW_RUNS:-3}" \
    --work "$out" | tee "$out/results.md"
