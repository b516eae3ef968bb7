#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer + ASan/UBSan) and runs each for a bounded time.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
secs=${1:-60}
dir=build-fuzz
CC=clang CXX=clang++ BUILD_DIR=$dir BUILD_TYPE=Debug scripts/build.sh \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DWINORVEX_BUILD_FUZZERS=ON -DWINORVEX_BUILD_TESTS=ON -DWINORVEX_BUILD_BENCH=OFF \
  -DWINORVEX_SANITIZE=address,undefined
status=0
for f in "$dir"/tests/fuzz/*_fuzz; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  seeds="tests/fuzz/seeds/$name"
  echo "== $name for ${secs}s"
  args=("$corpus")
  [ -d "$seeds" ] && args+=("$seeds")
  "$f" -max_total_time="$secs" -rss_limit_mb=2048 -print_final_stats=1 "${args[@]}" || status=1
done
exit $status
