#!/usr/bin/env python3
"""Makes a WARC file of the benchmark corpus's pages: the corpus cut into
pages of about PAGE bytes (at a line end), each a response record, written
plain and gzip-compressed record by record.

usage: make_warc.py CORPUS OUTPUT.warc [PAGE]   (also writes OUTPUT.warc.gz)"""
import gzip
import sys
import zlib


def main():
    corpus, output = sys.argv[1], sys.argv[2]
    page_size = int(sys.argv[3]) if len(sys.argv) > 3 else 100_000
    with open(corpus, "rb") as f, open(output, "wb") as plain, open(output + ".gz", "wb") as packed:
        n = 0
        rest = b""
        while True:
            chunk = f.read(page_size)
            data = rest + chunk
            if not data:
                break
            cut = data.rfind(b"\n") + 1 if chunk else len(data)
            page, rest = (data[:cut], data[cut:]) if cut > 0 else (data, b"")
            http = b"HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: %d\r\n\r\n" % len(page)
            block = http + page
            head = (b"WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://bench.example/page%d.html\r\n"
                    b"WARC-Date: 2026-01-01T00:00:00Z\r\nContent-Type: application/http; msgtype=response\r\n"
                    b"Content-Length: %d\r\n\r\n") % (n, len(block))
            record = head + block + b"\r\n\r\n"
            plain.write(record)
            c = zlib.compressobj(6, zlib.DEFLATED, 31)
            packed.write(c.compress(record) + c.flush())
            n += 1
            if not chunk:
                break


if __name__ == "__main__":
    main()
