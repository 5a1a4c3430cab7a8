#!/bin/sh
# The whole test suite: installs what is missing, builds with AddressSanitizer
# and UBSan, runs every test, runs every fuzz target briefly (clang, in
# build/fuzz), and builds the benchmarks (without timing them).
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh

JOBS=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DRUTLINE_SANITIZE=ON -DRUTLINE_TESTS=ON -DRUTLINE_BENCH=OFF
cmake --build build/asan -j "$JOBS"

# Windows and OpenGL need a display: use a private X server when there is none.
run_ctest() {
  ctest --test-dir build/asan -j "$JOBS" --output-on-failure --no-tests=error
}
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 1280x1024x24" \
    ctest --test-dir build/asan -j "$JOBS" --output-on-failure --no-tests=error
else
  run_ctest
fi

# Each fuzz target replays its seeds and tries a bounded number of new inputs.
scripts/fuzz.sh --ci

cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DRUTLINE_SANITIZE=OFF -DRUTLINE_TESTS=OFF -DRUTLINE_BENCH=ON
cmake --build build/bench -j "$JOBS"

echo "All tests passed."
