#include "simulator.h"

#include <cstdio>

namespace winorvex::sim {

Simulator::Simulator(Options options) : options_(std::move(options)) {}

Simulator::~Simulator() {
    Stop();
}

void Simulator::Note(const std::string& text) const {
    if (!options_.quiet) std::fprintf(stderr, "orvex-box-sim: %s\n", text.c_str());
}

bool Simulator::Start(std::string* error) {
    if (running()) return true;
    std::vector<ChipId> chips;
    if (!options_.chips_file.empty()) {
        if (!LoadChipFile(options_.chips_file, &chips, error)) return false;
    } else {
        chips = GeneratedChips(options_.chip_count);
    }
    if (options_.date != 0 && !clock_.ShiftToDate(options_.date, std::chrono::system_clock::now())) {
        *error = "--date is no valid date: " + std::to_string(options_.date);
        return false;
    }
    if (!log_.Open(options_.log_file, error)) return false;
    auto latency = std::make_unique<LatencyLog>();
    if (!options_.latency_log.empty() && !latency->Open(options_.latency_log, error)) return false;

    EngineOptions engine_options;
    engine_options.rate = options_.rate;
    engine_options.count = options_.count;
    engine_options.start_paused = options_.start_paused;
    engine_options.seed = options_.seed;
    engine_options.clear_step = std::chrono::milliseconds(options_.clear_step_ms);
    const auto note = [this](const std::string& text) { Note(text); };
    auto engine = std::make_unique<ReaderEngine>(
        engine_options, ChipSource(std::move(chips), options_.repeat_percent, options_.markers, options_.seed), clock_,
        log_, note);

    auto main = std::make_unique<MainPort>(std::move(engine), std::move(latency), note);
    if (!main->Listen(options_.port, error)) return false;
    std::unique_ptr<SideChannel> side;
    if (options_.model == Model::kElite) {
        MainPort* port = main.get();
        side = std::make_unique<SideChannel>(clock_, log_, [port] { return port->powered_off(); });
        if (!side->Listen(options_.side_port, error)) return false;
    }
    std::unique_ptr<ControlServer> control;
    if (options_.control_port >= 0) {
        control = std::make_unique<ControlServer>([this](std::string_view line) { return Execute(line); });
        if (!control->Listen(options_.control_port, error)) return false;
    }
    {
        std::lock_guard lock(quit_mutex_);
        quit_ = false;
    }
    main_ = std::move(main);
    side_ = std::move(side);
    control_ = std::move(control);
    main_->Start();
    if (side_) side_->Start();
    if (control_) control_->Start();
    return true;
}

void Simulator::Stop() {
    // The control channel goes first: a command it is running may still need the main port.
    if (control_) control_->Stop();
    if (side_) side_->Stop();
    if (main_) main_->Stop();
    control_.reset();
    side_.reset();
    main_.reset();
    log_.Flush();
}

int Simulator::port() const {
    return main_ ? main_->port() : 0;
}
int Simulator::side_port() const {
    return side_ ? side_->port() : 0;
}
int Simulator::control_port() const {
    return control_ ? control_->port() : 0;
}
uint64_t Simulator::side_requests() const {
    return side_ ? side_->requests() : 0;
}

std::string Simulator::ReadyLine() const {
    return "orvex-box-sim ready port=" + std::to_string(port()) + " side=" + std::to_string(side_port()) +
           " control=" + std::to_string(control_port());
}

namespace {
const std::string kNotRunning = "error: simulator not running";
}

std::string Simulator::Drop() {
    return main_ ? main_->Drop() : kNotRunning;
}
std::string Simulator::Stall(std::chrono::milliseconds d) {
    return main_ ? main_->Stall(d) : kNotRunning;
}
std::string Simulator::Garbage(int lines) {
    return main_ ? main_->Garbage(lines) : kNotRunning;
}
std::string Simulator::Overlong(std::size_t length) {
    return main_ ? main_->Overlong(length) : kNotRunning;
}
std::string Simulator::LoneLineFeed() {
    return main_ ? main_->LoneLineFeed() : kNotRunning;
}
std::string Simulator::Away(std::chrono::milliseconds d) {
    return main_ ? main_->Away(d) : kNotRunning;
}
std::string Simulator::Pause() {
    return main_ ? main_->Pause() : kNotRunning;
}
std::string Simulator::Resume() {
    return main_ ? main_->Resume() : kNotRunning;
}
std::string Simulator::SendReads(uint64_t count) {
    return main_ ? main_->AddReads(count) : kNotRunning;
}
std::string Simulator::SetRate(double per_second) {
    return main_ ? main_->SetRate(per_second) : kNotRunning;
}
std::string Simulator::PowerOn() {
    return main_ ? main_->PowerOn() : kNotRunning;
}

std::optional<MainPortStats> Simulator::Stats() {
    if (!main_) return std::nullopt;
    return main_->Stats();
}

bool Simulator::quit_requested() const {
    std::lock_guard lock(quit_mutex_);
    return quit_;
}

bool Simulator::WaitForQuit(std::chrono::milliseconds timeout) {
    std::unique_lock lock(quit_mutex_);
    return quit_cv_.wait_for(lock, timeout, [this] { return quit_; });
}

}  // namespace winorvex::sim
