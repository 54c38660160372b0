#!/usr/bin/env bash
# Dask: the README's script and command, as written, on a scheduler and two worker processes
# that this test starts on 127.0.0.1, over the test crawl files; the output, gathered in file
# order, is compared byte for byte with one local run of the build's binary, and its errors
# with the errors of that run.
#   dask_warc.sh README TARBALL TAGSIFT FILES_DIR
set -uo pipefail
. "$(dirname "$0")/common.sh"
readme=$(realpath "$1") tarball=$(realpath "$2") tagsift=$(realpath "$3") files=$(realpath "$4")

# The Python that has Dask's distributed (Debian's python3-distributed is for the system's
# python3, which another python3 first on PATH may hide).
py=
for candidate in python3 /usr/bin/python3; do
    "$candidate" -c 'import distributed' 2>/dev/null && { py=$(command -v "$candidate"); break; }
done
[ -n "$py" ] || skip "Dask is not installed (Debian: python3-distributed)"
mkdir -p "$scratch/bin" && ln -s "$py" "$scratch/bin/python3" && export PATH=$scratch/bin:$PATH

s=$scratch
start "$py" -m distributed.cli.dask_scheduler --host 127.0.0.1 --port 0 --no-dashboard \
    --scheduler-file "$s/scheduler.json" 2>>"$s/dask.log"
for _ in $(seq 300); do [ -s "$s/scheduler.json" ] && break; sleep 0.2; done
[ -s "$s/scheduler.json" ] || { cat "$s/dask.log"; fail "the scheduler did not start"; }
for w in 1 2; do
    mkdir -p "$s/worker$w"
    start "$py" -m distributed.cli.dask_worker --scheduler-file "$s/scheduler.json" --host 127.0.0.1 \
        --nthreads 1 --no-nanny --no-dashboard --local-directory "$s/worker$w" 2>>"$s/dask.log"
done
DASK_SCHEDULER_ADDRESS=$("$py" -c 'import json, sys; print(json.load(open(sys.argv[1]))["address"])' "$s/scheduler.json")
export DASK_SCHEDULER_ADDRESS
timeout 300 "$py" -c 'from dask.distributed import Client; Client().wait_for_workers(2, timeout=240)' ||
    { cat "$s/dask.log"; fail "two workers did not join the scheduler"; }

mkdir -p "$s/shared/crawl" && cd "$s/shared" || exit 1
cp "$files"/warc/*.warc.gz crawl/ && cp "$tarball" . || exit 1
recipe dask-script >warc_links.py
run_recipe dask-run 2>"$s/dask.err"
echo "status $?" >>links.tsv
"$tagsift" --warc -tag a -out '$_url$\t$href$\n' -- crawl/*.warc.gz >"$s/expected.out" 2>"$s/expected.err"
echo "status $?" >>"$s/expected.out"
ok=0
same "output and status" "$s/expected.out" links.tsv || ok=1
# Every error of the one run must come, in order (notes and banners come once a task).
grep '^! Error' "$s/expected.err" >"$s/expected.messages"
grep '^! Error' "$s/dask.err" >"$s/dask.messages"
same "errors" "$s/expected.messages" "$s/dask.messages" || ok=1
for w in 1 2; do
    [ -n "$(find "$s/worker$w" -path '*/bin/tagsift' -type f)" ] || { echo "FAIL worker $w has no program"; ok=1; }
done
[ $ok -eq 0 ] && echo "1 passed, 0 failed" || echo "0 passed, 1 failed"
exit $ok
