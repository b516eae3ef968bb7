#!/usr/bin/env bash
# Pictures of the main window for docs/screenshots/, in French and in English. Runs
# `winorvex --demo` (simulated readers and results program) under a virtual X server; the
# window grabs itself once detections have been flowing for SCREENSHOT_DELAY_MS (default 6000),
# saves the PNG and shuts the station down. The window paints its own picture, so nothing that
# covers it on the virtual screen ends up in the file.
#   scripts/screenshots.sh            # uses build/src/main/winorvex, builds it when missing
#   WINORVEX_BIN=path OUT_DIR=folder SCREENSHOT_DELAY_MS=8000 scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."

BUILD_DIR=${BUILD_DIR:-build}
BIN=${WINORVEX_BIN:-$BUILD_DIR/src/main/winorvex}
OUT_DIR=${OUT_DIR:-docs/screenshots}
DELAY_MS=${SCREENSHOT_DELAY_MS:-6000}

if ! command -v xvfb-run >/dev/null; then
  echo "screenshots: xvfb-run is missing (apt-get install xvfb)" >&2
  exit 1
fi
if [ ! -x "$BIN" ]; then
  cmake --build "$BUILD_DIR" --target winorvex
fi
mkdir -p "$OUT_DIR"
out_abs=$(cd "$OUT_DIR" && pwd)

status=0
for lang in fr en; do
  picture="$out_abs/main-window-$lang.png"
  rm -f "$picture"
  # The station's own time-out is the picture; this one only guards against a hang.
  WINORVEX_SCREENSHOT="$picture" WINORVEX_SCREENSHOT_DELAY_MS="$DELAY_MS" WINORVEX_SCREENSHOT_DIALOGS=1 \
    timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" "$BIN" --demo --lang "$lang" || true
  if [ -s "$picture" ]; then
    echo "screenshots: $picture"
  else
    echo "screenshots: no picture for --lang $lang" >&2
    status=1
  fi
done
exit $status
