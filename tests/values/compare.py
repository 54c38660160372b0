#!/usr/bin/env python3
"""%H, %U and %J of the built binary against what the field already trusts: Python's
html.unescape, urllib.parse.urljoin and json.loads, on generated values and on the HTML
documentation pages of the machine (/usr/share/doc).

    python3 tests/values/compare.py build/release/tagsift
"""
import html
import json
import os
import subprocess
import sys
import urllib.parse
from html.entities import html5

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, report  # noqa: E402

TAGSIFT = sys.argv[1]


def run(fmt, tag, values, around, before=''):
    """Each value in its own tag, through -out fmt; the outputs, split at the separator."""
    page = before.encode() + b''.join(around(v) for v in values)
    out = subprocess.run([TAGSIFT, '-tag', tag, '-out', fmt + '\\036\\n'], input=page,
                         stdout=subprocess.PIPE, check=True).stdout
    outputs = out.split(b'\x1e\n')[:-1]
    check('one output a value for %s' % fmt, len(outputs), len(values))
    return outputs


# --- values with every kind of reference ---------------------------------------------------

numbers = [0, 1, 9, 10, 11, 13, 31, 65, 127, 160, 0xD7FF, 0xD800, 0xDFFF, 0xE000, 0xFDD0, 0xFDEF,
           0xFFFD, 0xFFFE, 0xFFFF, 0x1FFFE, 0x10FFFF, 0x110000, 10 ** 30] + list(range(0x80, 0xA0))
values = [b'&#%d;' % n for n in numbers] + [b'&#x%X' % n for n in numbers] + [
    b'&#0000000000000000000000000065;', b'&#x0000000000000000000041x', b'&#X41;', b'&#', b'&#x', b'&#;',
    b'&#xg;', b'&#a', b'&', b'&&amp;', b'&;', b'& amp;', b'&amp', b'&ampamp;', b'&AMP', b'&notin',
    b'&notit;', b'&notin;x', b'&' + b'a' * 40 + b';', b'&CounterClockwiseContourIntegral;x',
    b'&amp=1', b'&amp1', b'&ampX', b'&amp;=', b'&lt#', b'\xff&lt\xe2\x82', b'\xed\xa0\x80\xc0\xaf',
    b'\xf4\x90\x80\x80\xf0\x9f\x98', b'caf\xc3\xa9 \x01\x1f\\ \' \t&#x2028;\xe2\x80\xa9 /',
]
for name in html5:
    bare = name.rstrip(';').encode()
    values.append(b'&' + name.encode())
    if not name.endswith(';'):  # the legacy names: after a letter, a digit, '=', ';', a blank
        values += [b'&' + bare + tail for tail in (b'x', b'7', b'=', b';', b' ', b'Z;')]


def unescape_bytes(value, unescape=html.unescape):
    return unescape(value.decode('utf-8', 'surrogateescape')).encode('utf-8', 'surrogateescape')


def unescape_attribute(text):
    # The HTML standard keeps a legacy name without ';' as written in an attribute value when an
    # ASCII letter, digit or '=' follows it; else the same as html.unescape.
    def replace(match):
        ref = match.group(1)
        if ref[0] != '#' and ref not in html5:
            for length in range(len(ref) - 1, 1, -1):
                if ref[:length] in html5:
                    after = ref[length]
                    if after.isascii() and (after.isalnum() or after == '='):
                        return '&' + ref
                    break
        return html._replace_charref(match)
    return html._charref.sub(replace, text)


text_values = values
attribute_values = [v for v in values if b'"' not in v]

for got, value in zip(run('%tH$_body$', 'p', text_values, lambda v: b'<p>' + v + b'</p>'), text_values):
    check('%%tH of %r' % value, got, unescape_bytes(value))
for got, value in zip(run('%H$v$', 'a', attribute_values, lambda v: b'<a v="' + v + b'">'), attribute_values):
    check('%%H of the attribute %r' % value, got, unescape_bytes(value, unescape_attribute))

# --- JSON: every line parses and holds the decoded text, invalid UTF-8 as U+FFFD ---------------

for fmt, tag, around, unescape, chosen in [
        ('{"v":"%J$v$"}', 'a', lambda v: b'<a v="' + v + b'">', unescape_attribute, attribute_values),
        ('{"v":"%tJ$_body$"}', 'p', lambda v: b'<p>' + v + b'</p>', html.unescape, text_values),
        ('{"v":"%.9J$v$"}', 'a', lambda v: b'<a v="' + v + b'">', unescape_attribute, attribute_values)]:
    for got, value in zip(run(fmt, tag, chosen, around), chosen):
        try:
            parsed = json.loads(got.decode('utf-8'))['v']
        except ValueError as e:
            check('%s of %r: %s' % (fmt, value, e), got, 'JSON')
            continue
        want = unescape_bytes(value, unescape).decode('utf-8', 'replace')
        if '.9' in fmt:
            check('%s of %r' % (fmt, value), want.startswith(parsed) and len(got) <= len(b'{"v":""}') + 9, True)
        else:
            check('%s of %r' % (fmt, value), parsed, want)

# --- URLs: the examples of RFC 3986 section 5.4, and more bases ---------------------------------

rfc = ['g:h', 'g', './g', 'g/', '/g', '//g', '?y', 'g?y', '#s', 'g#s', 'g?y#s', ';x', 'g;x', 'g;x?y#s', '',
       '.', './', '..', '../', '../g', '../..', '../../', '../../g',
       '../../../g', '../../../../g', '/./g', '/../g', 'g.', '.g', 'g..', '..g', './../g', './g/.', 'g/./h',
       'g/../h', 'g;x=1/./y', 'g;x=1/../y', 'g?y/./x', 'g?y/../x', 'g#s/./x', 'g#s/../x', 'http:g']
bases = ['http://a/b/c/d;p?q', 'https://h', 'https://h/a/b/', 'http://h/x?y', 'file:///usr/share/doc/']
# Where tagsift keeps to RFC 3986 (and browsers) and urljoin does not; the comments say what urljoin does.
known = [
    ('http://a/b/c/d;p?q', 'g?', 'http://a/b/c/g?'),        # urljoin drops an empty query
    ('http://a/b/c/d;p?q', '#', 'http://a/b/c/d;p?q#'),     # and an empty fragment
    ('http://h/x?y#z', '', 'http://h/x?y'),                 # keeps the base's fragment
    ('http://a/b/c/d;p?q', 'a//b', 'http://a/b/c/a//b'),    # drops empty segments
    ('http://a/b//c/d', '../g', 'http://a/b//g'),
    ('http://a/b/c/d;p?q', '//h/./a/../b', 'http://h/b'),   # keeps dots in a path with a host
    ('http://a/b/c/d;p?q', 'https://h/./a', 'https://h/a'),
    ('http://a/b/c/d;p?q', ' g\t\n ', 'http://a/b/c/g'),     # keeps blanks at the end
    ('foo://a/b/c', '../g', 'foo://a/g'),                   # resolves only some schemes
    ('https://h', 'MAILTO:x', 'mailto:x'),                   # keeps a scheme's case
    ('http://a/b', 'data:,x/./y/../z', 'data:,x/./y/../z'),   # an opaque path is kept whole
    ('http://a/b', 'mailto:a/../b@x', 'mailto:a/../b@x'),
    ('HTTP://A/b/c', '', 'http://A/b/c'),
    ('/dir/sub/', '../../../g', '/g'),                      # climbs out of a relative base
    ('dir/page', '../../g', 'g'),
    ('dir/page', '..', './'),
    ('file:///usr/share/doc/', '../../../../g', 'file:///g'),  # Python 3.13 drops the empty host
    ('file:///usr/share/doc/', '/../g', 'file:///g'),
]
ours = {(base, ref): want for base, ref, want in known}
# Schemes: the first letter a to z, then letters, digits, '+', '-' and '.'; else a relative path.
for base, refs in [(base, rfc + ['mailto:x', 'g&amp;h', 'zz:x', 'a+b.c-d:e', '1a:b', 'a_b:c']) for base in bases] + \
        [(base, [ref]) for base, ref, _ in known]:
    got = run('%U$href$', 'a', refs, lambda ref: ('<a href="%s">' % ref).encode(), '<base href="%s">' % base)
    wants = [ours.get((base, ref)) or urllib.parse.urljoin(base, html.unescape(ref)) for ref in refs]
    for ref, url, want in zip(refs, got, wants):
        check('%%U of %r against %r' % (ref, base), url.decode(), want)

# %UJ: the resolved address in a JSON string.
got = run('{"u":"%UJ$href$","t":"%J$title$"}', 'a', [b''],
          lambda _: b'<base href="http://h/a/"><a href="../q?x=&quot;1&quot;" title="\\ \xff">')
check('%UJ and %J', json.loads(got[0]), {'u': 'http://h/q?x="1"', 't': '\\ \ufffd'})

# --- the HTML documentation pages this machine has, as they are --------------------------------

import glob  # noqa: E402

pages = sorted(glob.glob('/usr/share/doc/**/*.html', recursive=True))[:300]
if pages:
    def outputs(tag, fmt):  # one format a run: a format has one body
        out = subprocess.run([TAGSIFT, '-tag', tag, '-out', fmt + '\\036\\n', '--'] + pages,
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
        return [line.split(b'corrupted HTML code!\n')[-1] for line in out.split(b'\x1e\n')[:-1]]
    for tag, raw, unescape in [('a', '$href$', unescape_attribute), ('title', '%t$_body$', html.unescape)]:
        decoded = outputs(tag, raw.replace('%t', '%tH') if '%t' in raw else '%H' + raw)
        as_json = outputs(tag, '{"v":"%s"}' % (raw.replace('%t', '%tJ') if '%t' in raw else '%J' + raw))
        for value, got, js in zip(outputs(tag, raw), decoded, as_json):
            if value != b'<undefined>':
                check('%s on a page: %r' % (raw, value), got, unescape_bytes(value, unescape))
                check('%s on a page, as JSON: %r' % (raw, value), json.loads(js.decode())['v'],
                      unescape_bytes(value, unescape).decode('utf-8', 'replace'))

report()
