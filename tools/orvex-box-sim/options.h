#pragma once
// The simulator's settings and their command-line form.
#include <cstdint>
#include <string>
#include <vector>

namespace winorvex::sim {

enum class Model { kElite, kLite };

struct Options {
    Model model = Model::kElite;
    int port = 10000;        // 0 = any free port
    int side_port = 9999;    // ELITE only; 0 = any free port
    int control_port = -1;   // -1 = no control channel; 0 = any free port
    double rate = 10;        // live reads per second; 0 = as fast as possible
    uint64_t count = 0;      // 0 = endless
    std::string chips_file;  // one chip per line; empty = generated chips
    uint32_t chip_count = 100;
    int repeat_percent = 0;
    bool markers = false;
    int date = 0;  // yyyymmdd the reader clock shows instead of today; 0 = today
    bool start_paused = false;
    std::string log_file;     // the ELITE history: reads and markers
    std::string latency_log;  // "seq send_ns" per read
    bool stdin_control = false;
    uint64_t seed = 1;
    bool quiet = false;      // no notes on standard error
    bool serial = false;     // also a serial line (pseudo-terminal); the main port then defaults to any free port
    int clear_step_ms = 50;  // pause between the progress steps of a memory clearing
};

// Parses the arguments after the program name. False with a message on a bad argument; `help`
// is set when usage was asked for.
bool ParseOptions(const std::vector<std::string>& args, Options* options, bool* help, std::string* error);

std::string UsageText();

// Strict number parsing: the whole text must be the number and within [min, max].
bool ParseInteger(const std::string& text, int64_t min, int64_t max, int64_t* value);
bool ParseRate(const std::string& text, double* value);

}  // namespace winorvex::sim
