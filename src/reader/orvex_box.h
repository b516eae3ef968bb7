#pragma once
// One of the four reader slots: its settings, its transport, the commands it sends to the reader,
// the download of the reader's memory into a file, and the requests to the side service that
// ELITE readers offer beside their main connection.
//
// Threads: the interface thread configures the slot and sends commands; the slot's worker thread
// reads through the transport, writes the download file, updates the reply state and may end a
// download (StopDownload). Every field shared by the two is an atomic or guarded by its own mutex.
// The transport itself is only exchanged while no worker runs; the address stays with the slot
// when it is.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "detections/last_read_list.h"
#include "reader/com_box.h"

namespace winorvex {

class COrvexBox {
public:
    static constexpr int kSlotCount = 4;
    static constexpr int kDefaultSidePort = 9999;
    // Where ELITE readers serve their own log files.
    static constexpr int kDefaultFtpPort = 21;
    // The side service answers at once; past this the operator's window would seem frozen.
    static constexpr int kDefaultSideReplyTimeoutMs = 5000;
    // Pause between the commands of a download sequence, so that the reader takes them one by one.
    static constexpr int kCommandPauseMs = 100;

    COrvexBox();
    virtual ~COrvexBox();
    COrvexBox(const COrvexBox&) = delete;
    COrvexBox& operator=(const COrvexBox&) = delete;

    // ---- Slot settings (section "OrvexBoxes", index 0..3 for slots 1..4) ----
    // Reads "BoxHost%d", "BoxPort%d", "BoxIdDetector%d" (and the optional "BoxSidePort%d" and
    // "BoxFtpPort%d"), sets the box number to index + 1 and configures the slot with the address.
    void LoadSettings(int index);
    // Writes the three keys from the address (the side and FTP ports are never written).
    void SaveSettings(int index) const;
    // Gives the transport kind the address calls for (only a change of kind replaces the
    // transport: the same kind keeps its object and its link), then sets the address.
    void Configure(const BoxAddress& address);
    BoxAddress Address() const;
    // Where the transport connects next; a TCP host longer than BoxAddress::kMaxHostLength is cut.
    // The transport is left as it is.
    void SetAddress(BoxAddress address);
    // The transport a slot with this host needs.
    static std::unique_ptr<CComBox> MakeTransportFor(const std::string& host);
    // Replaces the transport (the old one is closed and destroyed). Refused while the worker runs:
    // it would be left reading through a destroyed object.
    void SetTransport(std::unique_ptr<CComBox> transport);
    CComBox* Transport() const { return transport_.get(); }
    // A transport is there and the address has a port (or speed) / a host and a port.
    bool HasAddress() const;
    bool IsConfigured() const;
    bool IsSerial() const { return transport_ && transport_->IsSerial(); }
    bool IsOpen() const { return transport_ && transport_->IsOpen(); }
    // Open, or being reopened by the worker.
    bool IsActive() const { return IsOpen() || IsReconnecting(); }
    bool IsReconnecting() const { return reconnecting_.load(); }
    void SetReconnecting(bool reconnecting) { reconnecting_.store(reconnecting); }
    // Connects the transport to the slot's address.
    bool ConnectTransport(std::string& error);

    int BoxNumber() const { return boxNumber_.load(); }
    void SetBoxNumber(int number) { boxNumber_.store(number); }
    // "Box %d %s" with the box number and the address's description.
    std::string GetLabel() const;
    std::string GetDetectorId() const;
    CLastBoxDetectionList& LastDetections() { return lastDetections_; }

    // ---- Download file (raw reader lines) ----
    // Closes the file that was open, then opens path for writing (truncating, or appending so that
    // what it holds is kept). False when it cannot be opened.
    bool OpenDownloadFile(const std::string& path, bool append = false);
    void CloseDownloadFile();
    bool IsDownloadFileOpen() const;
    // The path of the download file while it is open, else empty.
    std::string DownloadFilePath() const;
    // Writes the line and a line feed as one unit and counts it; false when no file is open.
    bool WriteDownloadLine(std::string_view line);

    // ---- State shared with the worker thread ----
    bool IsStopRequested() const { return stopRequested_.load(); }
    // Setting it also cuts short a pause of a command sequence in progress.
    void SetStopRequested(bool requested);
    bool IsThreadRunning() const { return threadRunning_.load(); }
    void SetThreadRunning(bool running) { threadRunning_.store(running); }
    bool IsDownloading() const { return downloading_.load(); }
    void SetDownloading(bool downloading) { downloading_.store(downloading); }
    int DownloadedCount() const { return downloadedCount_.load(); }
    void SetDownloadedCount(int count) { downloadedCount_.store(count); }
    std::string LastLoggingDetail() const;
    void SetLastLoggingDetail(std::string_view line);
    // Last memory-clearing progress in percent; -1 when none or unknown.
    int ClearingPercent() const { return clearingPercent_.load(); }
    void SetClearingPercent(int percent) { clearingPercent_.store(percent); }

    // ---- Commands on the main connection ----
    // Builds and writes one frame. French-only error texts, as the reader tools always had.
    bool SendRawCommand(int code, std::string_view data, std::string& error);
    // Logs and sends a command without data; name only appears in the log.
    bool SendNamedCommand(int code, const std::string& name, std::string& error);
    // Rewinds the reader's replay, opens the download file and starts replaying into it.
    bool StartDownload(const std::string& filePath, std::string& error);
    bool StopDownload(std::string& error);

    // ---- Side service of ELITE readers (port "BoxSidePort%d", 9999 by default) ----
    // 0 success, 1 another answer (error = the answer), -1 not possible (serial transport, or no
    // connection), -2 no readable answer.
    int SetClockElite(std::string& error);
    int GetClockElite(std::string& clock, std::string& error);
    int ClearHistoryElite(std::string& error);
    int InsertMarkerElite(const std::string& label, std::string& error);
    int SidePort() const { return sidePort_.load(); }
    void SetSidePort(int port) { sidePort_.store(port); }
    int FtpPort() const { return ftpPort_.load(); }
    void SetFtpPort(int port) { ftpPort_.store(port); }
    int SideReplyTimeoutMs() const { return sideReplyTimeoutMs_.load(); }
    void SetSideReplyTimeoutMs(int milliseconds) { sideReplyTimeoutMs_.store(milliseconds); }

private:
    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    // Sleeps kCommandPauseMs unless a stop is requested meanwhile.
    void PauseBetweenCommands();
    // The checks shared by StartDownload and StopDownload.
    bool CheckReadyForDownload(std::string& error) const;
    // Host of the side service; false for a transport that has none (serial).
    bool SideHost(std::string& host) const;

    CLastBoxDetectionList lastDetections_;
    std::atomic<int> boxNumber_{0};
    mutable std::mutex downloadMutex_;
    std::unique_ptr<std::FILE, FileCloser> downloadFile_;
    std::string downloadPath_;  // guarded by downloadMutex_
    std::unique_ptr<CComBox> transport_;
    mutable std::mutex addressMutex_;
    BoxAddress address_;  // guarded by addressMutex_
    std::atomic<bool> reconnecting_{false};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> downloading_{false};
    std::atomic<int> downloadedCount_{0};
    mutable std::mutex detailMutex_;
    std::string lastLoggingDetail_;
    std::atomic<int> clearingPercent_{-1};
    std::atomic<bool> threadRunning_{false};
    std::atomic<int> sidePort_{kDefaultSidePort};
    std::atomic<int> ftpPort_{kDefaultFtpPort};
    std::atomic<int> sideReplyTimeoutMs_{kDefaultSideReplyTimeoutMs};

    std::mutex pauseMutex_;
    std::condition_variable pauseWake_;
};

}  // namespace winorvex
