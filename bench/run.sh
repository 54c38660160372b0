#!/usr/bin/env bash
# The benchmark, in one command: bash bench/run.sh
#
# Builds tagsift (optimised, without the tests), the `program` preset's build
# and one build for each width of byte compares this processor has
# (TAGSIFT_SIMD), makes the 2 MB, 20 MB and 200 MB corpora and 2,000 pages
# (67 kB on average) under build/bench/, installs the comparison tools and
# valgrind from Debian's packages when they are missing, then times everything
# side by side, counts each job's instructions on the 20 MB corpus with
# callgrind, and prints markdown tables, which are also saved to
# build/bench/results.md.
#
# RUNS (default 7) and SLOW_RUNS (default 3, for pup, hxwls and xmllint on the
# large corpus) set how often each command runs; medians are reported. Run it
# on a quiet machine: the two cores are shared with anything else running.
set -euo pipefail
cd "$(dirname "$0")/.."
out=build/bench
mkdir -p "$out"

# The program and the pattern bench, which is its own program, built only with TAGSIFT_BENCH.
cmake -S . -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
    -DTAGSIFT_BENCH=ON -DTAGSIFT_TESTS=OFF >/dev/null
cmake --build "$out/build" -j2 --target tagsift $([ -f bench/pattern_bench.cpp ] && echo pattern_bench) >/dev/null

# The build a packager makes, whose instructions are counted.
cmake --preset program >/dev/null
cmake --build --preset program -j2 >/dev/null

# One build for each width of byte compares that this processor has, and one of plain code.
widths=()
for width in avx512:avx512bw avx2:avx2 sse2:sse2 neon:asimd scalar:; do
    name=${width%%:*} flag=${width#*:}
    if [ -n "$flag" ] && ! grep -qw "$flag" /proc/cpuinfo; then continue; fi
    [ "$name" = sse2 ] && [ "$(uname -m)" != x86_64 ] && continue
    cmake -S . -B "$out/width-$name" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
        -DTAGSIFT_TESTS=OFF -DTAGSIFT_SIMD="$name" >/dev/null
    cmake --build "$out/width-$name" -j2 --target tagsift >/dev/null
    widths+=(--width "$name=$out/width-$name/tagsift")
done

for size in 2M 20M 200M; do
    corpus="$out/corpus-$size.html"
    if [ ! -f "$corpus" ] || [ bench/make_corpus.py -nt "$corpus" ]; then
        python3 bench/make_corpus.py "$size" "$corpus"
    fi
done
if [ ! -f "$out/corpus-200M.warc.gz" ] || [ bench/make_warc.py -nt "$out/corpus-200M.warc.gz" ] ||
   [ "$out/corpus-200M.html" -nt "$out/corpus-200M.warc.gz" ]; then
    python3 bench/make_warc.py "$out/corpus-200M.html" "$out/corpus-200M.warc"
fi
if [ ! -f "$out/pages/page-1999.html" ] || [ bench/make_corpus.py -nt "$out/pages/page-1999.html" ]; then
    rm -rf "$out/pages"
    python3 bench/make_corpus.py --pages 2000 50K "$out/pages"
fi

# Package -> the program the table needs from it.
declare -A program=([pup]=pup [html-xml-utils]=hxwls [libxml2-utils]=xmllint [time]=/usr/bin/time [parallel]=parallel
                    [valgrind]=valgrind)
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
    --tagsift "$out/build/tagsift" "${widths[@]}" --pages "$out/pages" --warc "$out/corpus-200M.warc" \
    --pattern-bench "$out/build/pattern_bench" \
    --count build/program/tagsift --count-corpus "$out/corpus-20M.html" \
    --small "$out/corpus-2M.html" --large "$out/corpus-200M.html" \
    --runs "${RUNS:-7}" --slow-runs "${SLOW_RUNS:-3}" \
    --work "$out" | tee "$out/results.md"

# --jobs: one job and two over many pages and crawl files, and beside the build of BASELINE (a git
# revision, say the last one before --jobs: BASELINE=154ce7e bash bench/run.sh) when it is given.
baseline=()
if [ -n "${BASELINE:-}" ]; then
    rm -rf "$out/baseline-src" && mkdir -p "$out/baseline-src"
    git archive "$BASELINE" | tar -x -C "$out/baseline-src"
    cmake -S "$out/baseline-src" -B "$out/baseline" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=g++ \
        -DTAGSIFT_TESTS=OFF >/dev/null
    cmake --build "$out/baseline" -j2 --target tagsift >/dev/null
    baseline=(--baseline "$out/baseline/tagsift")
fi
python3 bench/measure_jobs.py --tagsift "$out/build/tagsift" "${baseline[@]}" --pages "$out/pages" \
    --warc "$out/corpus-200M.warc" --large "$out/corpus-200M.html" --runs "${RUNS:-7}" --work "$out" |
    tee -a "$out/results.md"
