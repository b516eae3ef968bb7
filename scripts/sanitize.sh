#!/usr/bin/env bash
# Builds the libraries below the station with AddressSanitizer + UndefinedBehaviorSanitizer
# (or, with SANITIZE=thread, ThreadSanitizer) and runs their tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
SANITIZE=${SANITIZE:-address,undefined}
dir=build-$(echo "$SANITIZE" | tr ',' '-')
BUILD_DIR=$dir BUILD_TYPE=Debug scripts/build.sh -DWINORVEX_SANITIZE="$SANITIZE" -DWINORVEX_BUILD_BENCH=OFF -DWINORVEX_BUILD_STATION=OFF
cd "$dir"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
ctest --output-on-failure -j "$(nproc)" --timeout 600
