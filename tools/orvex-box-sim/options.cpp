#include "options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace winorvex::sim {

namespace {

constexpr double kMaxRate = 10'000'000;

bool TakesValue(const std::string& name) {
    for (const char* known :
         {"--model", "--port", "--side-port", "--control-port", "--rate", "--count", "--chips", "--chip-count",
          "--repeat-percent", "--date", "--log", "--latency-log", "--clear-step-ms", "--seed"}) {
        if (name == known) return true;
    }
    return false;
}

}  // namespace

bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t* value) {
    if (text.empty() || text.size() > 20) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    errno = 0;
    const unsigned long long v = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || v > static_cast<unsigned long long>(max) || static_cast<int64_t>(v) < min) return false;
    *value = static_cast<int64_t>(v);
    return true;
}

bool ParseRate(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v) || v < 0 || v > kMaxRate) return false;
    *value = v;
    return true;
}

std::string UsageText() {
    return "usage: orvex-box-sim [options]\n"
           "  --model elite|lite     reader model (default elite; lite has no side port)\n"
           "  --port N               main port (default 10000, 0 = any free port)\n"
           "  --side-port N          ELITE side port (default 9999, 0 = any free port)\n"
           "  --control-port N       control channel port (0 = any free port; default none)\n"
           "  --rate R               reads per second (default 10, 0 = as fast as possible)\n"
           "  --count N              reads to send in all (default 0 = endless)\n"
           "  --chips FILE           chips to read, one per line (12 hexadecimal digits)\n"
           "  --chip-count N         generated chips 0580xxxxxxxx, 1 to N (default 100)\n"
           "  --repeat-percent P     share of reads repeating the previous chip (0-100)\n"
           "  --markers              add FS to first reads and LS to repeats\n"
           "  --date YYYYMMDD        reader clock shows this date (time of day stays local)\n"
           "  --start-paused         send no reads until resumed\n"
           "  --log FILE             ELITE history file: reads and markers\n"
           "  --latency-log FILE     \"seq send_ns\" per read (steady clock)\n"
           "  --stdin-control        also take control commands from standard input\n"
           "  --seed N               seed of repeats and garbage (default 1)\n"
           "  --clear-step-ms N      pause between the four steps of a memory clearing (default 50)\n"
           "  --quiet                no notes on standard error\n"
           "  --serial               the reader on a serial line: a pseudo-terminal whose port the\n"
           "                         ready line names (serial=/dev/pts/N); --port defaults to 0\n"
           "  --help, --version      this text, the program's version\n"
           "Exit status: 0 stopped (SIGINT, SIGTERM or the quit command), 1 could not start, 2 usage error.\n";
}

bool ParseOptions(const std::vector<std::string>& args, Options* o, bool* help, std::string* error) {
    *help = false;
    bool chip_count_given = false;
    bool port_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& name = args[i];
        const auto flag = [&](const char* n) { return name == n; };
        if (flag("--help") || flag("-h")) {
            *help = true;
            return true;
        }
        if (flag("--markers")) {
            o->markers = true;
            continue;
        }
        if (flag("--start-paused")) {
            o->start_paused = true;
            continue;
        }
        if (flag("--stdin-control")) {
            o->stdin_control = true;
            continue;
        }
        if (flag("--quiet")) {
            o->quiet = true;
            continue;
        }
        if (flag("--serial")) {
            o->serial = true;
            continue;
        }
        if (!TakesValue(name)) {
            *error = name.rfind("-", 0) == 0 ? "unknown option " + name : "unknown argument " + name;
            return false;
        }
        if (i + 1 >= args.size()) {
            *error = "missing value after " + name;
            return false;
        }
        const std::string& value = args[++i];
        int64_t n = 0;
        const auto integer = [&](int64_t min, int64_t max) {
            if (ParseInteger(value, min, max, &n)) return true;
            *error = "bad value for " + name + ": " + value;
            return false;
        };
        if (flag("--model")) {
            if (value != "elite" && value != "lite") {
                *error = "--model takes elite or lite";
                return false;
            }
            o->model = value == "elite" ? Model::kElite : Model::kLite;
        } else if (flag("--port")) {
            if (!integer(0, 65535)) return false;
            o->port = static_cast<int>(n);
            port_given = true;
        } else if (flag("--side-port")) {
            if (!integer(0, 65535)) return false;
            o->side_port = static_cast<int>(n);
        } else if (flag("--control-port")) {
            if (!integer(0, 65535)) return false;
            o->control_port = static_cast<int>(n);
        } else if (flag("--rate")) {
            if (!ParseRate(value, &o->rate)) {
                *error = "bad value for --rate: " + value;
                return false;
            }
        } else if (flag("--count")) {
            if (!integer(0, INT64_MAX)) return false;
            o->count = static_cast<uint64_t>(n);
        } else if (flag("--chips")) {
            o->chips_file = value;
        } else if (flag("--chip-count")) {
            if (!integer(1, 10'000'000)) return false;
            o->chip_count = static_cast<uint32_t>(n);
            chip_count_given = true;
        } else if (flag("--repeat-percent")) {
            if (!integer(0, 100)) return false;
            o->repeat_percent = static_cast<int>(n);
        } else if (flag("--date")) {
            if (value.size() != 8 || !integer(20000101, 20991231)) {
                *error = "--date takes YYYYMMDD";
                return false;
            }
            o->date = static_cast<int>(n);
        } else if (flag("--log")) {
            o->log_file = value;
        } else if (flag("--latency-log")) {
            o->latency_log = value;
        } else if (flag("--clear-step-ms")) {
            if (!integer(1, 60'000)) return false;
            o->clear_step_ms = static_cast<int>(n);
        } else if (flag("--seed")) {
            if (!integer(0, INT64_MAX)) return false;
            o->seed = static_cast<uint64_t>(n);
        } else {
            *error = "unknown option " + name;
            return false;
        }
    }
    // On a serial line the main port only carries the line inside the simulator.
    if (o->serial && !port_given) o->port = 0;
    if (!o->chips_file.empty() && chip_count_given) {
        *error = "--chips and --chip-count exclude each other";
        return false;
    }
    return true;
}

}  // namespace winorvex::sim
