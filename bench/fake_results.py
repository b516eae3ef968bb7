#!/usr/bin/env python3
"""A results program for the resend bench: records every byte it reads and can hang.

Listens on 127.0.0.1:PORT (SO_REUSEADDR, so a successor can take the port of one that was
killed), one client at a time (a new connection replaces the old one). Every byte read from a
client is appended, unaltered, to --log and flushed at once, so what the file holds is exactly
what this program read. Each "AddRixClock(1<TAB>det<TAB>bib<TAB>1<TAB>time)" is answered with a
kt04 runner record carrying NUMBER (the bib) and TIME (the time up to its first dot), as the
results simulator answers it; Ping() and the information requests get their NFO answers.

SIGUSR1: stop reading and accepting for good (the process stays, as a hung program does: the
station's data piles up in the socket buffers; --rcvbuf makes them small, so the station sees its
sending stall). SIGTERM/SIGINT: exit.
"""
import argparse
import os
import select
import signal
import socket
import sys

ANSWERS = {
    b"Ping()": b"NFO:20",
    b"GetMode()": b"NFO:24 KtKOR results simulator",
    b"GetUserName()": b"NFO:25 simulator",
    b"GetCompetitionName()": b"NFO:5 Marathon",
    b"GetFilename()": b"NFO:6 competition.kt",
    b"GetVersion()": b"NFO:27 4,4,0,0",
    b"GetPrintableVersion()": b"NFO:28 4.40_",
    b"GetDetectorList()": b"NFO:7 -",
}


def runner_record(fields):
    detector, bib, time = fields[1], fields[2], fields[4]
    number = bib if bib.isdigit() else b"0"
    status = b"3" if bib.isdigit() else b"-5"
    return b"\\".join([b"kt04", b"1", b"1", b"1", b"1", number, b"NOM", b"Prenom", b"M", b"SE", b"Senior",
                       b"-", time.split(b".")[0], b"0", status])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--no-answers", action="store_true")
    parser.add_argument("--skip-answers", default="", metavar="FROM:COUNT",
                        help="leave COUNT detections unanswered from the FROM-th one read (1-based)")
    parser.add_argument("--rcvbuf", type=int, default=0, help="receive buffer of the accepted sockets")
    args = parser.parse_args()

    stopped = False

    def on_usr1(signum, frame):
        nonlocal stopped
        stopped = True

    signal.signal(signal.SIGUSR1, on_usr1)
    signal.signal(signal.SIGTERM, lambda s, f: sys.exit(0))

    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    if args.rcvbuf > 0:
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, args.rcvbuf)
    listener.bind(("127.0.0.1", args.port))
    listener.listen(8)
    log = open(args.log, "ab", buffering=0)
    print(f"fake-results ready port={listener.getsockname()[1]}", flush=True)

    skip_from, skip_count = (int(x) for x in args.skip_answers.split(":")) if args.skip_answers else (0, 0)
    detections = 0
    client = None
    pending = b""
    while True:
        if stopped:
            signal.pause()
            continue
        watched = [listener] + ([client] if client else [])
        try:
            ready, _, _ = select.select(watched, [], [], 0.2)
        except InterruptedError:
            continue
        if stopped:
            continue
        if listener in ready:
            newcomer, _ = listener.accept()
            if client:
                client.close()
            client, pending = newcomer, b""
            continue
        if client and client in ready:
            try:
                data = client.recv(65536)
            except OSError:
                data = b""
            if not data:
                client.close()
                client, pending = None, b""
                continue
            log.write(data)
            pending += data
            lines = pending.split(b"\n")
            pending = lines.pop()
            out = []
            for raw in lines:
                line = raw.rstrip(b"\r")
                if line.startswith(b"AddRixClock(") and line.endswith(b")"):
                    fields = line[len(b"AddRixClock("):-1].split(b"\t")
                    detections += 1
                    skipped = skip_from <= detections < skip_from + skip_count
                    if len(fields) < 5:
                        out.append(b"ERR:104")
                    elif not args.no_answers and not skipped:
                        out.append(runner_record(fields))
                elif line in ANSWERS:
                    out.append(ANSWERS[line])
                elif line:
                    out.append(b"ERR:103")
            if out:
                try:
                    client.sendall(b"".join(o + b"\r\n" for o in out))
                except OSError:
                    client.close()
                    client, pending = None, b""


if __name__ == "__main__":
    main()
