#!/usr/bin/env bash
# Runs a sample of the end-to-end cases with every run of tagsift under
# valgrind (memcheck, full leak check): a case fails when valgrind reports an
# error or a leak (exit status 99) or when the output or status differ.
#
#   fuzz/valgrind.sh [BINARY] [EVERY]
#
# BINARY defaults to build/release/tagsift, whose build directory holds the
# tests; every EVERY-th case runs (default 3; 1 runs them all), two at a time.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build/release/tagsift}
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
[ -x "$binary" ] || { echo "no binary at $binary" >&2; exit 1; }
# valgrind stops a program at 500 threads by default: a case with --jobs 1024 (and as many
# helpers for a .warc.gz) starts more.
export TAGSIFT_RUN_UNDER="$(command -v valgrind) -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=all --max-threads=3000 --suppressions=$PWD/fuzz/valgrind.supp"
exec ctest --test-dir "$(dirname "$binary")" -R '^E2E_' -I "1,99999,${2:-3}" -j2 --output-on-failure
