#!/usr/bin/env python3
"""Builds the seed corpora under fuzz/corpus/ from the end-to-end tables.

Each case of tests/e2e/cases/*.cases becomes a seed of fuzz_program (its
words, the response file it names and its input); its -out formats seed
fuzz_format and the right sides of its pattern tests seed fuzz_pattern, each
with the attribute values of the case's input. Seeds are named by their SHA-1,
so running this again only adds what is new. Usage: fuzz/make_corpus.py
"""
import hashlib
import pathlib
import re

ROOT = pathlib.Path(__file__).resolve().parent.parent
CASES = ROOT / "tests" / "e2e" / "cases"
FILES = ROOT / "tests" / "e2e" / "files"
CORPUS = ROOT / "fuzz" / "corpus"

SIMPLE = {"n": 10, "t": 9, "r": 13, "f": 12, "v": 11, "a": 7, "b": 8}


def unescape(s):
    """The C escapes of the tables, as tests/e2e/e2e_test.cpp reads them."""
    out = bytearray()
    i = 0
    while i < len(s):
        c = s[i]
        if c != "\\" or i + 1 == len(s):
            out += c.encode("latin-1")
            i += 1
            continue
        i += 1
        c = s[i]
        if c in SIMPLE:
            out.append(SIMPLE[c])
        elif c == "x":
            digits = ""
            while len(digits) < 2 and i + 1 < len(s) and s[i + 1] in "0123456789abcdefABCDEF":
                i += 1
                digits += s[i]
            out.append(int(digits or "0", 16))
        elif c in "01234567":
            digits = c
            while len(digits) < 3 and i + 1 < len(s) and s[i + 1] in "01234567":
                i += 1
                digits += s[i]
            out.append(int(digits, 8) & 0xFF)
        else:
            out += c.encode("latin-1")
        i += 1
    return bytes(out)


def split_words(s):
    """Shell-like words: 'raw' and "with \\" escapes"."""
    words, i = [], 0
    while i < len(s):
        while i < len(s) and s[i] == " ":
            i += 1
        if i == len(s):
            break
        w = ""
        while i < len(s) and s[i] != " ":
            if s[i] == "'":
                end = s.index("'", i + 1)
                w += s[i + 1:end]
                i = end + 1
            elif s[i] == '"':
                i += 1
                while s[i] != '"':
                    if s[i] == "\\" and i + 1 < len(s) and s[i + 1] in '"\\':
                        i += 1
                    w += s[i]
                    i += 1
                i += 1
            else:
                w += s[i]
                i += 1
        words.append(w)
    return words


def load_cases():
    cases = []
    for path in sorted(CASES.glob("*.cases")):
        for line in path.read_text(encoding="latin-1").splitlines():
            if not line or line.startswith("#"):
                continue
            if line.startswith("=== "):
                cases.append({"name": f"{path.name}: {line[4:]}", "args": [], "stdin": b"",
                              "stdout": b"", "stderr": b"", "status": 0})
                continue
            if not cases or ":" not in line:
                continue
            key, value = line.split(":", 1)
            value = value[1:] if value.startswith(" ") else value
            if key == "args":
                cases[-1]["args"] += split_words(value)
            elif key in ("stdin", "stdout", "stderr"):
                cases[-1][key] += unescape(value)
            elif key == "status":
                cases[-1]["status"] = int(value)
    return cases


ATTRIBUTE = re.compile(rb"""([^\s=<>]*)\s*=\s*("[^"]*"|'[^']*'|[^\s>]*)""")
TAG = re.compile(rb"<([^\s=>]+)([^>]*)>")


def attribute_lines(stdin, tag=None):
    """NAME=VALUE lines of the first tag named tag (any tag when None)."""
    for m in TAG.finditer(stdin):
        if tag is None or m.group(1).lower() == tag.lower():
            return [a.group(1) + b"=" + a.group(2) for a in ATTRIBUTE.finditer(m.group(2))]
    return []


def values(stdin):
    found = []
    for a in ATTRIBUTE.finditer(stdin):
        v = a.group(2)
        if v[:1] in (b'"', b"'") and len(v) >= 2:
            v = v[1:-1]
        found.append(v.replace(b"\n", b" "))
    return found


def put(target, data):
    directory = CORPUS / target
    directory.mkdir(parents=True, exist_ok=True)
    (directory / hashlib.sha1(data).hexdigest()).write_bytes(data)


def enc(word):
    return word.encode("latin-1")


def main():
    cases = load_cases()
    for n, case in enumerate(cases):
        words = [enc(w) for w in case["args"]]
        response = b""
        for i, w in enumerate(words[:-1]):
            if w == b"--f" and (FILES / words[i + 1].decode("latin-1")).is_file():
                response = (FILES / words[i + 1].decode("latin-1")).read_bytes()
                words[i + 1] = b"@rsp"
                break
        body = b"\n".join(words) + b"\0" + response + b"\0" + case["stdin"]
        put("fuzz_program", b"x" + body)
        if n % 4 == 0:  # a few with tiny read blocks, to split pairs and tags
            put("fuzz_program", bytes([n % 7]) + body)

        tag = None
        for i, w in enumerate(case["args"]):
            following = case["args"][i + 1] if i + 1 < len(case["args"]) else None
            if w in ("-tag", "-t") and following is not None:
                tag = following
            elif w in ("-out", "-o") and following is not None:
                lines = [enc(following), enc(tag or "a")] + attribute_lines(case["stdin"], tag)
                put("fuzz_format", b"\n".join(lines) + bytes([n & 0xFF]))
            elif "=" in w and not w.startswith("-"):
                m = re.match(r"!?[^!=<>]*(!=|=)(.*)$", w, re.S)
                if m and not m.group(2).startswith("="):
                    subjects = values(case["stdin"]) or [b"", b"x"]
                    put("fuzz_pattern", b"\n".join([enc(m.group(2))] + subjects))


if __name__ == "__main__":
    main()
