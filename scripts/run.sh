#!/bin/sh
# Builds the game (Release) and its default data, then starts it from the
# packed data ("rutline.saf"). Arguments go to the game, e.g.
#   ./scripts/run.sh --width 1280 --height 720
set -eu
cd "$(dirname "$0")/.."

scripts/setup.sh

JOBS=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DRUTLINE_SANITIZE=OFF -DRUTLINE_TESTS=OFF -DRUTLINE_BENCH=OFF
cmake --build build/release -j "$JOBS" --target rutline gamedata

KZ_HOME="$PWD/build/release/gamedata/packed"
export KZ_HOME
exec build/release/main/rutline "$@"
