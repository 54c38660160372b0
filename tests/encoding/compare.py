#!/usr/bin/env python3
"""Pages in legacy encodings through %J and $_charset$ of the built binary, against Python's codecs.

Each encoding's page is made with Python's codec and declared each of the three ways (the HTTP
Content-Type of a crawl record, <meta charset>, <meta http-equiv>); what tagsift prints of its
attribute values and bodies must be what Python decodes. Python's codecs are not the Encoding
standard either: the text of each page keeps to what both read alike, and the bytes where they
differ are rows of their own below, with the standard's reading.

    python3 tests/encoding/compare.py build/release/tagsift
"""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, report  # noqa: E402

TAGSIFT = sys.argv[1]
FORMAT = '{"t":"%J$title$","b":"%tJ$_body$","c":"$_charset$"}\\n'


def single_bytes(codec, skip=b''):
    """Every byte past ASCII that the codec reads, as text."""
    out = ''
    for b in range(0x80, 0x100):
        if b in skip:
            continue
        try:
            out += bytes([b]).decode(codec)
        except UnicodeDecodeError:
            pass
    return out


def double_bytes(codec, leads, trails, step=7):
    """A sample of the two-byte characters the codec reads, every step-th of the given ranges."""
    out, n = '', 0
    for lead in leads:
        for trail in trails:
            n += 1
            if n % step:
                continue
            try:
                c = bytes([lead, trail]).decode(codec)
            except UnicodeDecodeError:
                continue
            if len(c) == 1 and c.isprintable():
                out += c
    return out


JIS_KANJI = double_bytes('euc_jp', range(0xB0, 0xF5), range(0xA1, 0xFF), 5)
# (the standard's name, a label for it, Python's codec, the text of the page)
ROWS = [
    ('windows-1252', 'iso-8859-1', 'cp1252', 'Café crème ' + single_bytes('cp1252')),
    ('ISO-8859-2', 'latin2', 'iso8859_2', 'Żółć ' + single_bytes('iso8859_2')),
    ('windows-1251', 'cp1251', 'cp1251', 'Привет ' + single_bytes('cp1251')),
    ('KOI8-R', 'koi8-r', 'koi8_r', 'Привет ' + single_bytes('koi8_r')),
    # KOI8-U's 0xAE and 0xBE are Ukrainian letters in the standard, box drawings in Python.
    ('KOI8-U', 'koi8-ru', 'koi8_u', 'Їжак ' + single_bytes('koi8_u', skip=b'\xae\xbe')),
    ('ISO-8859-7', 'greek', 'iso8859_7', 'Ελληνικά ' + single_bytes('iso8859_7')),
    ('ISO-8859-15', 'l9', 'iso8859_15', single_bytes('iso8859_15')),
    ('windows-1250', 'x-cp1250', 'cp1250', single_bytes('cp1250')),
    ('windows-1256', 'cp1256', 'cp1256', 'العربية ' + single_bytes('cp1256')),
    # iconv holds back the letters of these two in case a combining mark follows.
    ('windows-1255', 'cp1255', 'cp1255', 'שלום ' + single_bytes('cp1255')),
    ('windows-1258', 'cp1258', 'cp1258', single_bytes('cp1258')),
    ('windows-1253', 'cp1253', 'cp1253', single_bytes('cp1253')),
    ('windows-1254', 'cp1254', 'cp1254', single_bytes('cp1254')),
    ('windows-1257', 'cp1257', 'cp1257', single_bytes('cp1257')),
    ('windows-874', 'tis-620', 'cp874', 'ภาษาไทย ' + single_bytes('cp874')),
    ('IBM866', '866', 'cp866', single_bytes('cp866')),
    ('macintosh', 'x-mac-roman', 'mac_roman', single_bytes('mac_roman')),
    ('x-mac-cyrillic', 'x-mac-ukrainian', 'mac_cyrillic', single_bytes('mac_cyrillic')),
    # The standard's Shift_JIS is Windows-31J, Python's cp932.
    ('Shift_JIS', 'x-sjis', 'cp932', '日本語のテキスト ｶﾀｶﾅ ①② ～ ' +
     double_bytes('cp932', list(range(0x81, 0xA0)) + list(range(0xE0, 0xFD)), range(0x40, 0xFD))),
    # Python's euc_jp has the JIS mappings of the signs the standard maps as Microsoft does
    # (0xA1C1 ...) and no NEC row: the kanji rows read alike.
    ('EUC-JP', 'euc-jp', 'euc_jp', '日本語 ｶﾀｶﾅ ' + JIS_KANJI),
    ('ISO-2022-JP', 'csiso2022jp', 'iso2022_jp', '日本語のテキスト ' + JIS_KANJI[:300]),
    ('GBK', 'gb2312', 'gbk', '中文 ' + double_bytes('gbk', range(0x81, 0xFF), range(0x40, 0xFF), 11)),
    ('gb18030', 'gb18030', 'gb18030', '中文 \x80 é ẞ 😀 \U0010FFFD ' +
     double_bytes('gb18030', range(0x81, 0xA0), range(0x40, 0xFF), 5)),
    # The frequent and the less frequent hanzi of Big5, which Big5-HKSCS keeps; Python reads the
    # kana and Cyrillic of rows 0xC6-0xC8 elsewhere.
    ('Big5', 'big5-hkscs', 'big5', '繁體中文 ' + double_bytes('big5', list(range(0xA4, 0xC6)) + list(range(0xC9, 0xFA)),
                                                          range(0x40, 0xFF), 9)),
    # The standard's EUC-KR is windows-949, Python's cp949: the hangul of the extension too.
    ('EUC-KR', 'ks_c_5601-1987', 'cp949', '한국어 갂갃 ' + double_bytes('cp949', range(0x81, 0xFE), range(0x41, 0xFF), 9)),
]


def warc_record(page, content_type, bom=b''):
    """A response record of a plain WARC file whose HTTP header gives this Content-Type."""
    http = b'HTTP/1.1 200 OK\r\nContent-Type: ' + content_type.encode() + b'\r\n\r\n' + bom + page
    return (b'WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://example.com/\r\n'
            b'Content-Type: application/http; msgtype=response\r\nContent-Length: %d\r\n\r\n' % len(http)
            + http + b'\r\n\r\n')


def run(args, data):
    done = subprocess.run([TAGSIFT] + args, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    check('status of %s' % args, (done.returncode, done.stderr), (0, b''))
    return [json.loads(line) for line in done.stdout.decode('utf-8').split('\n')[:-1]]


def chunks(text, size=40):
    return [text[i:i + size] for i in range(0, len(text), size)]


def page_of(parts, codec, declaration=b''):
    # Each part is encoded alone, so that ISO-2022-JP goes back to ASCII before each tag.
    body = b''.join(b'<p title="' + p.encode(codec) + b'">' + p.encode(codec) + b'</p>\n' for p in parts)
    return b'<html><head>' + declaration + b'<title>x</title></head><body>\n' + body


def compare(what, got, parts, name):
    check('%s: one line a paragraph' % what, len(got), len(parts))
    for line, part in zip(got, parts):
        check('%s: $_charset$' % what, line['c'], name)
        check('%s: %%J of a title' % what, line['t'], part)
        check('%s: %%tJ of a body' % what, line['b'], part)


for name, label, codec, text in ROWS:
    # A scanner of bytes would cut a value at these: no such byte in ISO-2022-JP's text.
    parts = [p for p in chunks(text) if not any(b in p.encode(codec) for b in b'"<')]
    meta = page_of(parts, codec, b'<meta charset="%s">' % label.upper().encode())
    equiv = page_of(parts, codec, b'<meta http-equiv=Content-Type content="text/html; charset=%s">' % label.encode())
    bare = page_of(parts, codec)
    compare('%s in <meta charset>' % name, run(['-tag', 'p', '-out', FORMAT], meta), parts, name)
    compare('%s in <meta http-equiv>' % name, run(['-tag', 'p', '-out', FORMAT], equiv), parts, name)
    compare('%s from --encoding' % name, run(['--encoding', label, '-tag', 'p', '-out', FORMAT], bare), parts, name)
    crawl = warc_record(bare, 'text/html; charset="%s"' % label)
    compare('%s in the HTTP header' % name, run(['--warc', '-tag', 'p', '-out', FORMAT], crawl), parts, name)

# --- where Python's codecs and the standard differ: the standard's reading ---------------------

for name, raw, want in [
        ('windows-1252', b'\x81\x8d\x8f\x90\x9d', '\x81\x8d\x8f\x90\x9d'),  # C1 controls; Python: errors
        ('windows-1250', b'\x81\x83\x88\x90\x98', '\x81\x83\x88\x90\x98'),
        ('windows-1251', b'\x98', '\x98'),
        ('windows-1255', b'\xca\xd9', '\u05ba\ufffd'),                   # Python lacks 0xCA too
        ('KOI8-U', b'\xae\xbe', '\u045e\u040e'),                         # Python: box drawings
        ('ISO-8859-3', b'\xa5\xae', '\ufffd\ufffd'),                     # undefined in both
        ('x-user-defined', b'a\x80\xff', 'a\uf780\uf7ff'),               # no Python codec
        ('Shift_JIS', b'\x80\xa0\x82\xa0\x82 \xfd', '\x80\ufffd\u3042\ufffd \ufffd'),
        ('gb18030', b'\x80\xff\x81\x30\x81\x30', '\u20ac\ufffd\x80'),
        ('EUC-KR', b'\xb0\xa1\xff\xb0', '\uac00\ufffd\ufffd'),
        ('EUC-JP', b'\x80\x85\x8d\x90\x9f\xa4\xa2', '\ufffd' * 5 + '\u3042'),    # eucJP-ms: C1 controls
        # Big5-HKSCS rejects these codes of the standard's index; Python lacks the euro too.
        ('Big5', b'\xa1\x5a\xa1\xc3\xa1\xc5\xa1\xfe\xa2\x40\xa2\xcc\xa2\xce\xa3\xe1',
         '\u2574\uffe3\u02cd\uff0f\uff3c\u5341\u5345\u20ac'),
]:
    got = run(['--encoding', name, '-tag', 'p', '-out', FORMAT], b'<p title="' + raw + b'">' + raw + b'</p>')
    compare('%r in %s' % (raw, name), got, [want], name)

# --- which declaration counts --------------------------------------------------------------------

cyrillic = 'Ёлка'
PRECEDENCE = [
    # (what, the page's bytes after any BOM, HTTP charset or None, BOM, --encoding or None, the encoding used)
    ('a BOM over the HTTP charset', 'utf-8', 'windows-1251', b'\xef\xbb\xbf', None, 'UTF-8'),
    ('the HTTP charset over <meta>', 'windows-1251', 'windows-1251', b'', None, 'windows-1251'),
    ('a label unknown to the standard passes to <meta>', 'koi8-r', 'x-bogus', b'', None, 'KOI8-R'),
    ('UTF-16 from HTTP passes to <meta>', 'koi8-r', 'utf-16', b'', None, 'KOI8-R'),
    ('x-user-defined from HTTP holds', 'x-user-defined', 'x-user-defined', b'', None, 'x-user-defined'),
    ('<meta> over --encoding', 'koi8-r', None, b'', 'windows-1251', 'KOI8-R'),
    ('HTTP over --encoding', 'windows-1251', 'cp1251', b'', 'koi8-r', 'windows-1251'),
]
PYTHON = {'utf-8': 'utf-8', 'windows-1251': 'cp1251', 'koi8-r': 'koi8_r'}
for what, page_encoding, http, bom, fallback, used in PRECEDENCE:
    if page_encoding == 'x-user-defined':
        encoded, want = b'\xc0\xc1', '\uf7c0\uf7c1'
    else:
        encoded, want = cyrillic.encode(PYTHON[page_encoding]), cyrillic
    page = b'<meta charset=koi8-r><p title="' + encoded + b'">' + encoded + b'</p>'
    args = (['--encoding', fallback] if fallback else []) + ['-tag', 'p', '-out', FORMAT]
    if http is None:
        got = run(args, bom + page)
    else:
        got = run(['--warc'] + args, warc_record(page, 'text/html;charset=' + http, bom))
    compare(what, got, [want], used)

# --- a crawl of many pages: each has its own encoding ---------------------------------------------

crawl = b''.join(warc_record(page_of([t], codec), 'text/html; charset=' + label)
                 for _, label, codec, t in [r[:3] + (r[3][:30],) for r in ROWS])
got = run(['--warc', '-tag', 'p', '-out', FORMAT], crawl)
check('one line a page of the crawl', len(got), len(ROWS))
for line, (name, _, _, text) in zip(got, ROWS):
    check('%s in a crawl' % name, (line['c'], line['t'], line['b']), (name, text[:30], text[:30]))

report()
