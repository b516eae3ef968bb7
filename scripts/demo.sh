#!/usr/bin/env bash
# Watch the station work: installs what is missing, builds the station and the reader simulator,
# and starts `winorvex --demo`: a scratch data folder with two simulated readers on free loopback
# ports as boxes 1 and 2, connected at once, so detections flow from the first second.
# With a display the main window opens (close it, or Escape, to stop); without one the headless
# station prints its log until Ctrl-C, or for DEMO_SECONDS seconds when that is set.
# Extra arguments go to winorvex (for example --lang en).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
type_arg=()
if [ -n "${BUILD_TYPE:-}" ] || [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  type_arg=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}")
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "${type_arg[@]}" >/dev/null
cmake --build "$BUILD_DIR" --target winorvex orvex-box-sim winorvex-results-sim -j "$(nproc)" 2>/dev/null ||
  cmake --build "$BUILD_DIR" --target winorvex orvex-box-sim -j "$(nproc)"
STATION="$BUILD_DIR/src/main/winorvex"

mode=()
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "demo: no display: running the station without windows (Ctrl-C stops it)" >&2
  mode=(--headless)
fi
if [ -n "${DEMO_SECONDS:-}" ]; then
  exec timeout --preserve-status -s TERM "$DEMO_SECONDS" "$STATION" --demo "${mode[@]}" "$@"
fi
exec "$STATION" --demo "${mode[@]}" "$@"
