#!/usr/bin/env python3
"""Generate java/lang/CharacterData.java, the property tables behind java.lang.Character.

Usage: chartables.py UNICODE_DATA OUT_JAVA

UNICODE_DATA is the UnicodeData file of Unicode 2.1 (update 2.1.8, kept in classlib/unicode with
the licence notice that must travel with it): the release of the 1.1-1.3 API. Every property
comes from that file as it stands; a later release's data would move characters between
categories and case pairs (Georgian capitals, the micro sign, the Greek title-case letters).

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

# The category numbers of the Java API.
CATEGORY = {
    "Cn": 0, "Lu": 1, "Ll": 2, "Lt": 3, "Lm": 4, "Lo": 5, "Mn": 6, "Me": 7, "Mc": 8, "Nd": 9,
    "Nl": 10, "No": 11, "Zs": 12, "Zl": 13, "Zp": 14, "Cc": 15, "Cf": 16, "Co": 18, "Cs": 19,
    "Pd": 20, "Ps": 21, "Pe": 22, "Pc": 23, "Po": 24, "Sm": 25, "Sc": 26, "Sk": 27, "So": 28,
    # The 1.1-1.3 API has no quotation categories: quotes open and close.
    "Pi": 21, "Pf": 22,
}

NUM_NONE, NUM_INT, NUM_FRACTION = 0, 1, 2


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


def records(data):
    out = []
    for c in range(0x10000):
        if c not in data:
            out.append((0, NUM_NONE, 0, 0, 0, 0))
            continue
        cat, upper, lower, title, numeric = data[c]
        if cat not in CATEGORY:
            raise SystemExit("U+%04X: unknown category %s" % (c, cat))

        def delta(target):
            if target is None:
                return 0
            if target not in data:
                raise SystemExit("U+%04X: case mapping to the unassigned U+%04X" % (c, target))
            return (target - c) & 0xFFFF

        up = delta(upper)
        # Without a title case of its own a title-case letter is its own, any other character
        # takes its upper case.
        if title is not None:
            ti = delta(title)
        else:
            ti = 0 if cat == "Lt" else up
        kind, base = NUM_NONE, 0
        if numeric:
            if "/" in numeric:
                kind = NUM_FRACTION
            elif int(numeric) == -1:
                # U+09F8 counts -1: the API's answer for no value, and so kept as none.
                kind = NUM_NONE
            elif int(numeric) < 0:
                raise SystemExit("U+%04X: negative numeric value %s" % (c, numeric))
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
    data_path, out_path = argv[1], argv[2]
    data = read_data(data_path)
    if len(data) != 47400:
        raise SystemExit("%s: %d code points, Unicode 2.1 assigns 47400 below U+10000" % (data_path, len(data)))
    recs = records(data)
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
        "// Generated by classlib/tools/chartables.py from the Unicode 2.1.8 data file; do not edit.",
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
