#include "results_sim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "core/text_format.h"
#include "results_link/results_messages.h"
#include "results_link/windows1252.h"

namespace winorvex::results_sim {
namespace {

constexpr std::size_t kKeptLines = 10000;
constexpr std::size_t kLongestRequest = 1 << 16;

std::vector<std::string> SplitTabs(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = text.find('\t', start);
        parts.emplace_back(text.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) return parts;
        start = tab + 1;
    }
}

bool ReadInt(std::string_view text, int& out) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
    }
    out = std::stoi(std::string(text));
    return true;
}

// The results program prints whole seconds.
std::string RunnerTime(std::string_view stationTime) {
    const std::size_t dot = stationTime.find('.');
    return std::string(stationTime.substr(0, dot));
}

}  // namespace

ResultsSimulator::ResultsSimulator(Options options)
    : options_(std::move(options)),
      format_(options_.format),
      version_(options_.version),
      answering_(options_.answerDetections) {}

ResultsSimulator::~ResultsSimulator() {
    Stop();
}

bool ResultsSimulator::Start(std::string& error) {
    if (!options_.runnersFile.empty()) {
        if (!runners_.Load(options_.runnersFile, error)) return false;
    } else {
        runners_.Generate(options_.generatedRunners);
    }
    if (!wake_.IsOpen()) {
        error = "eventfd failed";
        return false;
    }
    UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int yes = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    // Accepted sockets inherit it; it must be set before the connection for a small window.
    if (options_.receiveBuffer > 0) {
        ::setsockopt(listener.Get(), SOL_SOCKET, SO_RCVBUF, &options_.receiveBuffer, sizeof options_.receiveBuffer);
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(options_.port));
    if (!listener.IsOpen() || ::bind(listener.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener.Get(), 8) != 0) {
        error = Format("cannot listen on 127.0.0.1:%d: %s", options_.port, std::strerror(errno));
        return false;
    }
    socklen_t length = sizeof addr;
    ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
    listener_ = std::move(listener);
    thread_ = std::thread([this] { Loop(); });
    return true;
}

void ResultsSimulator::Stop() {
    if (!thread_.joinable()) return;
    stop_.store(true);
    wake_.Signal();
    thread_.join();
    client_.Reset();
    listener_.Reset();
    // Anybody still waiting for an action is released.
    std::lock_guard lock(actionsMutex_);
    for (Action& action : actions_) action.done.set_value();
    actions_.clear();
}

std::string ResultsSimulator::ReadyLine() const {
    return Format("results-sim ready port=%d", port_);
}

void ResultsSimulator::Note(const std::string& text) const {
    if (!options_.quiet) std::fprintf(stderr, "results-sim: %s\n", text.c_str());
}

void ResultsSimulator::RunOnServer(std::function<void()> run) {
    if (!thread_.joinable() || stop_.load()) return;
    std::future<void> done;
    {
        std::lock_guard lock(actionsMutex_);
        actions_.push_back(Action{std::move(run), {}});
        done = actions_.back().done.get_future();
    }
    wake_.Signal();
    done.wait_for(std::chrono::seconds(10));
}

void ResultsSimulator::Loop() {
    while (!stop_.load()) {
        bool reading;
        {
            std::lock_guard lock(mutex_);
            reading = counts_.reading;
        }
        pollfd fds[3] = {{wake_.Fd(), POLLIN, 0}, {listener_.Get(), POLLIN, 0}, {client_.Get(), POLLIN, 0}};
        const nfds_t count = client_.IsOpen() && reading ? 3 : 2;
        const int ready = ::poll(fds, count, 200);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) {
            wake_.Drain();
            std::deque<Action> batch;
            {
                std::lock_guard lock(actionsMutex_);
                batch.swap(actions_);
            }
            for (Action& action : batch) {
                action.run();
                action.done.set_value();
            }
        }
        if (fds[1].revents & POLLIN) AcceptClient();
        if (count == 3 && (fds[2].revents & (POLLIN | POLLHUP | POLLERR))) ReadClient();
    }
}

void ResultsSimulator::AcceptClient() {
    UniqueFd fd(::accept4(listener_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.IsOpen()) return;
    if (client_.IsOpen()) Note("a new client replaces the connected one");
    CloseClient();
    client_ = std::move(fd);
    std::lock_guard lock(mutex_);
    ++counts_.clients;
    counts_.connected = true;
}

void ResultsSimulator::CloseClient() {
    if (!client_.IsOpen()) return;
    ::shutdown(client_.Get(), SHUT_RDWR);
    client_.Reset();
    pending_.clear();
    std::lock_guard lock(mutex_);
    counts_.connected = false;
}

void ResultsSimulator::ReadClient() {
    char buffer[16384];
    const ssize_t n = ::recv(client_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        CloseClient();
        return;
    }
    if (n < 0) return;
    pending_.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = pending_.find('\n', start);
        if (lf == std::string::npos) break;
        std::string line = pending_.substr(start, lf - start);
        start = lf + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        HandleLine(std::move(line));
        if (!client_.IsOpen()) return;
    }
    pending_.erase(0, start);
    if (pending_.size() > kLongestRequest) {
        Note("request too long, dropped");
        pending_.clear();
        std::lock_guard lock(mutex_);
        ++counts_.bad;
    }
}

void ResultsSimulator::HandleLine(std::string line) {
    {
        std::lock_guard lock(mutex_);
        if (lines_.size() >= kKeptLines) lines_.erase(lines_.begin(), lines_.begin() + kKeptLines / 2);
        lines_.push_back(line);
    }
    if (line.empty()) return;
    constexpr std::string_view kHead = "AddRixClock(";
    if (line.starts_with(kHead) && line.back() == ')') {
        AnswerDetection(std::string_view(line).substr(kHead.size(), line.size() - kHead.size() - 1));
        return;
    }
    std::string answer;
    bool request = true;
    std::string version;
    {
        std::lock_guard lock(mutex_);
        version = version_;
    }
    if (line == "Ping()") {
        answer = "NFO:20";
        request = false;
        std::lock_guard lock(mutex_);
        ++counts_.pings;
    } else if (line == "GetMode()") {
        answer = "NFO:24 KtKOR results simulator";
    } else if (line == "GetUserName()") {
        answer = "NFO:25 simulator";
    } else if (line == "GetCompetitionName()") {
        answer = "NFO:5 " + options_.competition;
    } else if (line == "GetFilename()") {
        answer = "NFO:6 competition.kt";
    } else if (line == "GetVersion()") {
        answer = "NFO:27 " + version;
    } else if (line == "GetPrintableVersion()") {
        answer = "NFO:28 " + VersionText(version);
    } else if (line == "GetDetectorList()") {
        std::string list;
        for (const auto& [detector, arrivals] : arrivals_) list += (list.empty() ? "" : ",") + detector;
        answer = "NFO:7 " + (list.empty() ? std::string("-") : list);
    } else {
        answer = "ERR:103";
        request = false;
        std::lock_guard lock(mutex_);
        ++counts_.bad;
    }
    if (request) {
        std::lock_guard lock(mutex_);
        ++counts_.requests;
    }
    Send(Utf8ToWindows1252(answer) + "\r\n");
}

std::map<std::string, std::int64_t> ResultsSimulator::FirstReceipts() const {
    std::lock_guard lock(mutex_);
    return firstReceipts_;
}

void ResultsSimulator::AnswerDetection(std::string_view inside) {
    const std::vector<std::string> fields = SplitTabs(inside);
    if (fields.size() < 5 || fields[1].empty() || fields[2].empty()) {
        {
            std::lock_guard lock(mutex_);
            ++counts_.bad;
        }
        Send("ERR:104\r\n");
        return;
    }
    const std::string& detector = fields[1];
    const std::string& bibText = fields[2];
    const std::string& time = fields[4];
    bool repeat = false;
    RecordFormat format;
    std::optional<int> forced;
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    {
        std::lock_guard lock(mutex_);
        firstReceipts_.emplace(detector + "\t" + bibText, now);
        int& times = received_[detector + "\t" + bibText + "\t" + time];
        repeat = ++times > 1;
        ++counts_.detections;
        if (repeat) {
            ++counts_.duplicates;
        } else {
            ++counts_.distinct;
        }
        format = format_;
        forced = forcedStatus_;
        if (!answering_) return;
    }
    RecordValues values;
    int bib = 0;
    const bool numeric = ReadInt(bibText, bib);
    const std::optional<Runner> runner = numeric ? runners_.Find(bib) : std::nullopt;
    values.time = RunnerTime(time);
    if (!runner) {
        values.runner = Runner{bib, "INCONNU", "?", "-", "-", "-", "-"};
        values.status = -5;
    } else {
        values.runner = *runner;
        int& passes = passes_[detector + "\t" + bibText];
        if (!repeat) ++passes;
        values.pass = std::max(passes, 1);
        // Ranks are given at the first arrival at the detector, as a results program ranks a finish.
        Arrivals& arrivals = arrivals_[detector];
        auto [it, first] = arrivals.ranks.try_emplace(bib);
        if (first) {
            it->second.overall = ++arrivals.count;
            it->second.sex = ++arrivals.perSex[runner->sex];
            it->second.category = ++arrivals.perCategory[runner->shortCategory];
        }
        values.overallRank = it->second.overall;
        values.sexRank = it->second.sex;
        values.categoryRank = it->second.category;
        values.status = repeat ? 0 : 3;
    }
    if (forced) values.status = *forced;
    Send(Utf8ToWindows1252(FormatRecord(format, values)) + "\r\n");
}

void ResultsSimulator::Send(std::string bytes) {
    if (!client_.IsOpen()) return;
    std::size_t sent = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (sent < bytes.size()) {
        const ssize_t n = ::send(client_.Get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) break;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd pfd{client_.Get(), POLLOUT, 0};
        ::poll(&pfd, 1, static_cast<int>(left.count()));
    }
    if (sent < bytes.size()) {
        Note("the client does not take what is sent: closed");
        CloseClient();
    }
}

void ResultsSimulator::Drop() {
    RunOnServer([this] { CloseClient(); });
}

void ResultsSimulator::SetReading(bool reading) {
    {
        std::lock_guard lock(mutex_);
        counts_.reading = reading;
    }
    wake_.Signal();  // the server loop polls the client again (or stops to) at once
}

void ResultsSimulator::SendLine(std::string_view utf8Text) {
    SendRaw(Utf8ToWindows1252(utf8Text) + "\r\n");
}

void ResultsSimulator::SendRaw(std::string bytes) {
    RunOnServer([this, bytes = std::move(bytes)]() mutable { Send(std::move(bytes)); });
}

void ResultsSimulator::SendGarbage(int lines) {
    static const char* const kGarbage[] = {
        "kt04\\x\\y", "ERR:", "NFO:abc", "RES:1\\1\\2", "\x01\x02\x7f\xff\xfe garbage", "kt05\\\\\\\\", "))))(((("};
    std::string bytes;
    for (int i = 0; i < lines; ++i) {
        bytes += kGarbage[static_cast<std::size_t>(i) % std::size(kGarbage)];
        bytes += "\r\n";
    }
    SendRaw(std::move(bytes));
}

void ResultsSimulator::SendAccentedRecord(int bib) {
    RecordValues values;
    values.runner = Runner{bib, "Dupré-Müller", "Hélène", "F", "SE", "Sénior", "Œuvre Ætna"};
    values.overallRank = 1;
    values.categoryRank = 1;
    values.sexRank = 1;
    values.time = "01:02:03";
    RecordFormat format;
    {
        std::lock_guard lock(mutex_);
        format = format_;
    }
    SendLine(FormatRecord(format, values));
}

void ResultsSimulator::SendOverlong(std::size_t length) {
    SendRaw(std::string(length, 'x') + "\r\n");
}

void ResultsSimulator::SetFormat(RecordFormat format) {
    std::lock_guard lock(mutex_);
    format_ = format;
}

void ResultsSimulator::SetVersion(std::string version) {
    std::lock_guard lock(mutex_);
    version_ = std::move(version);
}

void ResultsSimulator::SetForcedStatus(std::optional<int> status) {
    std::lock_guard lock(mutex_);
    forcedStatus_ = status;
}

void ResultsSimulator::SetAnswering(bool answering) {
    std::lock_guard lock(mutex_);
    answering_ = answering;
}

Counts ResultsSimulator::GetCounts() const {
    std::lock_guard lock(mutex_);
    return counts_;
}

std::map<std::string, int> ResultsSimulator::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

std::vector<std::string> ResultsSimulator::Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::string ResultsSimulator::Execute(std::string_view command) {
    std::istringstream in{std::string(command)};
    std::string verb;
    in >> verb;
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    int number = 0;
    if (verb == "drop") {
        Drop();
    } else if (verb == "stopread") {
        SetReading(false);
    } else if (verb == "read") {
        SetReading(true);
    } else if (verb == "garbage") {
        SendGarbage(ReadInt(rest, number) ? number : 5);
    } else if (verb == "accent") {
        SendAccentedRecord(ReadInt(rest, number) ? number : 1);
    } else if (verb == "overlong") {
        if (!ReadInt(rest, number)) return "error: overlong LENGTH";
        SendOverlong(static_cast<std::size_t>(number));
    } else if (verb == "send") {
        SendLine(rest);
    } else if (verb == "format") {
        RecordFormat format;
        if (!ParseRecordFormat(rest, format)) return "error: format kt04|kt05|kt06|res1";
        SetFormat(format);
    } else if (verb == "version") {
        if (rest.empty()) return "error: version A,B,C,D";
        SetVersion(rest);
    } else if (verb == "status") {
        if (rest == "auto") {
            SetForcedStatus(std::nullopt);
        } else {
            std::size_t used = 0;
            try {
                SetForcedStatus(std::stoi(rest, &used));
            } catch (const std::exception&) {
                return "error: status CODE|auto";
            }
        }
    } else if (verb == "answers") {
        if (rest != "on" && rest != "off") return "error: answers on|off";
        SetAnswering(rest == "on");
    } else if (verb == "counts") {
        const Counts c = GetCounts();
        return Format(
            "detections=%llu distinct=%llu duplicates=%llu pings=%llu requests=%llu bad=%llu clients=%llu "
            "connected=%d reading=%d",
            static_cast<unsigned long long>(c.detections), static_cast<unsigned long long>(c.distinct),
            static_cast<unsigned long long>(c.duplicates), static_cast<unsigned long long>(c.pings),
            static_cast<unsigned long long>(c.requests), static_cast<unsigned long long>(c.bad),
            static_cast<unsigned long long>(c.clients), c.connected ? 1 : 0, c.reading ? 1 : 0);
    } else if (verb == "list") {
        std::string out;
        for (const auto& [key, times] : Received()) out += key + "\t" + std::to_string(times) + "\n";
        return out + "end";
    } else if (verb == "quit") {
        quit_.store(true);
    } else {
        return "error: unknown command " + verb;
    }
    return "ok";
}

}  // namespace winorvex::results_sim
