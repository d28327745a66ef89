#!/usr/bin/env bash
# Fuzzes for a fixed time (default 60 s):  fuzz/run.sh [seconds] [parser|flow]
# (parser: the class-file parser, the default; flow: the flow analysis of every method
# of the classes that still load).
# Builds the machine's sources, the reference host and the target with clang -m32 and the
# address and undefined-behaviour sanitizers into build/fuzz/, seeds the corpus with the
# class files of build/classlib.zip and with archives of a few of them (stored, deflated,
# with a comment, with the sizes after the data), and runs libFuzzer (or, when clang
# cannot link libFuzzer for -m32, the standalone mutation driver of fuzz/fuzz_common.h).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_TO_RUN=${1:-60}
TARGET=${2:-parser}_fuzz
[ -f "$ROOT/fuzz/$TARGET.cpp" ] || { echo "no fuzz target fuzz/$TARGET.cpp" >&2; exit 2; }
OUT=$ROOT/build/fuzz
mkdir -p "$OUT/corpus" "$OUT/seeds"
[ -f "$ROOT/build/classlib.zip" ] || ./pux build
python3 - "$ROOT/build/classlib.zip" "$OUT/seeds" <<'PY'
import sys, zipfile, os
z = zipfile.ZipFile(sys.argv[1])
classes = [i for i in z.infolist() if i.filename.endswith('.class')]
for i in classes:
    open(os.path.join(sys.argv[2], i.filename.replace('/', '_')), 'wb').write(z.read(i))
# Archives whose entries the parser target looks up (p/A.class, p/B.class).
small = sorted(classes, key=lambda i: i.file_size)[:2]
class Unseekable:
    """A stream zipfile cannot seek: it writes the sizes after each entry's data."""
    def __init__(self, f): self.f = f
    def write(self, b): return self.f.write(b)
    def flush(self): self.f.flush()
    def seekable(self): return False
    def tell(self): raise OSError('unseekable')
for tag, method, comment, stream in [('stored', zipfile.ZIP_STORED, b'', False),
                                     ('deflated', zipfile.ZIP_DEFLATED, b'', False),
                                     ('commented', zipfile.ZIP_DEFLATED, b'an archive comment', False),
                                     ('descriptors', zipfile.ZIP_DEFLATED, b'', True)]:
    with open(os.path.join(sys.argv[2], 'archive_' + tag + '.zip'), 'wb') as f:
        out = zipfile.ZipFile(Unseekable(f) if stream else f, 'w', method)
        for name, i in zip(['p/A.class', 'p/B.class'], small):
            out.writestr(zipfile.ZipInfo(name), z.read(i), compress_type=method)
        out.comment = comment
        out.close()
PY
SOURCES="$(find "$ROOT/jvmsource" "$ROOT/host" -maxdepth 3 -name "*.cpp" | sort) $ROOT/tests/unit/classfile_support.cpp"
FLAGS=(-m32 -O1 -g -std=c++17 -fno-strict-aliasing -fsanitize=address,undefined
       -I"$ROOT/jvminclude" -I"$ROOT/jvmsource/javavm" -I"$ROOT/host" -DPUX_BUILD_DIR="\"$ROOT/build\"")
LIBS=(/usr/lib32/libz.so -lpthread -ldl)
if echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long){return 0;}' |
   clang++ -m32 -fsanitize=fuzzer -x c++ - -o "$OUT/probe" >/dev/null 2>&1; then
  clang++ "${FLAGS[@]}" -fsanitize=fuzzer "$ROOT/fuzz/$TARGET.cpp" $SOURCES "${LIBS[@]}" \
    -o "$OUT/$TARGET"
  PUX_FUZZ_CLASSPATH="$ROOT/build/classlib.zip" \
    "$OUT/$TARGET" -max_total_time="$SECONDS_TO_RUN" -max_len=65536 -rss_limit_mb=4096 \
    "$OUT/corpus" "$OUT/seeds"
else
  clang++ "${FLAGS[@]}" -DPUX_FUZZ_STANDALONE "$ROOT/fuzz/$TARGET.cpp" $SOURCES "${LIBS[@]}" \
    -o "$OUT/$TARGET"
  PUX_FUZZ_CLASSPATH="$ROOT/build/classlib.zip" "$OUT/$TARGET" "$SECONDS_TO_RUN" "$OUT/seeds"
fi
