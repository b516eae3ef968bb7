#!/usr/bin/env python3
"""Every program answers --help (its usage on standard output, exit 0) naming each option it
accepts, and --version; an unknown option is a usage error (exit 2) that names it. None of these
touches a data folder.

    help_test.py VERSION NAME=PATH...
"""
import os
import re
import subprocess
import sys
import tempfile

DATA = "/nonexistent/winorvex-help-test"
UNKNOWN = "--no-such-option"

# What each program accepts: options with a value it takes, and the words of its usage line that
# are not options (box commands).
OPTIONS = {
    "winorvex": [["--headless"], ["--demo"], ["--data-dir", DATA], ["--direct"], ["--no-connect"],
                 ["--lang", "en"]],
    "winorvex-command": [["--service", "ORVEX"], ["--data-dir", DATA]],
    "winorvex-boxcmd": [["--data-dir", DATA], ["--lang", "fr"]],
    "winorvex-export": [["--data-dir", DATA], ["--lang", "en"], ["--gap", "00:00:10"], ["--mode", "1"],
                        ["--folder", DATA], ["--name", "race"], ["--zip"], ["--ftp"], ["--wait-seconds", "5"]],
    "winorvex-import": [["--data-dir", DATA], ["--lang", "en"], ["--today", "20240501"], ["--date", "20240501"],
                        ["--start", "08:00:00"], ["--end", "09:00:00"], ["--extended"], ["--abnormal"],
                        ["--detector", "31"], ["--days", "1"], ["--save", DATA + "/out"]],
    "winorvex-acquire": [["--data-dir", DATA], ["--seconds", "5"], ["--today", "20240501"], ["--lang", "en"]],
    "winorvex-feed": [["--data-dir", DATA], ["--detector", "41"], ["--today", "20240501"], ["--lang", "fr"]],
    "orvex-box-sim": [["--model", "lite"], ["--port", "0"], ["--side-port", "0"], ["--control-port", "0"],
                      ["--rate", "5"], ["--count", "3"], ["--chips", DATA + "/chips"], ["--repeat-percent", "5"],
                      ["--markers"], ["--date", "20240501"], ["--start-paused"], ["--log", DATA + "/log"],
                      ["--latency-log", DATA + "/latency"], ["--stdin-control"], ["--seed", "7"],
                      ["--clear-step-ms", "5"], ["--quiet"], ["--serial"], ["--chip-count", "10"]],
    "winorvex-results-sim": [["--port", "0"], ["--format", "kt05"], ["--version", "4,4,0,0"],
                             ["--competition", "Trail"], ["--runners", DATA + "/runners"], ["--runner-count", "5"],
                             ["--rcvbuf", "65536"], ["--stdin-control"], ["--quiet"], ["--no-answers"]],
}
WORDS = {"winorvex-boxcmd": ["sync", "times", "marker", "expert"]}


def names(text, word):
    return re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text) is not None


def run(path, args, env):
    done = subprocess.run([path] + args, env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=60)
    return done.returncode, done.stdout, done.stderr


def main():
    version = sys.argv[1]
    programs = dict(arg.split("=", 1) for arg in sys.argv[2:])
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    check(set(programs) == set(OPTIONS), "programs given: %s" % sorted(programs))
    with tempfile.TemporaryDirectory() as home:
        env = {k: v for k, v in os.environ.items() if k not in ("WINORVEX_DATA_DIR", "XDG_DATA_HOME", "DISPLAY",
                                                                "WAYLAND_DISPLAY")}
        env.update(HOME=home, XDG_RUNTIME_DIR=home, QT_QPA_PLATFORM="offscreen")
        for name, path in sorted(programs.items()):
            options = OPTIONS.get(name, [])
            for asked in ("--help", "-h"):
                code, out, err = run(path, [asked], env)
                check(code == 0, "%s %s: exit %d" % (name, asked, code))
                check(out.startswith("usage: " + name), "%s %s: no usage on standard output: %r" % (name, asked, out))
                check(err == "", "%s %s: standard error: %r" % (name, asked, err))
                check(names(out, "--help") and names(out, "--version"), "%s %s: --help/--version unnamed" % (name, asked))
                check(re.search(r"exit status", out, re.I) is not None, "%s %s: no exit status" % (name, asked))
                for option in options:
                    check(names(out, option[0]), "%s %s does not name %s" % (name, asked, option[0]))
                for word in WORDS.get(name, []):
                    check(names(out, word), "%s %s does not name %s" % (name, asked, word))
                known = {o[0] for o in options} | {"--help", "--version"}
                for shown in set(re.findall(r"(?<![\w-])--[a-z][a-z-]*", out)) - known:
                    check(False, "%s %s names %s, which is not in its list" % (name, asked, shown))

            code, out, err = run(path, ["--version"], env)
            check((code, out) == (0, "%s %s\n" % (name, version)), "%s --version: %d %r %r" % (name, code, out, err))

            # Each option (with its value) is taken: the parser goes on and stops at the unknown one.
            for option in options + [[]]:
                code, out, err = run(path, option + [UNKNOWN], env)
                check(code == 2, "%s %s %s: exit %d" % (name, " ".join(option), UNKNOWN, code))
                check("unknown option " + UNKNOWN in err,
                      "%s %s %s: unknown option not named: %r" % (name, " ".join(option), UNKNOWN, err))
        left = os.listdir(home)
        check(left == [], "files made in HOME: %s" % left)

    for failure in failures:
        print("FAIL:", failure)
    print("%d programs checked, %d failures" % (len(programs), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
