#!/usr/bin/env python3
"""Makes the hand-written WARC files of the end-to-end tables: payloads sent
chunked and compressed, every kind of record that is passed over, and each
kind of bad input. Run from this folder; the files are committed."""
import gzip
import re
import zlib

PAGE = b'<title>T</title><a href="a1">x</a>\r\n<p>\r\n<a href=a2>'


def record(kind, block, url="http://example.org/", headers=(), version=b"WARC/1.0", length=None, lean=False):
    head = [version, b"WARC-Type: " + kind, b"WARC-Target-URI: " + url.encode()]
    if not lean:
        head += [b"WARC-Date: 2026-01-02T03:04:05Z", b"WARC-Record-ID: <urn:uuid:0>"]
    head += list(headers)
    head.append(b"Content-Length: " + str(len(block) if length is None else length).encode())
    return b"\r\n".join(head) + b"\r\n\r\n" + block + b"\r\n\r\n"


def response(body, http_headers=(b"Content-Type: text/html",), url="http://example.org/", warc_headers=(), lean=False,
             **kw):
    block = b"HTTP/1.1 200 OK\r\n" + b"".join(h + b"\r\n" for h in http_headers) + b"\r\n" + body
    if not lean:
        warc_headers = (b"Content-Type: application/http; msgtype=response",) + warc_headers
    return record(b"response", block, url, warc_headers, lean=lean, **kw)


def chunked(data, sizes):
    out, at = b"", 0
    for n in sizes:
        piece = data[at:at + n]
        out += b"%x;ext=1\r\n" % len(piece) + piece + b"\r\n"
        at += n
    return out + b"0\r\nTrailer: x\r\n\r\n"


def raw_deflate(data):
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    return c.compress(data) + c.flush()


def members(records):
    return b"".join(gzip.compress(r, mtime=0) for r in records)


kinds = [
    record(b"warcinfo", b"software: hand\r\n", headers=(b"Content-Type: application/warc-fields",)),
    record(b"request", b"GET / HTTP/1.1\r\n\r\n", headers=(b"Content-Type: application/http; msgtype=request",)),
    response(PAGE, url="<http://example.org/plain>"),
    response(chunked(PAGE, [5, 20, len(PAGE) - 25]),
             (b"content-type: TEXT/HTML; charset=utf-8", b"Transfer-Encoding: chunked"), url="http://example.org/chunked"),
    response(b"<a href=png>", (b"Content-Type: image/png",), url="http://example.org/image"),
    record(b"resource", PAGE, "http://example.org/resource", (b"Content-Type: application/xhtml+xml",), version=b"WARC/1.1"),
    record(b"resource", b"<a href=text>", "http://example.org/text", (b"Content-Type: text/plain",)),
    record(b"metadata", b"<a href=meta>", headers=(b"Content-Type: text/html",)),
    record(b"revisit", b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<a href=revisit>"),
    # Header names in any case.
    record(b"response", b"HTTP/1.1 200 OK\r\ncontent-TYPE: text/html\r\n\r\n<a href=cased>", "http://example.org/cased")
    .replace(b"WARC-Type", b"warc-type").replace(b"WARC-Target-URI", b"WARC-TARGET-URI")
    .replace(b"Content-Length", b"content-length"),
]
open("kinds.warc.gz", "wb").write(members(kinds))  # the tables read it plain through gzip -dc too

encoded = [
    response(gzip.compress(PAGE, mtime=0), (b"Content-Type: text/html", b"Content-Encoding: gzip"), url="http://example.org/gzip"),
    response(chunked(zlib.compress(PAGE), [3, 10, 1000]),
             (b"Content-Type: text/html", b"Transfer-Encoding: chunked", b"Content-Encoding: deflate"), url="http://example.org/zlib"),
    response(raw_deflate(PAGE), (b"Content-Type: text/html", b"Content-Encoding: deflate"), url="http://example.org/raw"),
    response(b"\x1b\x00brotli", (b"Content-Type: text/html", b"Content-Encoding: br"), url="http://example.org/br"),
    response(b"<a href=identity>", (b"Content-Type: text/html", b"Content-Encoding: identity"), url="http://example.org/identity"),
    # Transfer codings besides chunked: gzip is decoded as a content coding is; one that cannot
    # be (br, or gzip on top of a content coding) passes the document over, and is counted.
    response(chunked(gzip.compress(PAGE, mtime=0), [7, 1000]), (b"Content-Type: text/html", b"Transfer-Encoding: gzip, Chunked"),
             url="http://example.org/te-gzip"),
    response(b"<a href=br>", (b"Content-Type: text/html", b"Transfer-Encoding: br"), url="http://example.org/te-br"),
    response(gzip.compress(gzip.compress(PAGE, mtime=0), mtime=0),
             (b"Content-Type: text/html", b"Transfer-Encoding: x-gzip", b"Content-Encoding: gzip"), url="http://example.org/twice"),
    # A record without a status after one passed over: nothing of that one's carries over.
    record(b"resource", b"<a href=resource>", "http://example.org/after", (b"Content-Type: text/html",)),
]
open("encoded.warc.gz", "wb").write(members(encoded))

one = response(b"<a href=one>", url="http://example.org/1")
two = response(b"<a href=two>", url="http://example.org/2")
three = response(b"<a href=three>", url="http://example.org/3")
# A record cut short: its Content-Length runs past the end of the file.
open("cut.warc", "wb").write(one + response(b"<a href=cut>", url="http://example.org/cut", length=500)[:-4])
# A header block that never ends, then nothing but its header lines.
open("noend.warc", "wb").write(one + b"WARC/1.0\r\nWARC-Type: response\r\n" + b"X-Long: " + b"y" * 70000 + b"\r\n")
# Bytes that are no record, between two records; compressed, the offset is the junk's member's.
open("junk.warc", "wb").write(one + b"this is not a record\r\n" + two)
open("junk.warc.gz", "wb").write(members([one, b"JUNK", two]))
# A broken gzip member between two good ones.
bad = bytearray(gzip.compress(two, mtime=0))
bad[20:30] = b"\xff" * 10
open("broken.warc.gz", "wb").write(gzip.compress(one, mtime=0) + bytes(bad) + gzip.compress(three, mtime=0))
# A compressed file cut in the middle of its last member.
last = gzip.compress(two, mtime=0)
open("truncated.warc.gz", "wb").write(gzip.compress(one, mtime=0) + last[:len(last) // 2])
# A line feed between two members (files joined with one between them): the next member starts
# on the byte after it. A few bytes of junk after the last member, too few to be a member's
# header: no member cut short.
open("tailjunk.warc.gz", "wb").write(gzip.compress(one, mtime=0) + b"\n" + gzip.compress(two, mtime=0) + b"JUNKJUNK")
# A document that ends inside a tag, before a good one.
open("eof.warc", "wb").write(response(b"<a href='open") + two)

# --- after trouble the reader goes on at the next record it can prove ---
# Compressed: a member holding the first 60 bytes of a record (the record ends with its member,
# the next member is the next record); the first bytes of a member, then a whole member (the
# next gzip header after the broken member's start); a member whose CRC32 is wrong (its records
# are read, and the next member after it).
wrong = bytearray(gzip.compress(two, mtime=0))
wrong[-8:-4] = b"\0\0\0\0"
# Last, a member whose trailer is cut short: its stream runs on into the next member's header and
# fails its check there, so the next member is looked for from the cut one's start.
open("members.warc.gz", "wb").write(members([one, two[:60]]) + last[:40] + members([three]) + bytes(wrong) +
                                    members([one]) + gzip.compress(three, mtime=0)[:-4] + members([two]))
# A member cut short whose stream runs on through the whole member after it and fails its check
# on the last bytes of the file, or just before a third member: a header inside a member whose
# check fails is where the next member is looked for, wherever its trailer ends.
def tiny(n):
    block = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<a href=%d>" % n
    return record(b"response", block, "http://h/%d" % n, (b"WARC-Record-ID: <urn:x:%d>" % n,), lean=True)


small = [gzip.compress(tiny(n), mtime=0) for n in (1, 2, 3, 4)]
open("runon.warc.gz", "wb").write(small[0] + small[1][:78] + small[2])
open("runon2.warc.gz", "wb").write(small[0] + small[1][:78] + small[2] + small[3])
# A member whose CRC32 is wrong but whose length holds ends at its trailer, though the gzip file
# it holds as a payload shows a gzip header among its stored bytes: no record is made of that
# payload, in the middle of the file or at its end.
inner = gzip.compress(tiny(9), compresslevel=0, mtime=0)
held = bytearray(gzip.compress(record(b"response", b"HTTP/1.1 200 OK\r\nContent-Type: application/gzip\r\n\r\n" + inner,
                                      "http://h/2", lean=True), compresslevel=0, mtime=0))
held[-8] ^= 0xFF
open("gzpayload.warc.gz", "wb").write(small[0] + bytes(held) + small[2] + bytes(held))
# A payload of one byte, read in one piece of one byte: it is the whole document, not its end.
open("onebyte.warc.gz", "wb").write(members([response(b"<", url="http://example.org/lt"),
                                             response(b"<a href=x>", url="http://example.org/a")]))
# Chunked payloads at their edges: a chunk that ends exactly with the record (and no last chunk
# after it), a size past 64 bits before a chunk that must not be read, and a size line just over
# the length a size line may have.
chunk_headers = (b"Content-Type: text/html", b"Transfer-Encoding: chunked")
open("chunkedges.warc", "wb").write(
    response(b"e\r\n<a href=exact>", chunk_headers, url="http://example.org/exact") +
    response(b"11111111111111111\r\n<a href=after>\r\n0\r\n\r\n", chunk_headers, url="http://example.org/big") +
    response(b"0" * 4095 + b"f\r\n<a href=long1>\r\n0\r\n\r\n", chunk_headers, url="http://example.org/long") +
    response(b"0" * 4094 + b"f\r\n<a href=long2>\r\n0\r\n\r\n", chunk_headers, url="http://example.org/fits"))
# Bytes before the first member: the file is compressed all the same (a gzip header comes before
# any WARC line).
open("lead.warc.gz", "wb").write(b"JUNK" + members([one, two]))
# Plain: a UTF-8 byte order mark before the first record; header blocks without one valid
# Content-Length; the first 60 bytes of a record, whose header block runs on into the next
# record's and repeats its fields: the reader goes on at the version line inside it.
def lean(name):
    return response(b"<a href=%s>" % name.encode(), url="http://example.org/" + name, lean=True)


none = re.sub(rb"Content-Length: (\d)", rb"Content-Length: \1x", lean("none"))
twice = lean("twice").replace(b"Content-Length", b"Content-Length: 1\r\nContent-Length", 1)
open("resync.warc", "wb").write(b"\xef\xbb\xbf" + lean("1") + none + lean("2") + twice + lean("cut")[:50] + lean("3"))

# --- chunks and compressed payloads ---
def html(body, url, *headers, truncated=False):
    return response(body, (b"Content-Type: text/html",) + headers, url="http://example.org/" + url, lean=True,
                    warc_headers=(b"WARC-Truncated: length",) if truncated else ())


CHUNKED = b"Transfer-Encoding: chunked"
GZIP = b"Content-Encoding: gzip"
bad_crc = gzip.compress(b"<a href=crc>", mtime=0)[:-8] + b"\0\0\0\0" + gzip.compress(b"<a href=crc>", mtime=0)[-4:]
bad_size = gzip.compress(b"<a href=isize>", mtime=0)[:-4] + b"\0\0\0\0"
C1 = b"b\r\n<a href=c1>\r\n"  # a good first chunk
payloads = [
    one,
    html(C1 + b"zz\r\n<a href=x>\r\n0\r\n\r\n", "zz", CHUNKED),
    html(C1 + b"1000000000000000a\r\n<a href=x>\r\n0\r\n\r\n", "17digits", CHUNKED),
    html(C1 + b"ff\r\n<a href=x>\r\n0\r\n\r\n", "past", CHUNKED),
    html(C1 + b"a\r\n<a href=x>\r\n", "nolast", CHUNKED),
    html(chunked(gzip.compress(b"<a href=gz>" + b"z" * 100, mtime=0)[:-10], [9, 1000]), "gzcut", CHUNKED, GZIP),
    html(chunked(gzip.compress(b"<a href=next>", mtime=0), [9, 1000]), "gznext", CHUNKED, GZIP),
    html(b"00000000000000000b\r\n<a href=c1>\r\n5;x=y\r\n<br>x\r\n0\r\n\r\n", "zeros", CHUNKED),
    # A payload the crawler cut short may end inside a chunk, or inside compressed data.
    html(C1 + b"20\r\nabc", "chunkcut", CHUNKED, truncated=True),
    html(gzip.compress(b"<a href=gzcut>" + b"x" * 100, mtime=0)[:30], "gzcut", GZIP, truncated=True),
    html(gzip.compress(b"<a href=m1>", mtime=0) + gzip.compress(b"<a href=m2>", mtime=0), "members", GZIP),
    html(bad_crc, "crc", GZIP),
    html(bad_size, "isize", GZIP),
    html(zlib.compress(b"<a href=adler>")[:-1] + b"\0", "adler", b"Content-Encoding: deflate"),
    html(gzip.compress(b"<a href=trail>", mtime=0) + b"\0\0\0\0", "trailing", GZIP),
    record(b"response", b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nX: y", "http://example.org/noend"),
    two,
]
open("payloads.warc.gz", "wb").write(members(payloads))
# Answers without a body (a 304, a HEAD answer, one of a blank line) that keep a whole answer's
# chunked header, then one whose payload is no chunk at all.
nobody = [record(b"response", b"HTTP/1.1 %s\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n%s" % (s, b),
                 "http://example.org/" + u, lean=True)
          for s, b, u in ((b"304 Not Modified", b"", "304"), (b"200 OK", b"", "head"), (b"200 OK", b"\r\n", "blank"),
                          (b"200 OK", b"  x", "junk"))]
# Interim answers before the one with the page; a 1xx answer with nothing after it.
interim = record(b"response", b"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\n"
                 b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<a href=interim>", "http://example.org/interim", lean=True)
alone = record(b"response", b"HTTP/1.1 100 Continue\r\n\r\n<a href=alone>", "http://example.org/alone", lean=True)
# After them, a gzip payload with one byte after its member.
open("nobody.warc.gz", "wb").write(members(nobody + [response(b"<a href=after>", url="http://example.org/after", lean=True),
                                                   interim, alone, html(gzip.compress(b"<a href=gz>", mtime=0) + b"\0",
                                                                        "onebyteafter", GZIP)]))
# A 1xx answer with nothing after it whose header fills the reader's buffer, after another long
# header: its fields are read as when the record is alone.
open("interim.warc", "wb").write(
    record(b"response", b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Pad: " + b"p" * 65300 + b"\r\n\r\nbody",
           "http://e/a", lean=True) +
    record(b"response", b"HTTP/1.1 100 Continue\r\nContent-Type: text/html\r\nLink: " + b"l" * 65478 +
           b"\r\n\r\n<a href=alone>" + b"z" * 9000, "http://e/b", lean=True))
