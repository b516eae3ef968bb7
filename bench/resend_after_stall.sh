#!/usr/bin/env bash
# Resend after a hung results program, from outside: two simulated readers, a headless station
# and a results program that hangs, is killed and replaced (see bench/README.md). Loopback only,
# scratch folders, every wait bounded. Options go to resend_after_stall.py (--help).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export TZ=Europe/Paris
pid=
cleanup() {
    if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null || true
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP
python3 "$here/resend_after_stall.py" --build "${BUILD_DIR:-$here/../build}" "$@" &
pid=$!
wait "$pid"
