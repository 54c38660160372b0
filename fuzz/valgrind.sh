#!/usr/bin/env bash
# Runs a sample of the end-to-end cases under valgrind (memcheck, full leak
# check) and compares each run with the case's expected output and status.
#
#   fuzz/valgrind.sh [BINARY] [EVERY]
#
# BINARY defaults to build/release/tagsift; every EVERY-th case of
# tests/e2e/cases/*.cases is run (default 3; 1 runs them all), two at a time.
# A case fails when valgrind reports any error or leak, or when the output
# or the status differ from the table. Exits 1 if any case failed.
set -euo pipefail
cd "$(dirname "$0")/.."
binary=${1:-build/release/tagsift}
every=${2:-3}
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
[ -x "$binary" ] || { echo "no binary at $binary" >&2; exit 1; }

exec python3 - "$binary" "$every" <<'EOF'
import concurrent.futures
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, "fuzz")
import make_corpus

binary, every = os.path.abspath(sys.argv[1]), int(sys.argv[2])
files = os.path.join("tests", "e2e", "files")
cases = make_corpus.load_cases()[::every]
logs = tempfile.mkdtemp(prefix="tagsift-valgrind-")


def run(numbered):
    n, case = numbered
    log = os.path.join(logs, f"{n}.log")
    # Error exit code 99, not 1: status 1 is also what many cases expect of tagsift.
    argv = ["valgrind", "--error-exitcode=99", "--leak-check=full", "--errors-for-leak-kinds=all",
            f"--log-file={log}", binary] + [a.encode("latin-1") for a in case["args"]]
    r = subprocess.run(argv, input=case["stdin"], capture_output=True, cwd=files, timeout=600)
    with open(log, errors="replace") as f:
        report = f.read()
    problems = []
    if r.returncode == 99 or "ERROR SUMMARY: 0 errors" not in report:
        problems.append("valgrind:\n" + report)
    if r.returncode != case["status"] and r.returncode != 99:
        problems.append(f"status {r.returncode}, expected {case['status']}")
    if r.stdout != case["stdout"] or r.stderr != case["stderr"]:
        problems.append(f"output differs: {r.stdout[:200]!r} / {r.stderr[:200]!r}")
    return case["name"], problems


with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
    results = list(pool.map(run, enumerate(cases)))
failed = [(name, p) for name, p in results if p]
for name, problems in failed:
    print(f"FAILED {name}")
    for p in problems:
        print("   ", p.replace("\n", "\n    "))
print(f"valgrind: {len(results) - len(failed)} passed, {len(failed)} failed")
sys.exit(1 if failed else 0)
EOF
