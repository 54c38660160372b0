#!/usr/bin/env python3
"""--progress in a real terminal: a pseudo-terminal on standard error.

    progress_pty.py TAGSIFT PAGES_DIR

While the run waits for the rest of a document (a FIFO written in two halves),
the line is drawn after a carriage return and cleared to the line's end, with
the files done of all and the documents so far; at the end it is cleared for
good. Standard output is the same bytes as without --progress, and with
standard error not a terminal --progress draws nothing."""
import os
import pty
import re
import select
import subprocess
import sys
import tempfile
import time

tagsift, pages = sys.argv[1], sys.argv[2]
rules = ["-tag", "a", "-out", "$href$\\n"]
failures = []


def check(what, ok, detail=""):
    if not ok:
        failures.append(f"{what}: {detail}")


def read_for(fd, seconds):
    got = b""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        ready, _, _ = select.select([fd], [], [], 0.05)
        if ready:
            try:
                chunk = os.read(fd, 4096)
            except OSError:
                break
            if not chunk:
                break
            got += chunk
    return got


with tempfile.TemporaryDirectory() as scratch:
    fifo = os.path.join(scratch, "slow.html")
    os.mkfifo(fifo)
    one = os.path.join(pages, "one.html")
    out_path = os.path.join(scratch, "out")
    master, slave = pty.openpty()
    with open(out_path, "wb") as out:
        run = subprocess.Popen([tagsift, "--progress", *rules, "--", one, fifo], stdout=out, stderr=slave)
    os.close(slave)
    with open(fifo, "wb") as writer:
        writer.write(b"<a href=first>" + b"x" * 1000)
        writer.flush()
        during = read_for(master, 1.5)
        writer.write(b"<a href=second>")
    end = read_for(master, 3)
    status = run.wait(timeout=30)
    os.close(master)
    line = re.compile(rb"\r\x1b\[Ktagsift: 1/2 files, 2 documents, 0\.0 MB, [0-9.]+ MB/s")
    check("the line while the run waits", line.search(during), repr(during))
    check("nothing but the line on the terminal", re.fullmatch(rb"(\r\x1b\[K[^\r]*)+", during), repr(during))
    check("the line cleared at the end", (during + end).endswith(b"\r\x1b[K"), repr(end[-40:]))
    check("the status", status == 0, status)
    with open(out_path, "rb") as f:
        check("standard output as without --progress", f.read() == b"1\n2\nfirst\nsecond\n")

    # Standard error that is not a terminal: nothing is drawn.
    quiet = subprocess.run([tagsift, "--progress", *rules, "--", one], capture_output=True)
    check("no terminal, no line", quiet.stderr == b"" and quiet.stdout == b"1\n2\n", repr(quiet))

for failure in failures:
    print("FAIL", failure)
print(f"{3 + 3 - len(failures)} checks of 6 passed" if not failures else f"{len(failures)} checks failed")
sys.exit(1 if failures else 0)
