#!/usr/bin/env python3
"""Pack a folder of class files into the library archive.

The machine finds entries by walking local file headers, so every header must carry the
real sizes: entries are written whole (no data descriptors, flag bit 3 clear), with no
directory entries and no extra fields. Names are in a fixed order and time stamps fixed so that the
same classes always give the same archive.

Entries are stored, not deflated: every program start reads its first classes from this
archive, and a stored entry is read in place where a deflated one is inflated into fresh
memory each time a class is loaded. The archive is about 70% larger on disk for it.
"""
import os
import sys
import zipfile


# The class loader walks the archive from the start for every class it reads, so the classes
# needed first come first: java.lang (Object leading), then its subpackages, then the rest.
def order(name):
    if name == "java/lang/Object.class":
        rank = 0
    elif name.startswith("java/lang/") and name.count("/") == 2:
        rank = 1
    elif name.startswith("java/lang/"):
        rank = 2
    elif name.startswith("java/io/") or name.startswith("java/util/"):
        rank = 3
    else:
        rank = 4
    return (rank, name)


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: packzip.py <classes-dir> <out.zip>\n")
        return 2
    root, out = argv[1], argv[2]
    names = []
    for folder, _, files in os.walk(root):
        for f in files:
            if f.endswith(".class"):
                full = os.path.join(folder, f)
                names.append(os.path.relpath(full, root).replace(os.sep, "/"))
    names.sort(key=order)
    if not names:
        sys.stderr.write("packzip.py: no class files under %s\n" % root)
        return 1
    tmp = out + ".tmp"
    with zipfile.ZipFile(tmp, "w") as z:
        for name in names:
            with open(os.path.join(root, name), "rb") as fh:
                data = fh.read()
            info = zipfile.ZipInfo(name, date_time=(1999, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_STORED
            info.create_system = 0
            z.writestr(info, data)
    # Refuse an archive the machine could not walk rather than ship it.
    with zipfile.ZipFile(tmp) as z:
        for info in z.infolist():
            if info.flag_bits & 0x8 or info.extra:
                sys.stderr.write("packzip.py: %s has a data descriptor or extra field\n" % info.filename)
                os.remove(tmp)
                return 1
    os.replace(tmp, out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
