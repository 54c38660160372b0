#!/usr/bin/env python3
"""Times tagsift against the floor (wc, cat), grep and the HTML tools, prints markdown.

Called by bench/run.sh, which builds and installs everything first. Every
command reads the corpus on standard input and writes to /dev/null (grep to a
file: GNU grep stops at the first match when its output is /dev/null); its
first run is a warm-up whose output is kept for the link counts. Wall time is
taken around each run; peak resident memory is what /usr/bin/time reports for
it.
"""

import argparse
import collections
import html
import os
import platform
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

LINKS = ["-tag", "a", "-out", "$href$\\n"]
IMAGES = ["-tag", "img", "-if", "!alt", "-or", "src=\\.png$", "-out", "$_line$:$src$\\n"]
CELLS = ["-tag", "td", "-out", "%t$_body$\\n"]
PASS = ["-n"]
# The jobs whose instructions are counted, and their keys in the tables.
COUNTED = [("pass", PASS), ("links", LINKS), ("img", IMAGES), ("td", CELLS)]


def commands(tagsift):
    # (key, label, argv, slow, argv of the warm-up run when it differs); the warm-up's output is kept.
    return [
        ("wc", "`wc -l`", ["wc", "-l"], False, None),
        ("cat", "`cat > /dev/null`", ["cat"], False, None),
        ("grep", "`grep -o 'href=\"[^\"]*\"'`", ["grep", "-o", 'href="[^"]*"'], False, None),
        ("pup", "`pup 'a attr{href}'`", ["pup", "a attr{href}"], True, None),
        ("hxwls", "`hxwls`", ["hxwls"], True, ["hxwls", "-l", "-r"]),
        ("xmllint", "`xmllint --html --xpath '//a/@href'`",
         ["xmllint", "--html", "--xpath", "//a/@href", "-"], True, None),
        ("pass", "tagsift passing over every tag `-n`", [tagsift] + PASS, False, None),
        ("links", "tagsift links `-tag a -out '$href$\\n'`", [tagsift] + LINKS, False, None),
        ("img", "tagsift pattern `-tag img -if '!alt' -or 'src=\\.png$' -out '$_line$:$src$\\n'`",
         [tagsift] + IMAGES, False, None),
        ("td", "tagsift body `-tag td -out '%t$_body$\\n'`", [tagsift] + CELLS, False, None),
    ]


def run_once(argv, corpus, stdout_path, time_binary):
    with tempfile.NamedTemporaryFile("r", suffix=".rss") as rss, open(corpus, "rb") as stdin:
        out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
        full = [time_binary, "-f", "%M", "-o", rss.name] + argv if time_binary else argv
        start = time.perf_counter()
        status = subprocess.call(full, stdin=stdin, stdout=out, stderr=subprocess.DEVNULL)
        elapsed = time.perf_counter() - start
        if stdout_path:
            out.close()
        kib = None
        if time_binary:
            lines = [line for line in rss.read().split() if line.isdigit()]
            kib = int(lines[-1]) if lines else None
    return elapsed, kib, status


# Commands whose timed runs must write to a real file.
TO_FILE = {"grep"}


def measure(argv, corpus, runs, keep, warm_argv, time_binary, timed_out=None):
    run_once(warm_argv or argv, corpus, keep, time_binary)
    times, peaks = [], []
    for _ in range(runs):
        elapsed, kib, _ = run_once(argv, corpus, timed_out, time_binary)
        times.append(elapsed)
        if kib is not None:
            peaks.append(kib)
    return statistics.median(times), (max(peaks) if peaks else None)


def read_lines(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", "replace").splitlines()


def link_counts(work, tag):
    """Each tool's links of <a> elements, as lists of values."""
    def kept(key):
        path = os.path.join(work, "%s-%s.out" % (tag, key))
        return read_lines(path) if os.path.exists(path) else None

    values = {}
    tagsift = kept("links") or []
    values["tagsift, all lines"] = tagsift
    # An <a> without href prints "<undefined>"; the other tools print nothing for it.
    values["tagsift"] = [v for v in tagsift if v != "<undefined>"]
    if kept("pup") is not None:
        values["pup"] = kept("pup")
    if kept("hxwls") is not None:  # hxwls -l -r: element, rel, URL; <a> rows only
        values["hxwls"] = [r.split("\t")[-1] for r in kept("hxwls") if r.split("\t")[0].lower() == "a"]
    if kept("xmllint") is not None:
        values["xmllint"] = [l.strip()[len('href="'):-1] for l in kept("xmllint") if l.strip().startswith('href="')]
    return values


def count_instructions(binary, corpus, work):
    """Instructions of each counted job on the corpus, by callgrind (every thread): {key: count}."""
    counts = {}
    out = os.path.join(work, "callgrind.out")
    for key, args in COUNTED:
        with open(corpus, "rb") as stdin:
            subprocess.run(["valgrind", "--tool=callgrind", "--callgrind-out-file=" + out, binary] + args,
                           stdin=stdin, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        with open(out) as f:
            for line in f:
                if line.startswith(("summary:", "totals:")):
                    counts[key] = int(line.split()[1])
                    break
        os.remove(out)
    print("instructions counted", file=sys.stderr)
    return counts


def machine():
    model = ""
    try:
        for line in subprocess.run(["lscpu"], capture_output=True, text=True).stdout.splitlines():
            if line.startswith("Model name"):
                model = line.split(":", 1)[1].strip()
    except OSError:
        pass
    memory = ""
    try:
        with open("/proc/meminfo") as f:
            kib = int(f.readline().split()[1])
            memory = "%.1f GiB" % (kib / 2**20)
    except OSError:
        pass
    widths = "unknown"
    try:
        with open("/proc/cpuinfo") as f:
            flags = f.read()
        widths = ", ".join(n for n, flag in (("AVX-512 BW", " avx512bw"), ("AVX2", " avx2"), ("SSE2", " sse2"),
                                             ("NEON", " asimd")) if flag in flags) or "none"
    except OSError:
        pass
    return "%s, %d cores (nproc), %s memory, byte compares: %s, %s %s" % (
        model or platform.processor(), os.cpu_count() or 0, memory, widths, platform.system(), platform.release())


def fmt_time(t):
    return "%.3f" % t if t is not None else "–"


def fmt_rate(size, t):
    return "%.0f" % (size / t / 1e6) if t else "–"


def fmt_rss(kib):
    return "%.1f" % (kib / 1024) if kib is not None else "–"


def measure_widths(args, results, time_binary):
    """The links job on the large corpus with each one-width build, round by round beside the
    default build and wc -l; prints a table and returns [(width, median seconds)]."""
    builds = [w.split("=", 1) for w in args.width]
    builds = [(name, os.path.abspath(path)) for name, path in builds if os.access(path, os.X_OK)]
    if not builds:
        return []
    rows = [("`wc -l`", ["wc", "-l"])]
    rows.append(("tagsift, the default (best width of this machine)", [os.path.abspath(args.tagsift)] + LINKS))
    rows += [("tagsift built with `TAGSIFT_SIMD=%s`" % name, [path] + LINKS) for name, path in builds]
    times = collections.defaultdict(list)
    for argv in (r[1] for r in rows):
        run_once(argv, args.large, None, time_binary)
    for _ in range(args.runs):
        for label, argv in rows:
            times[label].append(run_once(argv, args.large, None, time_binary)[0])
    print("widths done", file=sys.stderr)
    med = {label: statistics.median(times[label]) for label, _ in rows}
    best = min(med[label] for label, _ in rows[1:])
    size = os.path.getsize(args.large)
    print("\n### Classifier widths\n")
    print("The links job `-tag a -out '$href$\\n'` on the 200 MB corpus, each width in a build of its own "
          "(`-DTAGSIFT_SIMD=...`), medians of %d runs taken round by round:\n" % args.runs)
    print("| build | s | MB/s | × the fastest build | × `wc -l` |")
    print("|---|---:|---:|---:|---:|")
    for label, _ in rows:
        t = med[label]
        print("| %s | %.3f | %s | %s | %.1f |" % (label, t, fmt_rate(size, t),
                                                 "%.2f" % (t / best) if label != rows[0][0] else "–",
                                                 t / med[rows[0][0]]))
    return [(name, med["tagsift built with `TAGSIFT_SIMD=%s`" % name]) for name, _ in builds]


def measure_pages(args):
    """The links job over a directory of documents in four ways; prints a table and returns
    {key: (median seconds, output identical to the single stream)}."""
    pages = sorted(os.path.join(os.path.abspath(args.pages), f) for f in os.listdir(args.pages))
    tagsift = os.path.abspath(args.tagsift)
    rules = " ".join(shlex.quote(w) for w in [tagsift] + LINKS)
    forms = [
        ("loop", "a process a page: `for f in pages/*; do tagsift RULES < $f; done`",
         ["sh", "-c", 'for f in "$@"; do %s < "$f"; done' % rules, "sh"] + pages),
        ("cat", "one stream: `cat pages/* | tagsift RULES`",
         ["sh", "-c", 'cat "$@" | %s' % rules, "sh"] + pages),
        ("named", "`tagsift RULES -- pages/*`", [tagsift] + LINKS + ["--"] + pages),
    ]
    if shutil.which("parallel"):
        forms.append(("parallel", "`parallel -q -X -k -j2 tagsift RULES -- ::: pages/*`",
                      ["parallel", "-q", "-X", "-k", "-j2", tagsift] + LINKS + ["--", ":::"] + pages))
    outputs = {}
    for key, _, argv in forms:
        with open(os.devnull, "rb") as nothing:
            outputs[key] = subprocess.run(argv, stdin=nothing, capture_output=True).stdout
    times = collections.defaultdict(list)
    for _ in range(args.slow_runs):
        for key, _, argv in forms:
            with open(os.devnull, "rb") as nothing:
                start = time.perf_counter()
                subprocess.call(argv, stdin=nothing, stdout=subprocess.DEVNULL)
                times[key].append(time.perf_counter() - start)
    print("many pages done", file=sys.stderr)
    total = sum(os.path.getsize(f) for f in pages)
    result = {key: (statistics.median(times[key]), outputs[key] == outputs["cat"]) for key, _, _ in forms}
    print("\n### Many pages\n")
    print("The links job over %d documents of %d bytes in all (`bench/make_corpus.py --pages`), medians of %d "
          "runs taken round by round:\n" % (len(pages), total, args.slow_runs))
    print("| form | s | × `--` | same output as one stream |")
    print("|---|---:|---:|---|")
    for key, label, _ in forms:
        t, same = result[key]
        print("| %s | %.3f | %.2f | %s |" % (label, t, t / result["named"][0], "yes" if same else "no"))
    return result


def measure_warc(args, time_binary):
    """The links job over the 200 MB corpus's pages as one stream, as a plain WARC and as a .warc.gz,
    beside zcat of the .warc.gz; prints a table and returns {key: (median seconds, peak KiB)}."""
    tagsift = os.path.abspath(args.tagsift)
    forms = [
        ("stream", "the pages as one stream: `tagsift RULES < corpus`", [tagsift] + LINKS, args.large),
        ("plain", "`tagsift --warc RULES -- corpus.warc`", [tagsift, "--warc"] + LINKS + ["--", args.warc], None),
        ("gzip", "`tagsift --warc RULES -- corpus.warc.gz`", [tagsift, "--warc"] + LINKS + ["--", args.warc + ".gz"],
         None),
        ("zcat", "`zcat corpus.warc.gz > /dev/null`", ["zcat", args.warc + ".gz"], None),
    ]
    for path in (args.warc, args.warc + ".gz"):
        subprocess.call(["cat", path], stdout=subprocess.DEVNULL)  # into the page cache
    times, peaks = collections.defaultdict(list), collections.defaultdict(list)
    for round_ in range(args.runs + 1):
        for key, _, argv, stdin in forms:
            elapsed, kib, _ = run_once(argv, stdin or os.devnull, None, time_binary)
            if round_ == 0:
                continue  # a warm-up
            times[key].append(elapsed)
            if kib is not None:
                peaks[key].append(kib)
    print("crawl files done", file=sys.stderr)
    result = {key: (statistics.median(times[key]), max(peaks[key]) if peaks[key] else None) for key, _, _, _ in forms}
    print("\n### Crawl files\n")
    print("The links job over the 200 MB corpus's pages (`bench/make_warc.py`: %d bytes as a WARC of response "
          "records, %d bytes compressed record by record), medians of %d runs taken round by round:\n"
          % (os.path.getsize(args.warc), os.path.getsize(args.warc + ".gz"), args.runs))
    print("| form | s | MB/s of pages | peak RSS MiB |")
    print("|---|---:|---:|---:|")
    for key, label, _, _ in forms:
        t, kib = result[key]
        print("| %s | %.3f | %s | %s |" % (label, t, fmt_rate(os.path.getsize(args.large), t), fmt_rss(kib)))
    return result


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tagsift", required=True)
    ap.add_argument("--pattern-bench")
    ap.add_argument("--small", required=True)
    ap.add_argument("--large", required=True)
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--slow-runs", type=int, default=3)
    ap.add_argument("--work", required=True)
    ap.add_argument("--width", action="append", default=[], metavar="NAME=BINARY",
                    help="a build with one classifier width (TAGSIFT_SIMD=NAME), timed on the links job")
    ap.add_argument("--pages", help="a directory of many small documents, for the many-pages runs")
    ap.add_argument("--warc", help="the large corpus as a WARC file (and FILE.gz beside it), for the crawl runs")
    ap.add_argument("--count", metavar="BINARY", help="the build whose instructions callgrind counts")
    ap.add_argument("--count-corpus", help="the corpus they are counted on")
    args = ap.parse_args()

    time_binary = "/usr/bin/time" if os.access("/usr/bin/time", os.X_OK) else None
    unavailable = set(os.environ.get("UNAVAILABLE", "").split())
    cmds = commands(os.path.abspath(args.tagsift))
    corpora = [("2 MB", args.small, "small"), ("200 MB", args.large, "large")]
    for _, path, _ in corpora:
        subprocess.call(["cat", path], stdout=subprocess.DEVNULL)  # into the page cache

    # Runs go round by round, every command once a round, so that a machine whose speed drifts
    # (a shared virtual one) slows all of them alike.
    results = {}  # (corpus tag, key) -> (median, peak KiB) or None
    for _, path, tag in corpora:
        present = [c for c in cmds if shutil.which(c[2][0])]
        for key, _, _, _, _ in cmds:
            results[(tag, key)] = None
        times = collections.defaultdict(list)
        peaks = collections.defaultdict(list)
        for key, _, argv, _, warm in present:
            run_once(warm or argv, path, os.path.join(args.work, "%s-%s.out" % (tag, key)), time_binary)
        for round_ in range(max(args.runs, args.slow_runs)):
            for key, _, argv, slow, _ in present:
                if round_ >= (args.slow_runs if slow and tag == "large" else args.runs):
                    continue
                timed_out = os.path.join(args.work, "%s-%s.timed" % (tag, key)) if key in TO_FILE else None
                elapsed, kib, _ = run_once(argv, path, timed_out, time_binary)
                times[key].append(elapsed)
                if kib is not None:
                    peaks[key].append(kib)
            print("round %d on %s done" % (round_ + 1, tag), file=sys.stderr)
        for key, _, _, _, _ in present:
            results[(tag, key)] = (statistics.median(times[key]), max(peaks[key]) if peaks[key] else None)

    counts = {}
    if args.count and args.count_corpus and shutil.which("valgrind"):
        counts = count_instructions(os.path.abspath(args.count), args.count_corpus, args.work)

    sizes = {tag: os.path.getsize(path) for _, path, tag in corpora}
    wc = {tag: results[(tag, "wc")][0] if results[(tag, "wc")] else None for _, _, tag in corpora}
    p = print
    p("## Benchmark results\n")
    p("Machine: %s.  " % machine())
    p("Corpora: %d and %d bytes (bench/make_corpus.py). Medians of %d runs (%d for pup, hxwls and xmllint on "
      "the large corpus), taken round by round, every command once a round, from the page cache, output to /dev/null (grep's to a file); peak RSS from "
      "/usr/bin/time.\n"
      % (sizes["small"], sizes["large"], args.runs, args.slow_runs))
    p("| command | 2 MB: s | MB/s | peak RSS MiB | 200 MB: s | MB/s | × `wc -l` | peak RSS MiB |")
    p("|---|---:|---:|---:|---:|---:|---:|---:|")
    packages = {"pup": "pup", "hxwls": "html-xml-utils", "xmllint": "libxml2-utils"}
    for key, label, argv, _, _ in cmds:
        cells = [label]
        if results[("small", key)] is None:
            missing = "not in this Debian" if packages.get(key) in unavailable else "not installed"
            p("| %s | %s | | | | | | |" % (label, missing))
            continue
        for tag in ("small", "large"):
            t, kib = results[(tag, key)]
            cells += [fmt_time(t), fmt_rate(sizes[tag], t)]
            if tag == "large":
                cells.append("%.1f" % (t / wc[tag]) if wc[tag] else "–")
            cells.append(fmt_rss(kib))
        p("| " + " | ".join(cells) + " |")

    labels = {key: label for key, label, _, _, _ in cmds}
    if counts:
        counted = os.path.getsize(args.count_corpus)
        p("\n### Instructions a byte\n")
        p("Each job on the %d-byte corpus (`bench/make_corpus.py 20M`) on standard input, counted by callgrind "
          "(`valgrind --tool=callgrind`, every thread) with the `program` preset's build; callgrind knows no "
          "AVX-512, so the AVX2 classifier is the one counted. Exact and repeatable, whatever else the machine "
          "runs; the times are those of the table above.\n" % counted)
        p("| job | instructions | a byte | × the links job | 200 MB: s | MB/s |")
        p("|---|---:|---:|---:|---:|---:|")
        for key, _ in COUNTED:
            if key not in counts:
                continue
            t = results.get(("large", key))
            p("| %s | %d | %.2f | %s | %s | %s |" % (
                labels[key], counts[key], counts[key] / counted,
                "%.2f" % (counts[key] / counts["links"]) if "links" in counts else "–",
                fmt_time(t[0]) if t else "–", fmt_rate(sizes["large"], t[0]) if t else "–"))
    elif args.count:
        p("\nInstructions were not counted: valgrind is not installed.")

    # Hostile patterns: the pattern bench, and the same pattern through tagsift on a page of long values.
    pattern_line = None
    pattern_ran = False
    if args.pattern_bench and os.access(args.pattern_bench, os.X_OK):
        done = subprocess.run([args.pattern_bench], capture_output=True, text=True)
        pattern_ran = True
        out = done.stdout.strip().splitlines()
        p("\n### Pattern matching on long values\n")
        p("bench/pattern_bench.cpp, matching in process (status %d):\n" % done.returncode)
        p("\n".join(l for l in out if not l.startswith("pattern-bench:")).strip())
        m = re.search(r"1000 chars: ([0-9.]+) us per match; 1000/500 ratio ([0-9.]+)", done.stdout)
        if m and done.returncode == 0:
            pattern_line = (float(m.group(1)), float(m.group(2)))
    else:
        p("\nPattern bench: %s was not built, so it did not run." % args.pattern_bench)
    hostile = os.path.join(args.work, "hostile-values.html")
    if not os.path.exists(hostile):
        with open(hostile, "w") as f:
            for k in range(10000):
                f.write('<a title="%s" href="/%d">\n' % ("a" * 1000, k))
    pattern = "a" + ".*a" * 10 + "b"
    argv = [os.path.abspath(args.tagsift), "-tag", "a", "-if", "title=" + pattern, "-out", "$href$\\n"]
    t, kib = measure(argv, hostile, 3, os.path.join(args.work, "hostile.out"), None, time_binary)
    p("\nThrough tagsift: `-tag a -if 'title=%s' -out '$href$\\n'` on 10,000 tags whose title is 1000 × `a` "
      "(%d bytes): %.3f s, %.1f µs a tag, peak RSS %s MiB.\n" % (pattern, os.path.getsize(hostile), t, t / 10000 * 1e6,
                                                                fmt_rss(kib)))

    widths = measure_widths(args, results, time_binary)
    pages = measure_pages(args) if args.pages else None
    warc = measure_warc(args, time_binary) if args.warc else None

    # Targets.
    p("\n### Targets\n")
    p("| target | measured | held |")
    p("|---|---|---|")
    jobs = ("pass", "links", "img", "td")
    links = results[("large", "links")]
    if links:
        rate = sizes["large"] / links[0] / 1e9
        p("| links job ≥ 1 GB/s on 200 MB | %.2f GB/s | %s |" % (rate, "yes" if rate >= 1 else "no"))
        if wc["large"]:
            ratio = links[0] / wc["large"]
            p("| links job ≤ 2 × `wc -l` (200 MB) | %.1f × | %s |" % (ratio, "yes" if ratio <= 2 else "no"))
        body = results[("large", "td")]
        if body:
            ratio = body[0] / links[0]
            p("| body job ≤ 1.5 × the links job in time (200 MB) | %.2f × | %s |" % (ratio, "yes" if ratio <= 1.5 else "no"))
    if counts:
        counted = os.path.getsize(args.count_corpus)
        for key, most in (("pass", 2.7), ("links", 5.9)):
            if key in counts:
                a_byte = counts[key] / counted
                p("| %s ≤ %.1f instructions a byte (20 MB) | %.2f | %s |"
                  % (labels[key].split("`")[0].strip(), most, a_byte, "yes" if a_byte <= most else "no"))
        if "td" in counts and "links" in counts:
            ratio = counts["td"] / counts["links"]
            p("| body job ≤ 1.2 × the links job in instructions (20 MB) | %.2f × | %s |"
              % (ratio, "yes" if ratio <= 1.2 else "no"))
    for tool in ("hxwls", "pup", "xmllint"):
        for tag, name in (("small", "2 MB"), ("large", "200 MB")):
            r = results[(tag, tool)]
            if not r:
                continue
            worst = min(r[0] / results[(tag, j)][0] for j in jobs)
            p("| every tagsift job ≥ 10 × faster than %s (%s) | slowest job %.1f × faster | %s |"
              % (tool, name, worst, "yes" if worst >= 10 else "no"))
    target = "pattern with ten '.*' on 1000-character values: polynomial"
    if pattern_line:
        us, ratio = pattern_line
        p("| %s | %.1f µs a match; twice the length, %.2f × the time | %s |"
          % (target, us, ratio, "yes" if ratio <= 8 else "no"))
    elif pattern_ran:
        # A bench that crashed or printed no figure has not shown the bound.
        p("| %s | no figure from the pattern bench | no |" % target)
    for j in jobs:
        small, large = results[("small", j)], results[("large", j)]
        if small[1] is None or large[1] is None:
            continue
        held = large[1] < 4096 and large[1] - small[1] <= 1024
        p("| %s: peak RSS < 4 MiB, 200 MB ≤ 2 MB + 1 MiB | %s and %s MiB | %s |"
          % (labels[j].split("`")[0].strip(), fmt_rss(small[1]), fmt_rss(large[1]), "yes" if held else "no"))
    if widths:
        x86 = [(n, t) for n, t in widths if n in ("avx512", "avx2", "sse2")]
        if x86:
            slowest = max(t for _, t in x86) / min(t for _, t in x86)
            p("| every x86 width within 1.3 × the best (links job, 200 MB) | slowest %.2f × the best | %s |"
              % (slowest, "yes" if slowest <= 1.3 else "no"))
    if pages:
        loop, single, named = pages["loop"][0], pages["cat"][0], pages["named"][0]
        p("| `tagsift RULES -- pages/*` ≥ 10 × faster than a process a page | %.1f × | %s |"
          % (loop / named, "yes" if loop / named >= 10 else "no"))
        p("| `tagsift RULES -- pages/*` ≤ 1.25 × the single stream | %.2f × | %s |"
          % (named / single, "yes" if named / single <= 1.25 else "no"))

    if warc:
        stream, plain, packed, zcat = (warc[k][0] for k in ("stream", "plain", "gzip", "zcat"))
        p("| plain WARC ≥ 0.8 × the speed of the same pages as one stream | %.2f × | %s |"
          % (stream / plain, "yes" if stream / plain >= 0.8 else "no"))
        p("| `.warc.gz` ≤ 1.2 × the time of `zcat` | %.2f × | %s |" % (packed / zcat, "yes" if packed / zcat <= 1.2 else "no"))
        hxwls = results[("large", "hxwls")]
        if hxwls:
            p("| plain WARC ≥ 10 × faster than hxwls on the same pages (200 MB) | %.1f × | %s |"
              % (hxwls[0] / plain, "yes" if hxwls[0] / plain >= 10 else "no"))
        peak = max(k for _, k in warc.values() if k is not None) if any(k for _, k in warc.values()) else None
        if peak is not None:
            # A run over many documents takes a job a processor: 4 MiB, and 4 MiB a job.
            jobs = len(os.sched_getaffinity(0))
            bound = 4 + 4 * jobs
            p("| crawl jobs (%d jobs): peak RSS ≤ 4 MiB + 4 MiB a job | %s MiB | %s |"
              % (jobs, fmt_rss(peak), "yes" if peak <= bound * 1024 else "no"))

    # Link counts.
    p("\n### Links of `<a>` elements found\n")
    p("| corpus | tagsift lines | tagsift with href | pup | hxwls (a) | xmllint | same values as tagsift |")
    p("|---|---:|---:|---:|---:|---:|---|")
    for name, _, tag in corpora:
        v = link_counts(args.work, tag)
        ours = collections.Counter(html.unescape(x) for x in v["tagsift"])
        same = []
        for tool in ("pup", "hxwls"):
            if tool in v:
                theirs = collections.Counter(html.unescape(x) for x in v[tool])
                same.append("%s %s" % (tool, "yes" if theirs == ours else "no"))
        p("| %s | %d | %d | %s | %s | %s | %s |" % (
            name, len(v["tagsift, all lines"]), len(v["tagsift"]),
            len(v["pup"]) if "pup" in v else "–", len(v["hxwls"]) if "hxwls" in v else "–",
            len(v["xmllint"]) if "xmllint" in v else "–", ", ".join(same)))


if __name__ == "__main__":
    main()
