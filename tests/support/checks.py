"""A comparison script's checks of tagsift against another reading; report() ends the script."""
import sys

failures = []
count = 0


def check(what, got, want):
    global count
    count += 1
    if got != want:
        failures.append('%s:\n  tagsift %r\n  wanted  %r' % (what, got, want))


def report():
    for failure in failures[:40]:
        print(failure)
    print('%d of %d checks failed' % (len(failures), count) if failures else '%d checks passed' % count)
    sys.exit(1 if failures else 0)
