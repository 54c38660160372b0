#!/usr/bin/env python3
"""Times --jobs: runs over many documents with one job and with two, beside the build of
another revision (the baseline) where one is given, and prints markdown.

Called by bench/run.sh. Every form runs once a round, round after round, so that a machine
whose speed drifts slows all of them alike; medians are reported, with the peak RSS that
/usr/bin/time gives. The last table is the memory of a run whose one huge page prints its
body whole between small pages, with four jobs.
"""

import argparse
import collections
import os
import statistics
import subprocess
import sys
import tempfile
import time

LINKS = ["-tag", "a", "-out", "$href$\\n"]
IMAGES = ["-tag", "img", "-if", "!alt", "-or", "src=\\.png$", "-out", "$_line$:$src$\\n"]
CELLS = ["-tag", "td", "-out", "%t$_body$\\n"]


def run_once(argv, stdin_path):
    with tempfile.NamedTemporaryFile("r", suffix=".rss") as rss, open(stdin_path, "rb") as stdin:
        start = time.perf_counter()
        subprocess.call(["/usr/bin/time", "-f", "%M", "-o", rss.name] + argv, stdin=stdin,
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        lines = [line for line in rss.read().split() if line.isdigit()]
    return elapsed, int(lines[-1]) if lines else None


def rounds(forms, runs):
    """forms: [(key, argv, stdin)]; returns {key: (median s, peak KiB)}."""
    times, peaks = collections.defaultdict(list), collections.defaultdict(list)
    for key, argv, stdin in forms:
        run_once(argv, stdin)  # a warm-up
    for _ in range(runs):
        for key, argv, stdin in forms:
            t, kib = run_once(argv, stdin)
            times[key].append(t)
            if kib:
                peaks[key].append(kib)
    return {key: (statistics.median(times[key]), max(peaks[key]) if peaks[key] else None) for key, _, _ in forms}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tagsift", required=True)
    ap.add_argument("--baseline", help="the build of another revision, for the time of --jobs 1 beside it")
    ap.add_argument("--pages", required=True)
    ap.add_argument("--warc", required=True, help="a WARC file, with FILE.gz beside it")
    ap.add_argument("--large", required=True, help="the large corpus, for the jobs on one stream")
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--work", required=True)
    a = ap.parse_args()
    new = os.path.abspath(a.tagsift)
    old = os.path.abspath(a.baseline) if a.baseline and os.access(a.baseline, os.X_OK) else None
    pages = sorted(os.path.join(os.path.abspath(a.pages), f) for f in os.listdir(a.pages))
    inputs = [("many pages", [], pages), ("plain WARC", ["--warc"], [a.warc]), ("`.warc.gz`", ["--warc"], [a.warc + ".gz"])]
    for path in pages + [a.warc, a.warc + ".gz", a.large]:
        subprocess.call(["cat", path], stdout=subprocess.DEVNULL)  # into the page cache

    forms = []
    for name, switches, files in inputs:
        for jobs in ("1", "2"):
            forms.append(((name, "--jobs " + jobs), [new, "--jobs", jobs] + switches + LINKS + ["--"] + files, os.devnull))
        if old:
            forms.append(((name, "baseline"), [old] + switches + LINKS + ["--"] + files, os.devnull))
    # Documents that --doc-if skips are read (and decompressed) but not scanned.
    for name, _, files in inputs[1:]:
        forms.append(((name, "skipped"), [new, "--jobs", "1", "--warc", "--doc-if", "status==999"] + LINKS + ["--"] + files,
                      os.devnull))
    streams = [("links", LINKS), ("pattern", IMAGES), ("body", CELLS)]
    if old:
        for name, rules in streams:
            forms.append(((name, "new"), [new] + rules, a.large))
            forms.append(((name, "baseline"), [old] + rules, a.large))
    result = rounds(forms, a.runs)
    print("jobs done", file=sys.stderr)

    p = print
    p("\n### Every core: `--jobs`\n")
    p("The links job `-tag a -out '$href$\\n'` over %d pages (`-- pages/*`), over the 200 MB corpus's pages as a "
      "plain WARC and as a `.warc.gz`, medians of %d runs taken round by round%s:\n"
      % (len(pages), a.runs, ", beside the baseline build" if old else ""))
    p("| input | `--jobs 1` s | `--jobs 2` s | × faster with two | peak RSS MiB, 1 / 2 jobs |%s" %
      (" baseline s | `--jobs 1` ÷ baseline |" if old else ""))
    p("|---|---:|---:|---:|---:|%s" % ("---:|---:|" if old else ""))
    speedups = {}
    for name, _, _ in inputs:
        one, two = result[(name, "--jobs 1")], result[(name, "--jobs 2")]
        speedups[name] = one[0] / two[0]
        row = "| %s | %.3f | %.3f | %.2f | %.1f / %.1f |" % (name, one[0], two[0], speedups[name], one[1] / 1024,
                                                             two[1] / 1024)
        if old:
            base = result[(name, "baseline")][0]
            row += " %.3f | %.3f |" % (base, one[0] / base)
        p(row)
    p("\nEvery document skipped by `--doc-if 'status==999'`, with `--jobs 1`, beside the links job on the same file:\n")
    p("| input | skipped s | links job s | skipped ÷ links |")
    p("|---|---:|---:|---:|")
    skips = {}
    for name, _, _ in inputs[1:]:
        t, links = result[(name, "skipped")][0], result[(name, "--jobs 1")][0]
        skips[name] = t / links
        p("| %s | %.3f | %.3f | %.2f |" % (name, t, links, skips[name]))
    if old:
        p("\nOne stream on standard input (the 200 MB corpus), this build beside the baseline:\n")
        p("| job | s | baseline s | ÷ baseline |")
        p("|---|---:|---:|---:|")
        for name, _ in streams:
            t, b = result[(name, "new")][0], result[(name, "baseline")][0]
            p("| %s | %.3f | %.3f | %.3f |" % (name, t, b, t / b))

    # Memory with a huge body printed whole between small pages.
    huge = os.path.join(a.work, "huge-body.html")
    if not os.path.exists(huge) or os.path.getsize(huge) < 300_000_000:
        with open(huge, "w") as f:
            f.write("<td>")
            piece = "some text of a cell and more <b>bold</b> " * 1000
            while f.tell() < 300_000_000:
                f.write(piece)
            f.write("</td>")
    small = []
    for k in range(8):
        path = os.path.join(a.work, "small-%d.html" % k)
        with open(path, "w") as f:
            f.write("<td>small %d</td>" % k)
        small.append(path)
    files = small[:3] + [huge] + small[3:6] + [huge] + small[6:]
    t, kib = run_once([new, "--jobs", "4", "-tag", "td", "-out", "$_body$\\n", "--"] + files, os.devnull)
    p("\nA 300 MB page whose `$_body$` is printed whole, twice, between eight small pages, with `--jobs 4`: "
      "%.2f s, peak RSS %.1f MiB (at most 4 + 4 × 4 = 20 MiB asked).\n" % (t, kib / 1024))

    p("| target | measured | held |")
    p("|---|---|---|")
    for name, goal in (("many pages", 1.7), ("plain WARC", 1.7), ("`.warc.gz`", 1.3)):
        p("| %s: `--jobs 2` ≥ %.1f × as fast as `--jobs 1` | %.2f × | %s |"
          % (name, goal, speedups[name], "yes" if speedups[name] >= goal else "no"))
    if old:
        worst = max([result[(n, "--jobs 1")][0] / result[(n, "baseline")][0] for n, _, _ in inputs] +
                    [result[(n, "new")][0] / result[(n, "baseline")][0] for n, _ in streams])
        p("| every job within 3 %% of the baseline's time (`--jobs 1` over many) | slowest %.3f × | %s |"
          % (worst, "yes" if worst <= 1.03 else "no"))
    for name, ratio in skips.items():
        p("| %s: skipping every document costs at most half of scanning | %.2f × | %s |"
          % (name, ratio, "yes" if ratio <= 0.5 else "no"))
    p("| huge body between small pages, `--jobs 4`: peak RSS ≤ 20 MiB | %.1f MiB | %s |"
      % (kib / 1024, "yes" if kib <= 20 * 1024 else "no"))


if __name__ == "__main__":
    main()
