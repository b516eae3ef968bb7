// The control language shared by the control channel and standard input.
#include <sstream>

#include "simulator.h"

namespace winorvex::sim {

namespace {

constexpr int64_t kMaxMs = 3'600'000;
constexpr int64_t kMaxGarbage = 100'000;
constexpr int64_t kMaxOverlong = int64_t{64} << 20;
constexpr int64_t kMaxReads = 1'000'000'000;

std::string FormatStats(const MainPortStats& s, uint64_t side_requests) {
    std::ostringstream text;
    text << "reads=" << s.engine.reads_sent << " commands=" << s.engine.commands << " bad=" << s.engine.bad_frames
         << " clients=" << s.clients << " connected=" << (s.connected ? 1 : 0) << " recorded=" << s.engine.recorded
         << " played=" << s.engine.played_back << " recording=" << (s.engine.recording ? 1 : 0)
         << " replaying=" << (s.engine.replaying ? 1 : 0) << " paused=" << (s.engine.paused ? 1 : 0)
         << " rate=" << s.engine.rate << " side=" << side_requests << " off=" << (s.powered_off ? 1 : 0);
    return text.str();
}

}  // namespace

std::string Simulator::Execute(std::string_view command_line) {
    std::istringstream in{std::string(command_line)};
    std::string word, argument, extra;
    in >> word >> argument >> extra;
    if (word.empty()) return "error: empty command";
    if (!extra.empty()) return "error: too many arguments";

    const auto no_argument = [&](auto action) -> std::string {
        return argument.empty() ? action() : "error: " + word + " takes no argument";
    };
    int64_t n = 0;
    const auto number = [&](int64_t max) { return ParseInteger(argument, 0, max, &n); };
    const std::string bad_number = "error: " + word + " needs a number";

    if (word == "drop") return no_argument([this] { return Drop(); });
    if (word == "lonelf") return no_argument([this] { return LoneLineFeed(); });
    if (word == "pause") return no_argument([this] { return Pause(); });
    if (word == "resume") return no_argument([this] { return Resume(); });
    if (word == "poweron") return no_argument([this] { return PowerOn(); });
    if (word == "stats") {
        return no_argument([this] {
            const auto stats = Stats();
            return stats ? FormatStats(*stats, side_requests()) : std::string("error: simulator not running");
        });
    }
    if (word == "quit") {
        return no_argument([this] {
            {
                std::lock_guard lock(quit_mutex_);
                quit_ = true;
            }
            quit_cv_.notify_all();
            return std::string("ok");
        });
    }
    if (word == "stall") return number(kMaxMs) ? Stall(std::chrono::milliseconds(n)) : bad_number;
    if (word == "away") return number(kMaxMs) ? Away(std::chrono::milliseconds(n)) : bad_number;
    if (word == "garbage") return number(kMaxGarbage) ? Garbage(static_cast<int>(n)) : bad_number;
    if (word == "overlong") return number(kMaxOverlong) ? Overlong(static_cast<std::size_t>(n)) : bad_number;
    if (word == "reads") return number(kMaxReads) ? SendReads(static_cast<uint64_t>(n)) : bad_number;
    if (word == "rate") {
        double rate = 0;
        return ParseRate(argument, &rate) ? SetRate(rate) : bad_number;
    }
    return "error: unknown command " + word;
}

}  // namespace winorvex::sim
