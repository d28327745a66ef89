#!/usr/bin/env bash
# Fuzzes one target for a while (default 60 s):  fuzz/run.sh [seconds] [name]
# The name is that of a fuzz/<name>_fuzz.cpp: parser (the default) or flow so far.
# Builds the fuzz build in build-fuzz/ (clang -m32 with the address and undefined-behaviour
# sanitizers, libFuzzer where it links for -m32, else the standalone driver of
# fuzz/fuzz_common.h), then runs the target through fuzz/drive.sh from its seeds and the
# corpus it kept from earlier runs (build-fuzz/fuzz/corpus/<name>/). Inputs that fail land
# in build-fuzz/fuzz/artifacts/<name>/. `./pux test` runs every target the same way for
# 20 seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
SECONDS_TO_RUN=${1:-60}
NAME=${2:-parser}
NAME=${NAME%_fuzz}
[ -f "$ROOT/fuzz/${NAME}_fuzz.cpp" ] || { echo "no fuzz target fuzz/${NAME}_fuzz.cpp" >&2; exit 2; }
./pux setup
BUILD=$ROOT/build-fuzz
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_COMPILER=clang++ -DPUX_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$(nproc 2>/dev/null || echo 2)" --target "${NAME}_fuzz" >/dev/null
exec bash "$ROOT/fuzz/drive.sh" "$BUILD" "$NAME" "$SECONDS_TO_RUN"
