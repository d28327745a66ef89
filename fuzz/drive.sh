#!/usr/bin/env bash
# Runs one fuzz target of a fuzz build (cmake -DPUX_FUZZ=ON), the same way for ctest and
# for fuzz/run.sh:
#   drive.sh [--fresh] BUILD NAME SECONDS   fuzz BUILD/fuzz/NAME_fuzz for SECONDS from its seeds
#   drive.sh --replay BUILD NAME            run each input of fuzz/regressions/NAME/ once
# The seeds: the build's (the class library's class files and archives of them),
# fuzz/seeds/NAME/ and fuzz/regressions/NAME/. New inputs that reach new code go to
# BUILD/fuzz/corpus/NAME/ (kept from run to run) or, with --fresh, to an empty
# BUILD/fuzz/ci/NAME/. An input that crashes, trips a sanitizer, leaks or hangs is
# written to BUILD/fuzz/artifacts/NAME/ and the run fails.
set -uo pipefail
MODE=fuzz
case "${1:-}" in
  --fresh) MODE=fresh; shift ;;
  --replay) MODE=replay; shift ;;
esac
[ $# -ge 2 ] || { echo "usage: drive.sh [--fresh|--replay] BUILD NAME [SECONDS]" >&2; exit 2; }
BUILD=$(cd "$1" && pwd)
NAME=$2
SECONDS_TO_RUN=${3:-20}
SRC=$(cd "$(dirname "$0")" && pwd)
BIN=$BUILD/fuzz/${NAME}_fuzz
[ -x "$BIN" ] || { echo "drive.sh: $BIN is not built" >&2; exit 2; }
ART=$BUILD/fuzz/artifacts/$NAME
mkdir -p "$ART"
export PUX_FUZZ_CLASSPATH=$BUILD/classlib.zip
# Every report is fatal and has its stack; leaks count as failures, whatever the
# environment says (the last setting of an option wins).
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=1:halt_on_error=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1:halt_on_error=1"
# An input that runs this long hangs: every seed takes well under a second, sanitized.
TIMEOUT=25
OPTS=(-timeout=$TIMEOUT -rss_limit_mb=2048 -max_len=65536 -artifact_prefix="$ART/")

STAMP=$BUILD/fuzz/$NAME.started
touch "$STAMP"
SUMMARY=$BUILD/fuzz/$NAME.summary
[ "$MODE" = replay ] && SUMMARY=$BUILD/fuzz/$NAME.regressions.summary
failed() {
  echo "$NAME: FAILED: $1" > "$SUMMARY"
  # The cause in a few lines, in the summary that ./pux test prints last: a long log
  # shown cut in the middle would otherwise lose it.
  if [ -f "${LOG:-}" ]; then
    grep -E "ERROR: |SUMMARY: |^${NAME}_fuzz: |^standalone driver: |^    #[0-9] " "$LOG" | head -n 16 |
      sed 's/^/    /' >> "$SUMMARY"
  fi
  echo "FAILED: ${NAME}_fuzz $1" >&2
  find "$ART" -type f -newer "$STAMP" | while read -r f; do
    echo "  failing input: $f (replay: $BIN $f)" >&2
    # Small inputs travel in the summary too, so that a failure seen only in a log can be
    # replayed elsewhere (base64 -d).
    if [ "$(stat -c %s "$f")" -le 6144 ]; then
      echo "    input $(basename "$f") in base64:" >> "$SUMMARY"
      base64 -w 100 "$f" | sed 's/^/    /' >> "$SUMMARY"
    fi
  done
  echo "  Once the fault is mended, keep the input as fuzz/regressions/$NAME/<what it found>," >&2
  echo "  so that every run replays it." >&2
  exit 1
}

if [ "$MODE" = replay ]; then
  shopt -s nullglob
  inputs=("$SRC/regressions/$NAME"/*)
  [ ${#inputs[@]} -gt 0 ] || { echo "drive.sh: no inputs in fuzz/regressions/$NAME" >&2; exit 2; }
  "$BIN" "${OPTS[@]}" "${inputs[@]}" || failed "fails on a kept regression input"
  echo "$NAME: ${#inputs[@]} regression inputs replayed, no failure" | tee "$SUMMARY"
  exit 0
fi

# A fresh run gates the test suite, so it draws its mutations from a fixed seed: what it
# finds it finds again on the next run and on another machine. Fuzzing to explore
# (fuzz/run.sh) draws a new seed each time. PUX_FUZZ_SEED chooses one for either.
SEED=${PUX_FUZZ_SEED:-}
if [ "$MODE" = fresh ]; then
  CORPUS=$BUILD/fuzz/ci/$NAME
  rm -rf "$CORPUS"
  SEED=${SEED:-20261207}
else
  CORPUS=$BUILD/fuzz/corpus/$NAME
fi
[ -n "$SEED" ] && OPTS+=(-seed="$SEED")
mkdir -p "$CORPUS"
DIRS=("$CORPUS" "$BUILD/fuzz/seeds")
for d in "$SRC/seeds/$NAME" "$SRC/regressions/$NAME"; do
  [ -d "$d" ] && DIRS+=("$d")
done
LOG=$BUILD/fuzz/$NAME.log
"$BIN" "${OPTS[@]}" -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 "${DIRS[@]}" 2>&1 | tee "$LOG"
rc=${PIPESTATUS[0]}
[ "$rc" -eq 0 ] || failed "failed (exit status $rc)"
# Both drivers end on "Done N runs in S second(s)".
read -r runs secs < <(sed -nE 's/^Done ([0-9]+) runs in ([0-9]+) second.*/\1 \2/p' "$LOG" | tail -n 1)
[ -n "${runs:-}" ] || failed "ended without saying how many runs it made"
echo "$NAME: $runs runs in $secs s ($(( runs / (secs > 0 ? secs : 1) )) a second), $(ls "$CORPUS" | wc -l) new inputs kept, no failure" |
  tee "$SUMMARY"
