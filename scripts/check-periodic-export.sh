#!/usr/bin/env bash
# The periodic export of a screenless station, as a race would run it: a headless station records
# a simulated reader with "ExportDetectionLines.BackgroundExport" BExport=1 and a 1-minute period.
# The export files must appear a little over a minute after start, and not before.
# Takes about 80 s. Uses build/ (BUILD_DIR) and builds what it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${BUILD_DIR:-build}
cmake --build "$BUILD_DIR" --target winorvex orvex-box-sim >/dev/null
STATION="$BUILD_DIR/src/main/winorvex"
SIM="$BUILD_DIR/tools/orvex-box-sim/orvex-box-sim"

data=$(mktemp -d "${TMPDIR:-/tmp}/winorvex-periodic.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$data"
}
trap cleanup EXIT

for n in $(seq 1 50); do printf '%d 0580%08X\r\n' $((100 + n)) "$n"; done >"$data/OrvexTable.dtb"
"$SIM" --port 0 --side-port 0 --rate 5 --chip-count 50 --quiet </dev/null >"$data/sim.ready" &
pids+=($!)
for _ in $(seq 1 100); do grep -q ' ready ' "$data/sim.ready" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/.*port=\([0-9]*\) side=\([0-9]*\).*/\1/p' "$data/sim.ready")
side=$(sed -n 's/.*port=\([0-9]*\) side=\([0-9]*\).*/\2/p' "$data/sim.ready")
mkdir -p "$data/out"
cat >"$data/WinORVEX.ini" <<INI
[OrvexBoxes]
BoxHost0=127.0.0.1
BoxPort0=$port
BoxIdDetector0=12
BoxSidePort0=$side
[ExportDetectionLines]
Delta=00:00:10
ExportPath=$data/out
GenericFilename=race
DisplayDetectionType=0
BZip=0
BFtpExport=0
[ExportDetectionLines.BackgroundExport]
BExport=1
ExportPeriodMinutes=1
INI

XDG_RUNTIME_DIR="$data" "$STATION" --headless --data-dir "$data" --lang en >"$data/station.out" 2>&1 &
station=$!
pids+=("$station")
start=$(date +%s)
sleep 50
if ls "$data/out"/race-*.rix >/dev/null 2>&1; then
  echo "check-periodic-export: FAILED: files written before the first minute was over" >&2
  exit 1
fi
while [ $(( $(date +%s) - start )) -lt 90 ]; do
  if ls "$data/out"/race-*.rix >/dev/null 2>&1; then
    echo "check-periodic-export: files written $(( $(date +%s) - start )) s after start:"
    ls "$data/out"
    exit 0
  fi
  sleep 1
done
echo "check-periodic-export: FAILED: no export file 90 s after start" >&2
tail -20 "$data/station.out" >&2
exit 1
