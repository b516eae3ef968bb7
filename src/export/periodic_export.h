#pragma once
// The periodic background export: every "ExportPeriodMinutes" minutes while "BExport" is on, an
// export with the saved settings, quietly. The station calls RunPeriodicExportCheck from a 1 s
// single-shot timer that it re-arms after each check, so checks never pile up behind a long
// export; the headless station does the same. Everything runs on the caller's thread.
#include <chrono>
#include <optional>
#include <string>

namespace winorvex {

class ExportUploader;
struct ExportReport;

// The time the period is measured on; a monotonic clock, so that setting the computer's clock
// neither delays nor hastens an export. Tests inject their own.
class MonotonicClock {
public:
    virtual ~MonotonicClock() = default;
    virtual std::chrono::steady_clock::time_point Now() const = 0;
};

class SteadyMonotonicClock final : public MonotonicClock {
public:
    std::chrono::steady_clock::time_point Now() const override { return std::chrono::steady_clock::now(); }
};

// Why the saved settings allow no background export, or empty when they do: "Delta" empty or
// not a time, the folder or the name empty (or the name unsafe), FTP on without a selected server.
std::string BackgroundExportProblem();

// The export with the saved settings, from a fresh working copy, without any message. Returns
// an error text (empty when every file was written and, with FTP, every upload queued).
// report, when given, receives the run's report.
std::string RunBackgroundExport(ExportUploader* uploader, ExportReport* report = nullptr);

class PeriodicExport {
public:
    // uploader may be null (FTP not available); both must outlive this object.
    PeriodicExport(const MonotonicClock& clock, ExportUploader* uploader);
    PeriodicExport(const PeriodicExport&) = delete;
    PeriodicExport& operator=(const PeriodicExport&) = delete;

    // 1. "BExport" off: nothing, and the period is forgotten (switching it on starts a new one).
    // 2. No period yet: it starts now, no export.
    // 3. More than "ExportPeriodMinutes" minutes (below 1: 2) since the period started:
    //    RunBackgroundExport, and a new period starts whatever its outcome.
    // A reason not to export (or an export's failure) is logged once per change of the reason.
    void RunPeriodicExportCheck();

    // The next check starts a new period (the dialog closed with "BExport" switched on).
    void RestartPeriod() { periodStart_.reset(); }

    int RunCount() const { return runs_; }
    const std::string& LastProblem() const { return loggedProblem_; }

private:
    void Report(const std::string& problem);

    const MonotonicClock& clock_;
    ExportUploader* uploader_;
    std::optional<std::chrono::steady_clock::time_point> periodStart_;
    std::string loggedProblem_;
    int runs_ = 0;
};

}  // namespace winorvex
