#!/usr/bin/env bash
# The live path beside its durable limit, on the same stream, in one run (see bench/README.md).
#
#   bench/live_ratio.sh [--boxes B] [--reads N] [--chips C] [--runs R] [--folder DIR] [--perf FILE]
#
# Each run streams N reads per box from B simulated Lite readers (orvex-box-sim, as fast as the
# link takes them, C generated chips) twice: once into line_sink_limit (one write() per line into
# one file: the limit), once into winorvex-acquire (the station without windows, repeat gap 0, the
# C chips in its table). Both are timed the same way, start-up included: from the moment the
# process is started to the modification time of its file once the file holds every read (the
# last line handed to the kernel). A run fails unless every read is in the file, per box for the
# station. Prints both rates and their ratio per run, then the best and the median of the runs.
# --perf FILE records one more station run under `perf record --call-graph dwarf` into FILE (the
# build has no frame pointers, so -g alone loses most callers).
# Loopback only; scratch folders under DIR (default ${TMPDIR:-/tmp}); every wait bounded; every
# started process stopped on exit. Programs from $BUILD_DIR (default build/).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD_DIR:-$here/../build}
sim_exe=$build/tools/orvex-box-sim/orvex-box-sim
acquire_exe=$build/tools/acquire/winorvex-acquire
limit_exe=$build/bench/line_sink_limit
export TZ=Europe/Paris

boxes=1 reads=1000000 chips=1000 runs=3 folder=${TMPDIR:-/tmp} perf_file=
usage() {
    echo "usage: live_ratio.sh [--boxes 1-4] [--reads N] [--chips C] [--runs R] [--folder DIR] [--perf FILE]" >&2
    exit 2
}
while (($#)); do
    [[ $# -ge 2 ]] || usage
    case $1 in
        --boxes) boxes=$2 ;;
        --reads) reads=$2 ;;
        --chips) chips=$2 ;;
        --runs) runs=$2 ;;
        --folder) folder=$2 ;;
        --perf) perf_file=$2 ;;
        *) usage ;;
    esac
    shift 2
done
[[ $boxes =~ ^[1-4]$ && $reads =~ ^[1-9][0-9]*$ && $chips =~ ^[1-9][0-9]*$ && $runs =~ ^[1-9][0-9]*$ ]] || usage
for exe in "$sim_exe" "$acquire_exe" "$limit_exe"; do
    [[ -x $exe ]] || { echo "live_ratio: $exe is missing (build it first)" >&2; exit 1; }
done

scratch=$(mktemp -d "$folder/live-ratio-XXXXXX")
pids=()
stop_pid() {  # TERM, up to 10 s, then KILL; only processes this script started
    local pid=$1
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
stop_all() {  # the newest first: the station before its readers
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do stop_pid "${pids[i]}"; done
    pids=()
}
cleanup() {
    stop_all
    rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

now_ns() { date +%s%N; }
mtime_ns() { stat -c %.9Y "$1" | tr -d .; }
lines_of() { if [[ -f $1 ]]; then wc -l <"$1"; else echo 0; fi; }

# Starts B readers sending N reads each once a client connects; their ports go to `ports`.
ports=()
start_readers() {
    ports=()
    local b out
    for ((b = 0; b < boxes; b++)); do
        out=$scratch/reader$b.out
        "$sim_exe" --model lite --port 0 --rate 0 --count "$reads" --chip-count "$chips" --quiet >"$out" 2>&1 &
        pids+=($!)
        for _ in $(seq 1 200); do grep -q ' ready ' "$out" 2>/dev/null && break; sleep 0.05; done
        local port
        port=$(sed -n 's/^orvex-box-sim ready .*port=\([0-9]*\) .*/\1/p' "$out")
        [[ -n $port ]] || { echo "live_ratio: a reader did not start: $(cat "$out")" >&2; exit 1; }
        ports+=("$port")
    done
}

# Waits (at most 10 s without growth, 300 s in all) until $1 holds $2 lines; returns 1 otherwise.
wait_for_lines() {
    local file=$1 want=$2 size=-1 last_change
    last_change=$(date +%s)
    local deadline=$((last_change + 300))
    while (($(date +%s) < deadline)); do
        local now_size=0
        [[ -f $file ]] && now_size=$(stat -c %s "$file")
        if ((now_size != size)); then
            size=$now_size
            last_change=$(date +%s)
        elif ((size > 0)) && (($(lines_of "$file") >= want)); then
            return 0
        elif (($(date +%s) - last_change > 10)); then
            return 1
        fi
        sleep 0.02
    done
    return 1
}

# One limit run; its time goes to `seconds`.
run_limit() {
    local dir=$scratch/limit
    rm -rf "$dir" && mkdir -p "$dir"
    start_readers
    local start
    start=$(now_ns)
    if ! timeout 300 "$limit_exe" --out "$dir/lines.txt" --lines "$reads" "${ports[@]}" >"$dir/limit.out" 2>&1; then
        echo "live_ratio: the limit reader failed: $(cat "$dir/limit.out")" >&2
        exit 1
    fi
    stop_all
    local got
    got=$(lines_of "$dir/lines.txt")
    ((got == boxes * reads)) || { echo "live_ratio: the limit wrote $got lines of $((boxes * reads))" >&2; exit 1; }
    seconds=$(awk -v s="$start" -v e="$(mtime_ns "$dir/lines.txt")" 'BEGIN { printf "%.6f", (e - s) / 1e9 }')
}

# One station run (under perf, into $1, when given); its time goes to `seconds`.
run_station() {
    local perf_out=${1:-}
    local data=$scratch/station
    rm -rf "$data" && mkdir -p "$data"
    start_readers
    {
        printf '[Settings]\r\nGOrvexIgnoreInputMsDelta=0\r\n[OrvexBoxes]\r\n'
        local b
        for ((b = 0; b < boxes; b++)); do
            printf 'BoxHost%d=127.0.0.1\r\nBoxPort%d=%s\r\nBoxIdDetector%d=%d\r\n' "$b" "$b" "${ports[b]}" "$b" $((31 + b))
        done
    } >"$data/WinORVEX.ini"
    awk -v n="$chips" 'BEGIN { for (i = 1; i <= n; i++) printf "%u 0580%08X\r\n", 1000 + i, i }' >"$data/OrvexTable.dtb"
    local cmd=("$acquire_exe" --data-dir "$data" --lang en)
    [[ -n $perf_out ]] && cmd=(perf record -F 999 --call-graph "dwarf,16384" -q -o "$perf_out" -- "${cmd[@]}")
    local start
    start=$(now_ns)
    "${cmd[@]}" >"$scratch/acquire.out" 2>"$scratch/acquire.err" &
    local station=$!
    pids+=("$station")
    local dat=
    for _ in $(seq 1 500); do
        dat=$(compgen -G "$data/logfiles/WinORVEX-*.dat" | head -n 1 || true)
        [[ -n $dat ]] && break
        kill -0 "$station" 2>/dev/null || break
        sleep 0.02
    done
    if [[ -z $dat ]] || ! wait_for_lines "$dat" $((boxes * reads)); then
        echo "live_ratio: the station recorded $(lines_of "${dat:-/nonexistent}") of $((boxes * reads)) reads" >&2
        tail -n 20 "$scratch/acquire.err" >&2
        exit 1
    fi
    local end
    end=$(mtime_ns "$dat")
    stop_all
    # Every read once, and each box's share whole (detector = second field).
    local check
    check=$(awk -F '\t' -v want="$reads" -v boxes="$boxes" '
        { n[$2]++ }
        END { bad = 0; for (b = 31; b < 31 + boxes; b++) if (n[b] != want) { printf "detector %d: %d lines; ", b, n[b]; bad = 1 }
              if (NR != want * boxes) printf "%d lines in all", NR; else if (!bad) printf "ok" }' "$dat")
    [[ $check == ok ]] || { echo "live_ratio: the detection file is not whole: $check" >&2; exit 1; }
    seconds=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f", (e - s) / 1e9 }')
}

total=$((boxes * reads))
echo "live ratio: $boxes box(es) x $reads reads, $chips chips, repeat gap 0, $runs run(s), scratch in $folder"
echo "load average before: $(cut -d ' ' -f 1-3 /proc/loadavg)"
seconds=0 limit_rates=() station_rates=()
for ((run = 1; run <= runs; run++)); do
    run_limit
    limit_s=$seconds
    run_station
    station_s=$seconds
    limit_rate=$(awk -v n="$total" -v s="$limit_s" 'BEGIN { printf "%.0f", n / s }')
    station_rate=$(awk -v n="$total" -v s="$station_s" 'BEGIN { printf "%.0f", n / s }')
    limit_rates+=("$limit_rate")
    station_rates+=("$station_rate")
    printf 'run %d: limit %s lines/s (%.3f s), station %s reads/s (%.3f s), ratio %s\n' "$run" "$limit_rate" \
        "$limit_s" "$station_rate" "$station_s" "$(awk -v a="$station_rate" -v b="$limit_rate" 'BEGIN { printf "%.2f", a / b }')"
done
# Best and median of each side (the median of an even count is the lower middle one).
pick() {
    local which=$1
    shift
    printf '%s\n' "$@" | sort -n | awk -v w="$which" '{ v[NR] = $1 } END { print (w == "best" ? v[NR] : v[int((NR + 1) / 2)]) }'
}
for which in best median; do
    l=$(pick "$which" "${limit_rates[@]}")
    s=$(pick "$which" "${station_rates[@]}")
    printf '%-6s: limit %s lines/s, station %s reads/s, ratio %s\n' "$which" "$l" "$s" \
        "$(awk -v a="$s" -v b="$l" 'BEGIN { printf "%.2f", a / b }')"
done
echo "load average after: $(cut -d ' ' -f 1-3 /proc/loadavg)"

if [[ -n $perf_file ]]; then
    run_station "$perf_file"
    station_s=$seconds
    echo "perf run: station $(awk -v n="$total" -v s="$station_s" 'BEGIN { printf "%.0f", n / s }') reads/s under perf, profile in $perf_file"
fi
