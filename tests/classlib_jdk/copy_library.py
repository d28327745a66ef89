#!/usr/bin/env python3
"""Copy the class library's pure-Java classes under the package t (java.lang -> t.lang,
java.util -> t.util, java.io -> t.io), so that they compile and run on the JDK of the build
machine next to its own classes, which the checks compare them with.

Usage: copy_library.py LIBRARY_SRC GENERATED_SRC OUT_DIR

What the machine provides natively is replaced by the JDK's equivalent:
- Double.valueOf0 (correctly rounded decimal reading) by Double.parseDouble;
- the bit casts by the JDK's raw casts, which keep NaN payloads as the machine's do;
- the Math natives by StrictMath, Math.random's generator by the JDK's;
- String conversions by our own codec: the shim t.lang.Codecs stands for the String
  methods that the library's streams call;
- ThreadGroup's members are the JDK's threads, its system group is made by the shim
  t.lang.GroupAccess, which also reaches the add and remove that the machine calls; the
  natives that change the members under the machine's lock take the shim's lock instead.
The library's own String is copied too, as t.lang.JString beside the JDK's String (of, window
and str cross between the two), and StringBuffer.toString goes through it: the checks run the
library's String(StringBuffer) itself and may keep the JString it makes, without the copy a
conversion to the JDK's String would make, to see whether it changes afterwards.

The machine's monitors take no lock, so every synchronized modifier and block is taken out of
the copies: the checks, racing threads included, run the library as the machine does.
Every replacement must apply exactly as written, so a change in the library that breaks
one fails here instead of silently testing something else.
"""
import os
import re
import shutil
import sys

LANG = ["NumberText", "BigNat", "Integer", "Long", "Short", "Byte", "Double", "Float", "Character",
        "Math", "StringBuffer", "CharCodec", "ThreadGroup"]
# java.io classes over the machine's file natives stay out.
IO_EXCLUDED = {"File", "FileDescriptor", "FileInputStream", "FileOutputStream", "FilenameFilter",
               "RandomAccessFile"}
# Resource bundles find their classes and files through the machine's class context and
# class loading: they are checked on the machine.
UTIL_EXCLUDED = {"ResourceBundle", "ListResourceBundle", "PropertyResourceBundle"}

SHIMS = {
    "t/lang/GroupAccess.java": """package t.lang;

/** What the machine does with ThreadGroup: makes the system group, adds and removes threads. */
public final class GroupAccess {
    private GroupAccess() {
    }

    public static ThreadGroup system() {
        return new ThreadGroup();
    }

    public static void add(ThreadGroup g, Thread t) {
        g.add(t);
    }

    public static void remove(ThreadGroup g, Thread t) {
        g.remove(t);
    }

    /** The machine's lock over every group's members. */
    static final java.util.concurrent.locks.ReentrantLock LOCK = new java.util.concurrent.locks.ReentrantLock();
}
""",
    "t/lang/Codecs.java": """package t.lang;

/** The library's String conversions, by encoding name, over its codec. */
public final class Codecs {
    private Codecs() {
    }

    private static int lookup(String enc) throws t.io.UnsupportedEncodingException {
        try {
            return CharCodec.lookup(enc);
        } catch (java.io.UnsupportedEncodingException e) {
            throw new t.io.UnsupportedEncodingException(enc);
        }
    }

    /** new String(b, off, len, enc) */
    public static String chars(byte[] b, int off, int len, String enc) throws t.io.UnsupportedEncodingException {
        return new String(CharCodec.decode(lookup(enc), b, off, len));
    }

    /** s.getBytes(enc) */
    public static byte[] bytes(String s, String enc) throws t.io.UnsupportedEncodingException {
        char[] v = s.toCharArray();
        return CharCodec.encode(lookup(enc), v, 0, v.length);
    }

    /** s.getBytes() and new String(b): the default encoding. */
    public static byte[] bytes(String s) {
        char[] v = s.toCharArray();
        return CharCodec.encode(CharCodec.defaultCodec(), v, 0, v.length);
    }

    public static String chars(byte[] b) {
        return new String(CharCodec.decode(CharCodec.defaultCodec(), b, 0, b.length));
    }
}
""",
}


# ThreadGroup's natives, as the machine makes them under its lock.
LOCKED = """
        GroupAccess.LOCK.lock();
        try {%s
        } finally {
            GroupAccess.LOCK.unlock();
        }
    """
GROUP_NATIVES = [
    ("boolean swapThreads(Thread[] old, Thread[] now, boolean start)", """
            if (threads != old || start && destroyed) return false;
            threads = now;
            if (start && unstarted > 0) unstarted--;
            return true;"""),
    ("boolean swapGroups(ThreadGroup[] old, ThreadGroup[] now, boolean add)", """
            if (groups != old || add && destroyed) return false;
            groups = now;
            return true;"""),
    ("boolean countUnstarted()", """
            if (destroyed) return false;
            unstarted++;
            return true;"""),
    ("boolean destroyIfEmpty(boolean noneUnstarted)", """
            if (destroyed || threads != null || groups != null || noneUnstarted && unstarted != 0) return false;
            destroyed = true;
            return true;"""),
    # No thread of the JDK's is attached by a host.
    ("int attached(Thread[] list)", """
            return 0;"""),
]


def sub(text, old, new, path, count=1):
    found = text.count(old)
    if found != count:
        raise SystemExit("%s: expected %d of %r, found %d" % (path, count, old, found))
    return text.replace(old, new)


def without_monitors(rel, text):
    text = re.sub(r"\bsynchronized\s*\([^()]*\)\s*\{", "{", text)
    text = re.sub(r"\bsynchronized\s+", "", text)
    if "synchronized" in text:
        raise SystemExit(rel + ": a synchronized left that the copy cannot take out")
    return text


def rewrite(path, text):
    rel = path.replace(os.sep, "/")
    text = re.sub(r"^package java\.(lang|util|io);", r"package t.\1;", text, count=1, flags=re.M)
    text = re.sub(r"\bjava\.io\.([A-Z])", r"t.io.\1", text) if not rel.startswith("t/lang/") else text
    text = re.sub(r"\bjava\.util\.([A-Z])", r"t.util.\1", text)
    text = re.sub(r"^import java\.io\.", "import t.io.", text, flags=re.M) if not rel.startswith("t/lang/") else text
    text = re.sub(r'Class\.getPrimitiveClass\("[a-z]+"\)', "null", text)
    if rel == "t/lang/Double.java":
        text = sub(text, "private static native double valueOf0(String s);",
                   "private static double valueOf0(String s) { return java.lang.Double.parseDouble(s); }", rel)
        text = sub(text, "public static native long doubleToLongBits(double value);",
                   "public static long doubleToLongBits(double value) "
                   "{ return java.lang.Double.doubleToRawLongBits(value); }", rel)
        text = sub(text, "public static native double longBitsToDouble(long bits);",
                   "public static double longBitsToDouble(long bits) "
                   "{ return java.lang.Double.longBitsToDouble(bits); }", rel)
    if rel == "t/lang/Float.java":
        text = sub(text, "public static native int floatToIntBits(float value);",
                   "public static int floatToIntBits(float value) "
                   "{ return java.lang.Float.floatToRawIntBits(value); }", rel)
        text = sub(text, "public static native float intBitsToFloat(int bits);",
                   "public static float intBitsToFloat(int bits) { return java.lang.Float.intBitsToFloat(bits); }",
                   rel)
    if rel == "t/lang/Math.java":
        def native(m):
            args = ", ".join(a.split()[-1] for a in m.group(2).split(","))
            return "public static double %s(%s) { return java.lang.StrictMath.%s(%s); }" % (
                m.group(1), m.group(2), m.group(1), args)
        text, n = re.subn(r"public static native double (\w+)\(([^)]*)\);", native, text)
        if n == 0:
            raise SystemExit(rel + ": no natives replaced")
        text = sub(text, "return MathRandom.next();", "return java.lang.Math.random();", rel)
    if rel == "t/lang/ThreadGroup.java":
        text = sub(text, "private ThreadGroup() {", "ThreadGroup() {", rel)
        text = sub(text, "this(Thread.currentThread().getThreadGroup(), name);", "this(new ThreadGroup(), name);", rel)
        text = sub(text, "sm.checkAccess(this);", "sm.checkAccess(Thread.currentThread());", rel)
        for native, body in GROUP_NATIVES:
            text = sub(text, "private native " + native + ";", "private " + native + " {" + LOCKED % body + "}", rel)
    if rel == "t/lang/StringBuffer.java":
        text = sub(text, "return new String(this);", "return new JString(this).str();", rel)
    if rel == "t/io/CharCoder.java":
        text = sub(text, "return new String(in, off, len, enc);", "return t.lang.Codecs.chars(in, off, len, enc);",
                   rel)
        text = sub(text, "return s.getBytes(enc);", "return t.lang.Codecs.bytes(s, enc);", rel)
    if rel == "t/io/ByteArrayOutputStream.java":
        text = sub(text, "return new String(b, 0, used(b, count), enc);", "return t.lang.Codecs.chars(b, 0, used(b, count), enc);",
                   rel)
    return text


def library_string(text):
    """java.lang.String as t.lang.JString: the library's own String, beside the JDK's, with
    of/window/str to cross between the two."""
    rel = "t/lang/JString.java"
    text = sub(text, "package java.lang;", "package t.lang;", rel)
    text = sub(text, "import java.io.UnsupportedEncodingException;", "", rel)
    text = re.sub(r"\bString\b", "JString", text)
    text = text.replace("UnsupportedEncodingException", "java.io.UnsupportedEncodingException")
    text = sub(text, "CharCodec.lookup(enc)", "CharCodec.lookup(enc.str())", rel, count=2)
    text = sub(text, "public JString toString() {\n        return this;",
               "public java.lang.String toString() {\n        return str();", rel)
    text = sub(text, 'return obj == null ? "null" : obj.toString();',
               'return obj == null ? of("null") : of(obj.toString());', rel)
    text = sub(text, 'return b ? "true" : "false";', 'return of(b ? "true" : "false");', rel)
    for call in ("Integer.toString(i, 10)", "Long.toString(l, 10)", "Float.toString(f)", "Double.toString(d)"):
        text = sub(text, "return %s;" % call, "return of(%s);" % call, rel)
    text = sub(text, "public native JString intern();", """public static JString of(java.lang.String s) {
        char[] v = s.toCharArray();
        return new JString(0, v.length, v);
    }

    /** The chars of s from off, len of them, seen through a window of the whole array, as substring makes. */
    public static JString window(java.lang.String s, int off, int len) {
        char[] v = s.toCharArray();
        return new JString(off, len, v);
    }

    public java.lang.String str() {
        return new java.lang.String(value, offset, count);
    }""", rel)
    return text


def main(argv):
    if len(argv) != 4:
        raise SystemExit(__doc__)
    src, gen, out = argv[1:]
    if os.path.exists(out):
        shutil.rmtree(out)
    files = [(os.path.join(src, "java/lang", n + ".java"), "t/lang/%s.java" % n) for n in LANG]
    files.append((os.path.join(gen, "java/lang/CharacterData.java"), "t/lang/CharacterData.java"))
    for pkg in ("util", "io"):
        for name in sorted(os.listdir(os.path.join(src, "java", pkg))):
            stem, ext = os.path.splitext(name)
            if ext == ".java" and not (pkg == "io" and stem in IO_EXCLUDED) and not (
                    pkg == "util" and stem in UTIL_EXCLUDED):
                files.append((os.path.join(src, "java", pkg, name), "t/%s/%s" % (pkg, name)))
    listed = []
    for path, rel in files:
        with open(path, encoding="utf-8") as f:
            text = rewrite(rel, f.read())
        listed.append(write(out, rel, without_monitors(rel, text)))
    with open(os.path.join(src, "java/lang/String.java"), encoding="utf-8") as f:
        text = library_string(f.read())
    listed.append(write(out, "t/lang/JString.java", without_monitors("t/lang/JString.java", text)))
    for rel, text in SHIMS.items():
        listed.append(write(out, rel, text))
    with open(os.path.join(out, "sources.txt"), "w", encoding="utf-8") as f:
        f.write("\n".join(listed) + "\n")


def write(out, rel, text):
    dest = os.path.join(out, rel)
    os.makedirs(os.path.dirname(dest), exist_ok=True)
    with open(dest, "w", encoding="utf-8") as f:
        f.write(text)
    return dest


if __name__ == "__main__":
    main(sys.argv)
