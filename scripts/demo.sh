#!/usr/bin/env bash
# Watch the station work: installs what is missing, builds the acquisition tool and the reader
# simulator, starts two simulated readers on free loopback ports, and records their reads into a
# scratch data folder for about 20 seconds (DEMO_SECONDS), or until Ctrl-C. Midway, reader 1 goes
# away for two seconds: its box is lost, reconnected, and reads again. Everything started here is
# stopped before the script ends; the data folder is kept for a look.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
BUILD_DIR=${BUILD_DIR:-build}
RUN_SECONDS=${DEMO_SECONDS:-20}
# An existing build folder keeps its build type unless BUILD_TYPE says otherwise.
type_arg=()
if [ -n "${BUILD_TYPE:-}" ] || [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  type_arg=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}")
fi
cmake -S . -B "$BUILD_DIR" -G Ninja "${type_arg[@]}" >/dev/null
cmake --build "$BUILD_DIR" --target winorvex-acquire orvex-box-sim -j "$(nproc)"
SIM="$BUILD_DIR/tools/orvex-box-sim/orvex-box-sim"
ACQUIRE="$BUILD_DIR/tools/acquire/winorvex-acquire"

data=$(mktemp -d "${TMPDIR:-/tmp}/winorvex-demo.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

say() { printf 'demo: %s\n' "$*" >&2; }

# A chip table of 300 chips, bibs 101 to 400, in the chip order of the simulator.
for n in $(seq 1 300); do printf '%d 0580%08X\r\n' $((100 + n)) "$n"; done >"$data/OrvexTable.dtb"

# Starts a simulated reader and sets reader_port, reader_side and reader_control once it listens.
start_reader() {
  local ready="$data/$1.ready"
  "$SIM" --port 0 --side-port 0 --control-port 0 --rate "$2" --chip-count 300 --seed "$3" --quiet \
    </dev/null >"$ready" &
  pids+=($!)
  for _ in $(seq 1 100); do
    if grep -q ' ready ' "$ready" 2>/dev/null; then
      read -r reader_port reader_side reader_control < <(
        sed -n 's/.*port=\([0-9]*\) side=\([0-9]*\) control=\([0-9]*\).*/\1 \2 \3/p' "$ready")
      return 0
    fi
    sleep 0.05
  done
  say "the reader simulator did not start"
  return 1
}

# One command on a simulator's control channel.
control() {
  local reply=""
  if ! exec 3<>"/dev/tcp/127.0.0.1/$1"; then
    say "cannot reach the reader's control port $1"
    return 0
  fi
  printf '%s\n' "$2" >&3
  read -r -t 2 reply <&3 || true
  exec 3<&-
  say "reader answers: $reply"
}

start_reader reader1 3 1
port1=$reader_port side1=$reader_side control1=$reader_control
start_reader reader2 2 2
port2=$reader_port side2=$reader_side
cat >"$data/WinORVEX.ini" <<EOF
[Settings]
GBoxReconnectSeconds=30
[OrvexBoxes]
BoxHost0=127.0.0.1
BoxPort0=$port1
BoxIdDetector0=1
BoxSidePort0=$side1
BoxHost1=127.0.0.1
BoxPort1=$port2
BoxIdDetector1=2
BoxSidePort1=$side2
EOF
say "readers on 127.0.0.1:$port1 and 127.0.0.1:$port2, data folder $data"
say "recording for $RUN_SECONDS s (Ctrl-C stops earlier)"

"$ACQUIRE" --data-dir "$data" --seconds "$RUN_SECONDS" --lang en &
acquire=$!
pids+=("$acquire")
stopping=0
trap 'stopping=1; kill -TERM "$acquire" 2>/dev/null || true' INT TERM

half=$((RUN_SECONDS * 5))  # tenths of a second
for _ in $(seq 1 "$half"); do
  [ "$stopping" = 0 ] && kill -0 "$acquire" 2>/dev/null || break
  sleep 0.1 || true  # Ctrl-C ends the sleep too
done
if [ "$stopping" = 0 ] && kill -0 "$acquire" 2>/dev/null; then
  say "reader 1 goes away for 2 seconds"
  control "$control1" "away 2000"
fi
while kill -0 "$acquire" 2>/dev/null; do wait "$acquire" 2>/dev/null || true; done

file=$(ls "$data"/logfiles/WinORVEX-*.dat 2>/dev/null | head -n 1 || true)
if [ -n "$file" ]; then
  say "$(wc -l <"$file") detections recorded in $file"
else
  say "no detection file in $data/logfiles"
fi
say "log file: $data/logfiles/WinORVEX.log"
