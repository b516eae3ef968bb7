#!/usr/bin/python3
"""A real FTP server on 127.0.0.1 for the FTP tests, built on pyftpdlib.

Prints "PORT <n>" once listening, then one line per event ("CONNECT", "LOGIN <user>", "DROP").
Misbehaves on request: --stall-on VERB (never answer that command, "GREETING" for the banner),
--refuse-command VERB (502 for that command),
--refuse-folder NAME (550 on CWD into it), --refuse-rename-existing (550 on RNTO onto an
existing name), --refuse-rename (550 on every RNTO), --drop-on-rename after|before (close the
control connection instead of answering RNTO, having renamed or not), --cut-data-after N (close
an upload's data connection after N bytes), --read-limit B (read uploads at B bytes/s).
Every line read on standard input is printed back, after the events of what came before it, so a
test can tell that it has seen them all. Ends when its standard input closes.
"""
import argparse
import logging
import os
import sys
import threading

try:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
    from pyftpdlib.servers import FTPServer
except ImportError as error:
    print("NO-PYFTPDLIB %s" % error, flush=True)
    sys.exit(3)


EMIT_LOCK = threading.Lock()


def emit(line):
    """One event line, never mixed with a line from another thread."""
    with EMIT_LOCK:
        sys.stdout.write(line + "\n")
        sys.stdout.flush()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="tester")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--stall-on", action="append", default=[])
    parser.add_argument("--refuse-command", action="append", default=[])
    parser.add_argument("--refuse-folder", default="")
    parser.add_argument("--refuse-rename-existing", action="store_true")
    parser.add_argument("--refuse-rename", action="store_true")
    parser.add_argument("--drop-on-rename", choices=["after", "before"], default="")
    parser.add_argument("--cut-data-after", type=int, default=0)
    parser.add_argument("--read-limit", type=int, default=0)
    parser.add_argument("--write-limit", type=int, default=0)
    args = parser.parse_args()

    logging.getLogger("pyftpdlib").addHandler(logging.NullHandler())
    logging.getLogger("pyftpdlib").setLevel(logging.CRITICAL)
    logging.getLogger("pyftpdlib").propagate = False

    stall = set(verb.upper() for verb in args.stall_on)
    refuse = set(verb.upper() for verb in args.refuse_command)
    perms = "elradfmwMT"
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm=perms)
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm=perms)

    base_dtp = ThrottledDTPHandler if args.read_limit > 0 or args.write_limit > 0 else DTPHandler

    class Dtp(base_dtp):
        if args.read_limit > 0:
            read_limit = args.read_limit
        if args.write_limit > 0:
            write_limit = args.write_limit

        def handle_read(self):
            super().handle_read()
            if args.cut_data_after and self.tot_bytes_received >= args.cut_data_after and not self._closed:
                self.close()

        # The base class binds its own reader to the event name; ours must take its place.
        handle_read_event = handle_read

    class Handler(FTPHandler):
        dtp_handler = Dtp
        banner = "test server ready"
        auth_failed_timeout = 0.1

        def handle(self):
            emit("CONNECT")
            if "GREETING" in stall:
                return
            super().handle()

        def on_login(self, username):
            emit("LOGIN %s" % username)

        def pre_process_command(self, line, cmd, arg):
            if cmd.upper() in stall:
                return
            if cmd.upper() in refuse:
                self.respond("502 Command not implemented.")
                return
            super().pre_process_command(line, cmd, arg)

        def ftp_CWD(self, path):
            if args.refuse_folder and os.path.basename(path.rstrip("/")) == args.refuse_folder:
                self.respond("550 Folder refused.")
                return
            return super().ftp_CWD(path)

        def ftp_RNTO(self, path):
            if args.refuse_rename or (args.refuse_rename_existing and os.path.exists(path)):
                self._rnfr = None
                self.respond("550 Destination exists.")
                return
            if args.drop_on_rename and self._rnfr:
                if args.drop_on_rename == "after":
                    os.replace(self._rnfr, path)
                self._rnfr = None
                emit("DROP")
                self.close()
                return
            return super().ftp_RNTO(path)

    Handler.authorizer = authorizer
    server = FTPServer(("127.0.0.1", 0), Handler)
    emit("PORT %d" % server.address[1])

    # An event is written whole before the command after it is served, so a line echoed once it
    # has been read comes after every event of what the test did before sending it.
    def watch_stdin():
        for raw in sys.stdin.buffer:
            line = raw.decode("utf-8", "replace").strip()
            if line:
                emit(line)
        os._exit(0)

    threading.Thread(target=watch_stdin, daemon=True).start()
    server.serve_forever()


if __name__ == "__main__":
    main()
