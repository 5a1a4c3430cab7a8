#!/usr/bin/env bash
# Fuzzing of the readers of untrusted input (tests/fuzz/README.md).
#
#   scripts/fuzz.sh [TARGET|all] [SECONDS]   run one or every target for SECONDS
#                                            each (default 600), in parallel
#   scripts/fuzz.sh --ci                     the short run of every target that
#                                            the test script makes
#
# The targets are built with clang in build/fuzz. A longer run keeps what it
# found in build/fuzz/work/<target>/ and starts from there the next time;
# crash, hang, leak and out-of-memory inputs go to build/fuzz/findings/<target>/.
# Prints executions, features and crashes per target; exits 1 when any target
# found something.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=$ROOT/build/fuzz

MODE=long
TARGET=all
SECONDS_EACH=600
if [ "${1:-}" = "--ci" ]; then
  MODE=ci
else
  TARGET=${1:-all}
  SECONDS_EACH=${2:-600}
fi

# The short run: every target replays its seed corpus, then tries this many
# new inputs or runs this long, whichever comes first.
CI_RUNS=${RUTLINE_FUZZ_CI_RUNS:-20000}
CI_SECONDS=${RUTLINE_FUZZ_CI_SECONDS:-12}

JOBS=${RUTLINE_FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}

if [ ! -f "$BUILD/build.ninja" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRUTLINE_FUZZ=ON >/dev/null
fi
cmake --build "$BUILD" -j "$JOBS"

TARGETS=$(cat "$BUILD/fuzz_targets.txt")
if [ "$TARGET" != all ]; then
  case " $TARGETS " in
  *" $TARGET "*) TARGETS=$TARGET ;;
  *) echo "unknown fuzz target '$TARGET' (targets: $TARGETS)" >&2; exit 2 ;;
  esac
fi

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:suppressions=$ROOT/tests/ubsan.supp"

RESULTS=$BUILD/results
rm -rf "$RESULTS"
mkdir -p "$RESULTS"

# One target: its log in results/<target>.log, its findings beside it.
run_target() {
  t=$1
  findings=$BUILD/findings/$t
  mkdir -p "$findings"
  if [ "$MODE" = ci ]; then
    corpus=$BUILD/ci-work/$t
    rm -rf "$corpus"
    mkdir -p "$corpus"
    # A loaded 2-core machine must not turn a slow input into a failure; a
    # fixed seed makes the same commit try the same inputs each time.
    limits="-runs=$CI_RUNS -max_total_time=$CI_SECONDS -timeout=3 -seed=${RUTLINE_FUZZ_CI_SEED:-1}"
  else
    corpus=$BUILD/work/$t
    mkdir -p "$corpus"
    limits="-max_total_time=$SECONDS_EACH -timeout=1"
  fi
  dict=""
  if [ -f "$ROOT/tests/fuzz/dict/$t.dict" ]; then
    dict="-dict=$ROOT/tests/fuzz/dict/$t.dict"
  fi
  # New inputs go to the work corpus; the seeds and the regression cases are
  # read as well.
  regressions=""
  if [ -d "$ROOT/tests/fuzz/regressions/$t" ]; then
    regressions=$ROOT/tests/fuzz/regressions/$t
  fi
  status=0
  # shellcheck disable=SC2086
  (cd "$findings" && "$BUILD/tests/fuzz/fuzz_$t" $limits $dict -rss_limit_mb=2048 \
     -print_final_stats=1 -artifact_prefix="$findings/" \
     "$corpus" "$BUILD/corpus/$t" $regressions) >"$RESULTS/$t.log" 2>&1 || status=$?
  echo "$status" >"$RESULTS/$t.status"
}

# At most JOBS targets at a time.
running=0
for t in $TARGETS; do
  run_target "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$JOBS" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait

failed=0
printf '%-16s %12s %10s %9s %9s %8s\n' target executions exec/s coverage features crashes
for t in $TARGETS; do
  log=$RESULTS/$t.log
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
  status=$(cat "$RESULTS/$t.status" 2>/dev/null || echo 1)
  crashes=0
  if [ "$status" != 0 ]; then
    crashes=1
  fi
  printf '%-16s %12s %10s %9s %9s %8s\n' "$t" "${runs:-?}" "${speed:-?}" "${cov:-?}" "${ft:-?}" "$crashes"
done
for t in $TARGETS; do
  status=$(cat "$RESULTS/$t.status" 2>/dev/null || echo 1)
  if [ "$status" != 0 ]; then
    failed=1
    reproducer=$(sed -n 's/.*Test unit written to \(.*\)$/\1/p' "$RESULTS/$t.log" | tail -1)
    echo "FUZZ FAILURE: target $t: reproducer ${reproducer:-(none written)}; log $RESULTS/$t.log"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$RESULTS/$t.log" | head -5 || true
  fi
done
if [ "$failed" != 0 ]; then
  echo "Replay one with: build/fuzz/tests/fuzz/fuzz_<target> <reproducer>"
  exit 1
fi
echo "Fuzzing: no crash, hang, leak or out-of-memory in: $TARGETS"
