#!/usr/bin/env python3
"""Resend after a hung results program, measured from outside (see bench/README.md).

Two simulated readers stream to a headless station with BResendWhileDisconnected=1; the results
program (bench/fake_results.py, which records every byte it reads) stops reading, is killed, and
a new one takes its port. Afterwards every detection of the run's .dat file must have reached the
first or the second results program, duplicates only after the first one's last answer, and
each box's detections in recording order at the second one.
"""
import argparse
import glob
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CHILDREN = []


def log(text):
    print(f"[{time.strftime('%H:%M:%S')}] {text}", flush=True)


def spawn(argv, env, out_path, stdin=None):
    out = open(out_path, "wb")
    proc = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT, stdin=stdin)
    CHILDREN.append(proc)
    return proc


def stop(proc, sig=signal.SIGTERM, wait=20.0):
    if proc is None or proc.poll() is not None:
        return proc.returncode if proc else None
    proc.send_signal(sig)
    try:
        return proc.wait(timeout=wait)
    except subprocess.TimeoutExpired:
        proc.kill()
        return proc.wait(timeout=10)


def cleanup():
    for proc in CHILDREN:
        if proc.poll() is None:
            proc.kill()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                pass


def wait_for(predicate, timeout, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = predicate()
        if value:
            return value
        time.sleep(step)
    return predicate()


def ready_line(path, pattern, timeout=20.0):
    def find():
        try:
            with open(path, "r", errors="replace") as f:
                m = re.search(pattern, f.read())
            return m
        except FileNotFoundError:
            return None
    m = wait_for(find, timeout)
    if not m:
        raise RuntimeError(f"no ready line in {path}")
    return m


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def control(port, command, timeout=5.0):
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(command.encode() + b"\n")
        data = b""
        while not data.endswith(b"\n"):
            chunk = s.recv(4096)
            if not chunk:
                break
            data += chunk
    return data.decode(errors="replace").strip()


def stat_field(stats, name):
    m = re.search(rf"\b{name}=(\d+)", stats)
    return int(m.group(1)) if m else -1


def dat_records(data_dir):
    """(detector, bib, time) of the run's detection file, in recording order."""
    files = glob.glob(os.path.join(data_dir, "logfiles", "*.dat"))
    records = []
    for path in files:
        with open(path, "rb") as f:
            for raw in f.read().split(b"\n"):
                fields = raw.rstrip(b"\r").split(b"\t")
                if len(fields) >= 5 and fields[0].isdigit():
                    records.append((int(fields[0]), (fields[1], fields[2], fields[4])))
    records.sort()
    return [key for _, key in records]


def received(path):
    """What a results program read: its detection keys in order, and the number of them read
    before its last request (the mark of a program that answers no detection)."""
    keys, before_last_request = [], 0
    try:
        with open(path, "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return keys, 0
    for raw in data.split(b"\n")[:-1]:  # a cut last line was not read whole
        line = raw.rstrip(b"\r")
        if line.startswith(b"AddRixClock(") and line.endswith(b")"):
            fields = line[len(b"AddRixClock("):-1].split(b"\t")
            if len(fields) >= 5:
                keys.append((fields[1], fields[2], fields[4]))
        elif line.endswith(b"()"):
            before_last_request = len(keys)
    return keys, before_last_request


def run(args, answers, build):
    scratch = tempfile.mkdtemp(prefix="winorvex-resend-")
    try:
        return scenario(args, answers, build, scratch)
    except BaseException:
        # Interrupted or failed: the processes go first (they write into the folder).
        cleanup()
        if not args.keep:
            shutil.rmtree(scratch, ignore_errors=True)
        raise


def scenario(args, answers, build, scratch):
    data = os.path.join(scratch, "data")
    runtime = os.path.join(scratch, "run")
    os.makedirs(data)
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, TZ="Europe/Paris", XDG_RUNTIME_DIR=runtime, LC_ALL="C.UTF-8")
    env.pop("WINORVEX_DATA_DIR", None)
    label = ("answers" if answers else "no answers") + (f", rcvbuf {args.rcvbuf}" if args.rcvbuf else "")
    log(f"--- {label}: scratch {scratch}")
    with open(os.path.join(data, "OrvexTable.dtb"), "w", newline="") as f:
        for n in range(1, args.chips + 1):
            f.write(f"{n} 0580{n:08X}\r\n")

    boxes = []
    for i in range(2):
        out = os.path.join(scratch, f"box{i}.out")
        proc = spawn([os.path.join(build, "tools/orvex-box-sim/orvex-box-sim"), "--port", "0", "--side-port", "0",
                      "--control-port", "0", "--rate", str(args.rate), "--chip-count", str(args.chips), "--quiet"],
                     env, out, stdin=subprocess.DEVNULL)
        m = ready_line(out, r"ready port=(\d+) side=(\d+) control=(\d+)")
        boxes.append((proc, int(m.group(1)), int(m.group(2)), int(m.group(3))))

    port = free_port()
    fake = [os.path.join(HERE, "fake_results.py"), "--port", str(port)] + ([] if answers else ["--no-answers"])
    if args.rcvbuf > 0:
        fake += ["--rcvbuf", str(args.rcvbuf)]
    first_only = ["--skip-answers", args.skip_answers] if args.skip_answers else []
    logs = [os.path.join(scratch, "results1.bytes"), os.path.join(scratch, "results2.bytes")]
    first = spawn([sys.executable] + fake + first_only + ["--log", logs[0]], env, os.path.join(scratch, "results1.out"))
    ready_line(os.path.join(scratch, "results1.out"), r"ready port=")

    ini = ["[Settings]", "GBoxReconnectSeconds=5", "[OrvexBoxes]"]
    for i, (_, main_port, side_port, _) in enumerate(boxes):
        ini += [f"BoxHost{i}=127.0.0.1", f"BoxPort{i}={main_port}", f"BoxIdDetector{i}={41 + i}",
                f"BoxSidePort{i}={side_port}"]
    ini += ["[DirectConnection]", "Host=127.0.0.1", f"Port={port}", "ReconnectSeconds=1",
            "BResendWhileDisconnected=1"]
    with open(os.path.join(data, "WinORVEX.ini"), "w", newline="") as f:
        f.write("\r\n".join(ini) + "\r\n")

    station = spawn([os.path.join(build, "src/main/winorvex"), "--headless", "--direct", "--data-dir", data], env,
                    os.path.join(scratch, "station.out"), stdin=subprocess.DEVNULL)
    if not wait_for(lambda: all(stat_field(control(c, "stats"), "connected") == 1 for *_, c in boxes), 30):
        raise RuntimeError("the station did not connect both readers")
    if not wait_for(lambda: os.path.exists(logs[0]) and os.path.getsize(logs[0]) > 0, 30):
        raise RuntimeError("the first results program got nothing")
    log(f"readers streaming at {args.rate}/s each; first results program reading")
    time.sleep(args.before)
    first.send_signal(signal.SIGUSR1)
    log(f"first results program stops reading for {args.stall} s")
    time.sleep(args.stall)
    first.kill()
    first.wait(timeout=10)
    log("first results program killed; a second one takes the port")
    second = spawn([sys.executable] + fake + ["--log", logs[1]], env, os.path.join(scratch, "results2.out"))
    ready_line(os.path.join(scratch, "results2.out"), r"ready port=")
    time.sleep(args.after)
    for _, _, _, c in boxes:
        control(c, "pause")
    sent = [stat_field(control(c, "stats"), "reads") for *_, c in boxes]
    log(f"readers paused after {sent} reads")

    # Recorded and forwarded: every line of the file has reached a results program, or nothing
    # moves any more (then the comparison shows what is missing).
    last, still_since = None, time.monotonic()
    end = time.monotonic() + args.drain
    while time.monotonic() < end:
        recorded = dat_records(data)
        got = set(received(logs[0])[0]) | set(received(logs[1])[0])
        if recorded and all(key in got for key in recorded[-200:]) and len(got) >= len(set(recorded)):
            break
        state = (len(recorded), len(got))
        if state != last:
            last, still_since = state, time.monotonic()
        elif time.monotonic() - still_since > args.settle:
            log("nothing moves any more")
            break
        time.sleep(0.5)
    code = stop(station, signal.SIGTERM, 30)
    log(f"station stopped (exit {code})")
    for proc, *_ in boxes:
        stop(proc)
    stop(second)

    recorded = dat_records(data)
    keys1, mark1_requests = received(logs[0])
    keys2, _ = received(logs[1])
    index = {key: i for i, key in enumerate(recorded)}
    got1, got2 = set(keys1), set(keys2)
    missing = [k for k in recorded if k not in got1 and k not in got2]
    # The first program's mark: its last answered detection, or, answering none, the last
    # detection it read before the last request it answered.
    answered1 = keys1 if answers else keys1[:mark1_requests]
    mark = max((index.get(k, -1) for k in answered1), default=-1)
    counts = {}
    for k in keys1 + keys2:
        counts[k] = counts.get(k, 0) + 1
    duplicates = sum(c - 1 for c in counts.values() if c > 1)
    early = sum(c - 1 for k, c in counts.items() if c > 1 and index.get(k, -1) <= mark)
    unknown = sum(1 for k in counts if k not in index)
    breaks = {}
    last_seen = {}
    for k in keys2:
        i = index.get(k)
        if i is None:
            continue
        det = k[0].decode()
        if i < last_seen.get(det, -1):
            breaks[det] = breaks.get(det, 0) + 1
        last_seen[det] = max(last_seen.get(det, -1), i)
    per_box = {}
    for k in recorded:
        per_box[k[0].decode()] = per_box.get(k[0].decode(), 0) + 1

    print(f"RESULT {label}: reads sent {sum(sent)} {sent}; recorded {len(recorded)} {per_box}; "
          f"first program read {len(keys1)}, second {len(keys2)}; mark of the first: line {mark + 1}; "
          f"missing {len(missing)}; duplicates {duplicates} (before the mark: {early}); "
          f"unknown lines {unknown}; order breaks at the second {sum(breaks.values())} {breaks}", flush=True)
    ok = not missing and early == 0 and not breaks and unknown == 0 and recorded
    if ok and not args.keep:
        shutil.rmtree(scratch, ignore_errors=True)
    else:
        log(f"kept {scratch}")
        if missing:
            log(f"first missing: {missing[:5]} (lines {[index[k] + 1 for k in missing[:5]]})")
    return bool(ok)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--rate", type=float, default=2000, help="reads per second per reader")
    parser.add_argument("--chips", type=int, default=150000, help="distinct chips (above the reads of a run)")
    parser.add_argument("--before", type=float, default=10, help="seconds of reading before the stall")
    parser.add_argument("--stall", type=float, default=15, help="seconds the first program stops reading")
    parser.add_argument("--after", type=float, default=10, help="seconds with the second program")
    parser.add_argument("--drain", type=float, default=120, help="bound on the wait for the backlog")
    parser.add_argument("--settle", type=float, default=15, help="no progress for this long ends the wait")
    parser.add_argument("--mode", choices=["answers", "no-answers", "both"], default="both")
    parser.add_argument("--rcvbuf", type=int, default=0,
                        help="small receive buffer at the results program: the station's send stalls and it drops the link")
    parser.add_argument("--skip-answers", default="", metavar="FROM:COUNT",
                        help="the first program leaves COUNT detections unanswered from its FROM-th one")
    parser.add_argument("--keep", action="store_true", help="keep the scratch folders")
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    for sig in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(sig, lambda s, f: sys.exit(128 + s))
    ok = True
    try:
        for answers in ([True, False] if args.mode == "both" else [args.mode == "answers"]):
            ok = run(args, answers, build) and ok
            cleanup()
            CHILDREN.clear()
    finally:
        cleanup()
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
