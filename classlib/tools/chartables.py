#!/usr/bin/env python3
"""Generate java/lang/CharacterData.java, the property tables behind java.lang.Character.

Usage: chartables.py UNICODE_DIR OUT_JAVA

Reads UnicodeData.txt and DerivedAge.txt of UNICODE_DIR (Debian's unicode-data installs them in
/usr/share/unicode). The library implements the 1.1-1.3 API, whose characters are those of
Unicode 2.1: a code point that a later release assigned is left unassigned here, and a case
mapping whose other end is such a code point is dropped.

The tables, as Java char strings:
- Each code point has a record: general category, numeric kind, and the deltas (mod 2^16) to
  its upper, lower and title case.
- A class is a pair of records, one for even and one for odd code points, so that the long
  alternating runs of capital and small letters (Latin Extended, Cyrillic, ...) cost one run.
- The runs: sorted first code points with a class each. Runs in page p (256 code points)
  are searched between PAGE[p] and PAGE[p + 1].
- A numeric value is stored as (code point - value) mod 2^16, so that a block of digits
  shares one record.
"""
import sys

MAX_AGE = (2, 1)

# The category numbers of the Java API.
CATEGORY = {
    "Cn": 0, "Lu": 1, "Ll": 2, "Lt": 3, "Lm": 4, "Lo": 5, "Mn": 6, "Me": 7, "Mc": 8, "Nd": 9,
    "Nl": 10, "No": 11, "Zs": 12, "Zl": 13, "Zp": 14, "Cc": 15, "Cf": 16, "Co": 18, "Cs": 19,
    "Pd": 20, "Ps": 21, "Pe": 22, "Pc": 23, "Po": 24, "Sm": 25, "Sc": 26, "Sk": 27, "So": 28,
    # The 1.1-1.3 API has no quotation categories: quotes open and close.
    "Pi": 21, "Pf": 22,
}

# Characters of Unicode 2.1 whose category later releases changed, with the one they had then
# (as the oldest data at hand, Unicode 3.2, still has it).
ERA_CATEGORY = [
    (0x00A7, 0x00A7, "So"), (0x00AA, 0x00AA, "Ll"), (0x00AD, 0x00AD, "Pd"), (0x00B6, 0x00B6, "So"),
    (0x00BA, 0x00BA, "Ll"), (0x0294, 0x0294, "Ll"), (0x02B9, 0x02BA, "Sk"), (0x02C6, 0x02CF, "Sk"),
    (0x0374, 0x0374, "Sk"), (0x05BE, 0x05BE, "Po"), (0x06DE, 0x06DE, "Me"), (0x0F14, 0x0F14, "So"),
    (0x200B, 0x200B, "Zs"), (0x207F, 0x207F, "Ll"), (0x2118, 0x2118, "So"), (0x2132, 0x2132, "So"),
    (0x2308, 0x230B, "Sm"), (0x302E, 0x302F, "Mn"), (0x30FB, 0x30FB, "Pc"), (0xFD3E, 0xFD3E, "Ps"),
    (0xFD3F, 0xFD3F, "Pe"), (0xFF65, 0xFF65, "Pc"),
]

NUM_NONE, NUM_INT, NUM_FRACTION = 0, 1, 2


def read_ages(path):
    assigned = bytearray(0x10000)
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            span, age = [x.strip() for x in line.split(";")]
            major, minor = (int(x) for x in age.split("."))
            if (major, minor) > MAX_AGE:
                continue
            lo, _, hi = span.partition("..")
            lo = int(lo, 16)
            hi = int(hi, 16) if hi else lo
            for c in range(lo, min(hi, 0xFFFF) + 1):
                assigned[c] = 1
    return assigned


def read_data(path):
    """code point -> (category, upper, lower, title, numeric field), ranges expanded."""
    data = {}
    first = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            fields = line.rstrip("\n").split(";")
            if len(fields) != 15:
                raise SystemExit("%s: malformed line: %r" % (path, line))
            c = int(fields[0], 16)
            if c > 0xFFFF:
                continue
            m = lambda s: int(s, 16) if s else None
            entry = (fields[2], m(fields[12]), m(fields[13]), m(fields[14]), fields[8])
            if fields[1].endswith(", First>"):
                first = c
                continue
            if fields[1].endswith(", Last>"):
                for x in range(first, c + 1):
                    data[x] = entry
                first = None
                continue
            data[c] = entry
    return data


def records(assigned, data):
    era = {}
    for lo, hi, cat in ERA_CATEGORY:
        for c in range(lo, hi + 1):
            era[c] = cat
    out = []
    for c in range(0x10000):
        if not assigned[c] or c not in data:
            out.append((0, NUM_NONE, 0, 0, 0, 0))
            continue
        cat, upper, lower, title, numeric = data[c]
        cat = era.get(c, cat)

        def delta(target):
            if target is None or not assigned[target]:
                return 0
            return (target - c) & 0xFFFF

        up = delta(upper)
        # Without a title case of its own a character takes its upper case.
        ti = delta(title) if title is not None else up
        kind, base = NUM_NONE, 0
        if numeric:
            if "/" in numeric:
                kind = NUM_FRACTION
            else:
                kind, base = NUM_INT, (c - int(numeric)) & 0xFFFF
        out.append((CATEGORY[cat], kind, up, delta(lower), ti, base))
    return out


def runs(recs):
    """[(first code point, (even record, odd record))], greedily extended."""
    result = []
    c = 0
    while c < 0x10000:
        slot = [None, None]
        start = c
        while c < 0x10000:
            r = recs[c]
            p = c & 1
            if slot[p] is None:
                slot[p] = r
            elif slot[p] != r:
                break
            c += 1
        if slot[0] is None:
            slot[0] = slot[1]
        if slot[1] is None:
            slot[1] = slot[0]
        result.append((start, tuple(slot)))
    return result


def java_string(chars):
    # Unicode escapes are translated before the source is lexed, so the quote, the backslash
    # and the line ends are written as ordinary escapes.
    parts = []
    for ch in chars:
        if ch in (0x22, 0x5C):
            parts.append("\\" + chr(ch))
        elif 0x20 <= ch < 0x7F:
            parts.append(chr(ch))
        elif ch < 0x100:
            parts.append("\\%03o" % ch)  # three digits: a digit after it stays a digit
        else:
            parts.append("\\u%04x" % ch)
    return '"' + "".join(parts) + '"'


def utf8_length(chars):
    return sum(1 if 0 < ch < 0x80 else 2 if ch < 0x800 else 3 for ch in chars)


def emit(name, chars, doc, lines, sizes):
    # A string constant is one modified UTF-8 entry of at most 65535 bytes.
    if utf8_length(chars) > 65535:
        raise SystemExit("table %s too large for one constant" % name)
    sizes.append(utf8_length(chars))
    lines.append("    /** %s */" % doc)
    lines.append("    static final char[] %s;" % name)
    return "        %s = %s.toCharArray();" % (name, java_string(chars))


def main(argv):
    if len(argv) != 3:
        raise SystemExit(__doc__)
    udir, out_path = argv[1], argv[2]
    assigned = read_ages(udir + "/DerivedAge.txt")
    data = read_data(udir + "/UnicodeData.txt")
    recs = records(assigned, data)
    run_list = runs(recs)

    record_index = {}
    class_index = {}
    classes = []
    for _, (even, odd) in run_list:
        for r in (even, odd):
            record_index.setdefault(r, len(record_index))
        key = (record_index[even], record_index[odd])
        if key not in class_index:
            class_index[key] = len(classes)
            classes.append(key)
    rec_list = sorted(record_index, key=record_index.get)

    starts = [s for s, _ in run_list]
    page = []
    i = 0
    for p in range(256):
        while i + 1 < len(starts) and starts[i + 1] <= p << 8:
            i += 1
        page.append(i)
    page.append(len(starts) - 1)

    lines = []
    inits = []
    sizes = []
    inits.append(emit("START", starts, "First code point of each run.", lines, sizes))
    inits.append(emit("CLASS", [class_index[(record_index[e], record_index[o])] for _, (e, o) in run_list],
                      "Class of each run.", lines, sizes))
    inits.append(emit("PAGE", page, "For each page of 256 code points, the run holding its first one; then the last run.",
                      lines, sizes))
    inits.append(emit("EVEN", [e for e, _ in classes], "Record of the even code points of each class.", lines, sizes))
    inits.append(emit("ODD", [o for _, o in classes], "Record of the odd code points of each class.", lines, sizes))
    inits.append(emit("KIND", [r[0] | r[1] << 5 for r in rec_list],
                      "Per record: category | numeric kind << 5 (0 none, 1 integer, 2 fraction).", lines, sizes))
    inits.append(emit("UPPER", [r[2] for r in rec_list], "Per record: upper case - code point, mod 2^16.", lines, sizes))
    inits.append(emit("LOWER", [r[3] for r in rec_list], "Per record: lower case - code point, mod 2^16.", lines, sizes))
    inits.append(emit("TITLE", [r[4] for r in rec_list], "Per record: title case - code point, mod 2^16.", lines, sizes))
    inits.append(emit("NUMBER", [r[5] for r in rec_list], "Per record: code point - numeric value, mod 2^16.", lines, sizes))

    text = [
        "package java.lang;",
        "",
        "// Generated by classlib/tools/chartables.py from the Unicode data files; do not edit.",
        "// %d runs, %d classes, %d records, %d bytes of constants." % (len(starts), len(classes), len(rec_list),
                                                                         sum(sizes)),
        "final class CharacterData {",
        "",
        "    private CharacterData() {",
        "    }",
        "",
    ] + lines + ["", "    static {"] + inits + ["    }", "}", ""]
    with open(out_path, "w", encoding="ascii") as f:
        f.write("\n".join(text))


if __name__ == "__main__":
    main(sys.argv)
