#!/usr/bin/env python3
"""Writes a deterministic HTML corpus of about SIZE bytes.

    make_corpus.py SIZE OUTPUT
    make_corpus.py --pages COUNT SIZE DIRECTORY

SIZE may end in K or M (powers of ten, so 200M is 200,000,000 bytes). The same
SIZE always gives the same bytes. With --pages, COUNT documents of about SIZE
bytes each, DIRECTORY/page-0000.html on, each of its own seed. The page is one well-formed document whose
body is a long run of sections of the kinds real pages are made of: navigation
lists, prose with inline links (quoted with " or ', or unquoted, some in upper
case), images with and without alt text, tables, forms, comments (some holding
commented-out links), inline scripts and styles, and now and then a section
minified onto one long line. About a third of the sections end their lines
with CR LF.

The markup stays within what every HTML parser reads the same way (no '<'
inside scripts, comments opened with "<!-- "), so the link counts of
different tools can be compared; a few anchors have no href, which the tools
treat differently (see README.md, Performance).
"""

import os
import random
import sys

WORDS = (
    "the of and to in is that for it as was with be by on not he this are or his from at which but "
    "have an they you were her she there one all we their can has been if more when will would who "
    "so no data stream filter markup page table link image form value index archive report season "
    "river mountain harbour station library garden theatre museum market bridge tower valley forest "
    "engine signal channel buffer packet socket kernel module option switch pattern parser scanner "
    "winter summer autumn spring morning evening history science music travel sport weather health"
).split()

DOMAINS = ["example.com", "example.org", "news.example.net", "static.example.com", "wiki.example.org"]
EXTENSIONS = [".html", ".htm", ".php", "/", ".aspx", ""]
IMAGE_EXTENSIONS = [".png", ".jpg", ".gif", ".png", ".webp", ".svg"]


class Corpus:
    def __init__(self, seed):
        self.r = random.Random(seed)
        self.sections = 0

    def words(self, low, high):
        r = self.r
        return " ".join(r.choice(WORDS) for _ in range(r.randint(low, high)))

    def slug(self):
        r = self.r
        return "-".join(r.choice(WORDS) for _ in range(r.randint(1, 3)))

    def path(self):
        r = self.r
        parts = [self.slug() for _ in range(r.randint(1, 4))]
        return "/" + "/".join(parts) + r.choice(EXTENSIONS)

    def url(self):
        r = self.r
        k = r.random()
        if k < 0.45:
            return self.path()
        if k < 0.8:
            return "https://" + r.choice(DOMAINS) + self.path()
        if k < 0.9:
            return self.path() + "?id=%d&amp;page=%d" % (r.randint(1, 99999), r.randint(1, 40))
        if k < 0.95:
            return "#" + self.slug()
        return "mailto:" + r.choice(WORDS) + "@" + r.choice(DOMAINS)

    def quoted(self, value):
        # Values without blanks or quotes may go unquoted, as much hand-written HTML does.
        r = self.r
        k = r.random()
        if k < 0.15 and not any(c in value for c in " \"'=>#&"):
            return value
        if k < 0.3:
            return "'" + value + "'"
        return '"' + value + '"'

    def link(self):
        r = self.r
        a, href = ("A", "HREF") if r.random() < 0.05 else ("a", "href")
        extra = ""
        k = r.random()
        if k < 0.2:
            extra = ' class="%s"' % r.choice(WORDS)
        elif k < 0.3:
            extra = ' target="_blank" rel="noopener"'
        elif k < 0.35:
            extra = ' title="%s > %s"' % (r.choice(WORDS), r.choice(WORDS))
        if r.random() < 0.3:
            return "<%s%s %s=%s>%s</%s>" % (a, extra, href, self.quoted(self.url()), self.words(1, 4), a)
        return "<%s %s=%s%s>%s</%s>" % (a, href, self.quoted(self.url()), extra, self.words(1, 4), a)

    def image(self):
        r = self.r
        src = self.quoted("/img/" + self.slug() + r.choice(IMAGE_EXTENSIONS))
        size = ' width="%d" height="%d"' % (r.randint(16, 1200), r.randint(16, 900))
        if r.random() < 0.6:
            return '<img src=%s alt="%s"%s>' % (src, self.words(1, 5), size)
        return "<img src=%s%s>" % (src, size)

    def inline(self):
        r = self.r
        k = r.random()
        if k < 0.55:
            return self.words(3, 14)
        if k < 0.8:
            return self.link()
        if k < 0.88:
            return "<b>%s</b>" % self.words(1, 3)
        if k < 0.94:
            return "<em>%s</em>" % self.words(1, 3)
        if k < 0.97:
            return self.image()
        return '<span class="%s">%s</span>' % (r.choice(WORDS), self.words(2, 6))

    def paragraph(self):
        return "<p>" + " ".join(self.inline() for _ in range(self.r.randint(2, 9))) + "</p>"

    def nav(self):
        r = self.r
        lines = ['<nav class="menu">', "<ul>"]
        for _ in range(r.randint(4, 14)):
            lines.append("  <li>" + self.link() + "</li>")
        lines += ["</ul>", "</nav>"]
        return lines

    def article(self):
        r = self.r
        lines = ['<article id="s%d">' % self.sections, "<h2>%s</h2>" % self.words(2, 7)]
        if r.random() < 0.1:
            lines.append('<a name="%s"></a>' % self.slug())
        for _ in range(r.randint(2, 8)):
            lines.append(self.paragraph())
        if r.random() < 0.4:
            lines.append("<figure>" + self.image() + "<figcaption>%s</figcaption></figure>" % self.words(3, 9))
        lines.append("</article>")
        return lines

    def cell(self):
        r = self.r
        k = r.random()
        if k < 0.5:
            return self.words(1, 4)
        if k < 0.65:
            return "%d.%02d" % (r.randint(0, 9999), r.randint(0, 99))
        if k < 0.85:
            return self.link()
        if k < 0.95:
            return "<b>%s</b> %s" % (self.words(1, 2), self.words(0, 3))
        return self.image()

    def table(self):
        r = self.r
        columns = r.randint(2, 7)
        lines = ['<table class="data" border=1>', "<thead><tr>"]
        lines.append("".join("<th>%s</th>" % self.words(1, 2) for _ in range(columns)))
        lines.append("</tr></thead>")
        lines.append("<tbody>")
        for _ in range(r.randint(3, 25)):
            attrs = ' class="odd"' if r.random() < 0.5 else ""
            lines.append("<tr%s>" % attrs + "".join("<td>%s</td>" % self.cell() for _ in range(columns)) + "</tr>")
        lines += ["</tbody>", "</table>"]
        return lines

    def form(self):
        r = self.r
        lines = ["<form action=%s method=%s>" % (self.quoted(self.path()), r.choice(["get", "post", '"post"']))]
        for _ in range(r.randint(1, 6)):
            name = r.choice(WORDS)
            k = r.random()
            lines.append('<label for="%s">%s</label>' % (name, self.words(1, 3)))
            if k < 0.5:
                lines.append('<input type="text" name="%s" id="%s" value="%s" size=%d>'
                             % (name, name, self.words(0, 3), r.randint(5, 60)))
            elif k < 0.7:
                lines.append("<input type=checkbox name=%s checked>" % name)
            elif k < 0.85:
                options = "".join('<option value="%d">%s</option>' % (i, self.words(1, 2))
                                  for i in range(r.randint(2, 8)))
                lines.append('<select name="%s">%s</select>' % (name, options))
            else:
                lines.append('<textarea name="%s" rows=4 cols=40>%s</textarea>' % (name, self.words(5, 30)))
        lines.append('<input type="submit" value="Send"></form>')
        return lines

    def comment(self):
        r = self.r
        k = r.random()
        if k < 0.4:
            return ["<!-- %s -->" % self.words(2, 8)]
        if k < 0.7:
            return ["<!-- old link: " + self.link() + " -->"]
        return ["<!-- ---- %s ----" % self.words(1, 4), "     %s" % self.words(5, 15), "-- -->"]

    def script(self):
        r = self.r
        names = [r.choice(WORDS) + str(i) for i in range(r.randint(2, 6))]
        body = ["<script>", "(function () {"]
        for n in names:
            body.append('  var %s = "%s" + %d;' % (n, self.words(1, 4), r.randint(0, 999)))
        body.append("  if (%s.length >= %d) { console.log(%s); }" % (names[0], r.randint(1, 30), names[-1]))
        body += ["})();", "</script>"]
        if r.random() < 0.3:
            body = ["<style>", ".%s { margin: %dpx; } .%s > a { color: #%06x; }"
                    % (r.choice(WORDS), r.randint(0, 40), r.choice(WORDS), r.randint(0, 0xFFFFFF)), "</style>"] + body
        return body

    def section(self):
        r = self.r
        self.sections += 1
        k = r.random()
        if k < 0.38:
            lines = self.article()
        elif k < 0.6:
            lines = self.table()
        elif k < 0.72:
            lines = self.nav()
        elif k < 0.82:
            lines = self.form()
        elif k < 0.92:
            lines = self.comment()
        else:
            lines = self.script()
        if r.random() < 0.03:
            # Minified markup: many sections on one long line.
            for _ in range(r.randint(5, 40)):
                lines += self.article() if r.random() < 0.5 else self.table()
            return "".join(lines) + "\n"
        end = "\r\n" if r.random() < 0.33 else "\n"
        return end.join(lines) + end


HEAD = """<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>Archive</title>
<link rel="stylesheet" href="/css/site.css">
<script src="/js/app.js"></script>
</head>
<body>
"""
TAIL = "</body>\n</html>\n"


def parse_size(text):
    scale = {"K": 10**3, "M": 10**6, "G": 10**9}
    if text[-1:].upper() in scale:
        return int(float(text[:-1]) * scale[text[-1:].upper()])
    return int(text)


def write_document(path, size, seed):
    corpus = Corpus(seed)
    written = 0
    with open(path, "wb") as f:
        f.write(HEAD.encode())
        written += len(HEAD)
        chunk = []
        chunk_len = 0
        while written + chunk_len + len(TAIL) < size:
            s = corpus.section()
            chunk.append(s)
            chunk_len += len(s)
            if chunk_len > 1 << 20:
                f.write("".join(chunk).encode())
                written += chunk_len
                chunk, chunk_len = [], 0
        f.write("".join(chunk).encode())
        f.write(TAIL.encode())


def main():
    if len(sys.argv) == 5 and sys.argv[1] == "--pages":
        count, size, directory = int(sys.argv[2]), parse_size(sys.argv[3]), sys.argv[4]
        os.makedirs(directory, exist_ok=True)
        for k in range(count):
            write_document(os.path.join(directory, "page-%04d.html" % k), size, 20261207 + 1 + k)
        return
    if len(sys.argv) != 3:
        sys.exit("usage: make_corpus.py SIZE OUTPUT\n       make_corpus.py --pages COUNT SIZE DIRECTORY")
    write_document(sys.argv[2], parse_size(sys.argv[1]), 20261207)


if __name__ == "__main__":
    main()
