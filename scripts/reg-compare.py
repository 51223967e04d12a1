#!/usr/bin/env python3
"""Compares two registry files by their keys and values, not their bytes.

    scripts/reg-compare.py A.reg B.reg

Reads version 5 (UTF-16LE) and REGEDIT4 (ANSI, Windows-1252) files on its own, apart from
Kestrel's reader, so that a test comparing through it checks that reader too. Key paths and
value names compare without regard to case, as the registry does. Text values compare as their
UTF-16 form, so "text" and hex(1):... holding the same text are equal. Prints each difference
and exits 1 when there is one.
"""
import sys


def decode(raw):
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le"), True
    return raw.decode("cp1252", errors="replace"), False


def unquote(text, start):
    """The quoted text starting at text[start] == '"'; returns (value, index after it)."""
    out = []
    i = start + 1
    escapes = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "0": "\0"}
    while i < len(text):
        c = text[i]
        if c == '"':
            return "".join(out), i + 1
        if c == "\\" and i + 1 < len(text):
            nxt = text[i + 1]
            out.append(escapes.get(nxt, "\\" + nxt))
            i += 2
            continue
        out.append(c)
        i += 1
    raise ValueError("unterminated text: " + text)


def parse(path):
    text, unicode = decode(open(path, "rb").read())
    lines = text.replace("\r\n", "\n").split("\n")
    keys = {}
    current = None
    i = 1
    while i < len(lines):
        line = lines[i].strip()
        i += 1
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            name = line[1 : line.rindex("]")]
            current = keys.setdefault(name.lower(), {"": name})
            continue
        if line.startswith("@"):
            name, rest = "", line[1:]
        else:
            name, end = unquote(line, 0)
            rest = line[end:]
        rest = rest.lstrip()[1:].lstrip()  # past "="
        if rest.startswith('"'):
            value = unquote(rest, 0)[0]
            current["\0" + name.lower()] = (name, 1, (value + "\0").encode("utf-16-le"))
            continue
        if rest.startswith("dword:"):
            current["\0" + name.lower()] = (name, 4, int(rest[6:], 16).to_bytes(4, "little"))
            continue
        kind = 3
        if rest.startswith("hex("):
            kind = int(rest[4 : rest.index(")")], 16)
        data = rest[rest.index(":") + 1 :]
        while data.rstrip().endswith("\\"):
            data = data.rstrip()[:-1] + lines[i].strip()
            i += 1
        raw = bytes(int(b, 16) for b in data.replace(" ", "").split(",") if b)
        if kind in (1, 2, 7) and not unicode:
            raw = raw.decode("cp1252", errors="replace").encode("utf-16-le")
        current["\0" + name.lower()] = (name, kind, raw)
    return keys


def main():
    left, right = parse(sys.argv[1]), parse(sys.argv[2])
    problems = []
    for key in sorted(set(left) | set(right)):
        if key not in left or key not in right:
            where = sys.argv[2] if key not in right else sys.argv[1]
            problems.append("key [%s] missing from %s" % ((left.get(key) or right[key])[""], where))
            continue
        a, b = left[key], right[key]
        for value in sorted((set(a) | set(b)) - {""}):
            if a.get(value) != b.get(value):
                problems.append("[%s] %r: %r != %r" % (a[""], value[1:], a.get(value), b.get(value)))
    for problem in problems:
        print(problem)
    count = sum(len(k) - 1 for k in left.values())
    print("%d keys, %d values compared, %d differences" % (len(left), count, len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
