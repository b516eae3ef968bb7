#include "options.h"

#include <charconv>

namespace winorvex::results_sim {
namespace {

bool ToInt(const std::string& text, int low, int high, int& out) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return false;
    out = value;
    return true;
}

bool Bad(const std::string& option, std::string& error) {
    error = "bad value for " + option;
    return false;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options& options, bool& help, bool& stdinControl,
                  std::string& error) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--no-answers") {
            options.answerDetections = false;
        } else if (arg == "--stdin-control") {
            stdinControl = true;
        } else if (arg == "--port") {
            if (!value(text)) return false;
            if (!ToInt(text, 0, 65535, options.port)) return Bad(arg, error);
        } else if (arg == "--format") {
            if (!value(text)) return false;
            if (!ParseRecordFormat(text, options.format)) {
                error = "--format takes kt04, kt05, kt06 or res1";
                return false;
            }
        } else if (arg == "--version") {
            if (!value(options.version)) return false;
        } else if (arg == "--competition") {
            if (!value(options.competition)) return false;
        } else if (arg == "--runners") {
            if (!value(options.runnersFile)) return false;
        } else if (arg == "--runner-count") {
            if (!value(text)) return false;
            if (!ToInt(text, 0, 10000000, options.generatedRunners)) return Bad(arg, error);
        } else if (arg == "--rcvbuf") {
            if (!value(text)) return false;
            if (!ToInt(text, 0, 1 << 26, options.receiveBuffer)) return Bad(arg, error);
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

std::string UsageText() {
    return "usage: winorvex-results-sim [options]\n"
           "  --port N            listen on 127.0.0.1:N (default 8283, 0: any free port)\n"
           "  --format F          runner records as kt04 (default), kt05, kt06 or res1\n"
           "  --version A,B,C,D   the answer to GetVersion() (default 4,4,0,0)\n"
           "  --competition NAME  the answer to GetCompetitionName() (default Marathon)\n"
           "  --runners FILE      runners: bib;last;first;sex;scat;cat;team per line (UTF-8)\n"
           "  --runner-count N    generated runners 1..N instead (default 1000)\n"
           "  --rcvbuf BYTES      receive buffer of the accepted sockets\n"
           "  --no-answers        take detections without answering them\n"
           "  --stdin-control     read control commands from standard input\n"
           "  --quiet             no notes on standard error\n"
           "  --help              this text; --version alone prints the program's version\n"
           "Exit status: 0 stopped (SIGINT, SIGTERM or the quit command), 1 could not start, 2 usage error.\n";
}

}  // namespace winorvex::results_sim
