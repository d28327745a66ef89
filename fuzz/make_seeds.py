#!/usr/bin/env python3
"""Makes the seeds every fuzz target starts from: make_seeds.py CLASSLIB_ZIP OUT_DIR.

The class library's class files, and archives of the two smallest (named p/A.class and
p/B.class, which the parser target looks up): stored, deflated, with a comment, and with
the sizes after each entry's data."""
import os
import sys
import zipfile


class Unseekable:
    """A stream zipfile cannot seek: it writes the sizes after each entry's data."""

    def __init__(self, f):
        self.f = f

    def write(self, b):
        return self.f.write(b)

    def flush(self):
        self.f.flush()

    def seekable(self):
        return False

    def tell(self):
        raise OSError('unseekable')


def main(library, out):
    z = zipfile.ZipFile(library)
    classes = [i for i in z.infolist() if i.filename.endswith('.class')]
    if not classes:
        sys.exit('make_seeds: no class files in ' + library)
    for i in classes:
        with open(os.path.join(out, i.filename.replace('/', '_')), 'wb') as f:
            f.write(z.read(i))
    small = sorted(classes, key=lambda i: (i.file_size, i.filename))[:2]
    for tag, method, comment, stream in [('stored', zipfile.ZIP_STORED, b'', False),
                                         ('deflated', zipfile.ZIP_DEFLATED, b'', False),
                                         ('commented', zipfile.ZIP_DEFLATED, b'an archive comment', False),
                                         ('descriptors', zipfile.ZIP_DEFLATED, b'', True)]:
        with open(os.path.join(out, 'archive_' + tag + '.zip'), 'wb') as f:
            archive = zipfile.ZipFile(Unseekable(f) if stream else f, 'w', method)
            for name, i in zip(['p/A.class', 'p/B.class'], small):
                # A fixed date keeps the seeds the same from build to build.
                archive.writestr(zipfile.ZipInfo(name, (1999, 1, 1, 0, 0, 0)), z.read(i), compress_type=method)
            archive.comment = comment
            archive.close()


if __name__ == '__main__':
    if len(sys.argv) != 3:
        sys.exit('usage: make_seeds.py CLASSLIB_ZIP OUT_DIR')
    main(sys.argv[1], sys.argv[2])
