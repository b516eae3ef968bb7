#pragma once
// The simulated results program: listens on 127.0.0.1, takes one client at a time (a new one
// replaces the one connected), answers each "AddRixClock(...)" with a runner record, answers
// "Ping()" and the information requests, and breaks the link on demand. It counts every
// detection it received, per detector, bib and time, so that a test or a benchmark can check
// that nothing was lost or duplicated.
//
// Threads: one server thread owns the sockets. Execute() and the fault methods may be called
// from any thread; actions on the client run on the server thread (the caller waits for them).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/unique_fd.h"
#include "results_link/link_socket.h"
#include "runner_table.h"

namespace winorvex::results_sim {

struct Options {
    int port = 8283;  // 0: any free port
    RecordFormat format = RecordFormat::kKt04;
    std::string version = "4,4,0,0";  // the answer to "GetVersion()"
    std::string competition = "Marathon";
    std::string runnersFile;  // empty: generated runners
    int generatedRunners = 1000;
    int receiveBuffer = 0;         // SO_RCVBUF of the accepted sockets, 0: the system's
    bool quiet = false;            // no notes on standard error
    bool answerDetections = true;  // false: "AddRixClock" lines are taken and left unanswered
};

struct Counts {
    std::uint64_t detections = 0;  // "AddRixClock" lines taken
    std::uint64_t distinct = 0;    // distinct (detector, bib, time)
    std::uint64_t duplicates = 0;  // detections - distinct
    std::uint64_t pings = 0;
    std::uint64_t requests = 0;  // information requests
    std::uint64_t bad = 0;       // lines that are no known request
    std::uint64_t clients = 0;   // connections accepted
    bool connected = false;
    bool reading = true;
};

class ResultsSimulator {
public:
    explicit ResultsSimulator(Options options);
    ~ResultsSimulator();
    ResultsSimulator(const ResultsSimulator&) = delete;
    ResultsSimulator& operator=(const ResultsSimulator&) = delete;

    bool Start(std::string& error);
    void Stop();
    int port() const { return port_; }
    std::string ReadyLine() const;  // "results-sim ready port=N"

    // The control language (README.md); one answer ("ok", "error: ...", or the data asked for).
    std::string Execute(std::string_view command);
    bool quit_requested() const { return quit_.load(); }

    // The same, for tests in the process.
    void Drop();
    void SetReading(bool reading);
    void SendLine(std::string_view utf8Text);  // converted to Windows-1252, CR LF added
    void SendRaw(std::string bytes);           // exactly these bytes
    void SendGarbage(int lines);
    void SendAccentedRecord(int bib);
    void SendOverlong(std::size_t length);
    void SetFormat(RecordFormat format);
    void SetVersion(std::string version);
    // Every following runner record carries this status (nullopt: 3, or 0 for a repeat).
    void SetForcedStatus(std::optional<int> status);
    // False: detections are counted but get no runner record (requests are still answered).
    void SetAnswering(bool answering);

    Counts GetCounts() const;
    // "detector\tbib\ttime" -> times received.
    std::map<std::string, int> Received() const;
    // Every line received, in order (requests included), for tests that look at the bytes.
    std::vector<std::string> Lines() const;
    // "detector\tbib" -> steady-clock nanoseconds of the first "AddRixClock" of that runner at that
    // detector, for latency measurements (a benchmark gives each read its own bib).
    std::map<std::string, std::int64_t> FirstReceipts() const;

private:
    struct Action {
        std::function<void()> run;
        std::promise<void> done;
    };
    void RunOnServer(std::function<void()> run);
    void Loop();
    void AcceptClient();
    void ReadClient();
    void HandleLine(std::string line);
    void AnswerDetection(std::string_view inside);
    void Send(std::string bytes);
    void CloseClient();
    void Note(const std::string& text) const;

    Options options_;
    RunnerTable runners_;
    UniqueFd listener_;
    int port_ = 0;
    WakeEvent wake_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> quit_{false};

    // Server thread only.
    UniqueFd client_;
    std::string pending_;
    std::map<std::string, int> passes_;                  // "detector\tbib" -> passes
    std::map<std::string, std::int64_t> firstReceipts_;  // guarded by mutex_
    struct Ranks {
        int overall = 0;
        int sex = 0;
        int category = 0;
    };
    struct Arrivals {
        int count = 0;
        std::map<std::string, int> perSex;
        std::map<std::string, int> perCategory;
        std::map<int, Ranks> ranks;  // bib -> its ranks at this detector
    };
    std::map<std::string, Arrivals> arrivals_;  // per detector

    std::mutex actionsMutex_;
    std::deque<Action> actions_;

    mutable std::mutex mutex_;  // guards what other threads read or set
    Counts counts_;
    std::map<std::string, int> received_;
    std::vector<std::string> lines_;
    RecordFormat format_;
    std::string version_;
    std::optional<int> forcedStatus_;
    bool answering_ = true;
};

}  // namespace winorvex::results_sim
