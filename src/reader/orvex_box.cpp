#include "reader/orvex_box.h"

#include <chrono>
#include <utility>

#include "core/log.h"
#include "core/settings.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "reader/command_frame.h"
#include "reader/serial_com_box.h"
#include "reader/tcp_com_box.h"

namespace winorvex {

COrvexBox::COrvexBox() : transport_(std::make_unique<CTcpComBox>()) {}

COrvexBox::~COrvexBox() {
    if (transport_) transport_->Close();
    transport_.reset();
    CloseDownloadFile();
}

// ---- Slot settings ----------------------------------------------------------------------------

std::unique_ptr<CComBox> COrvexBox::MakeTransportFor(const std::string& host) {
    // A port name ("COM3", any case) or a device path calls for the serial transport.
    if (CSerialComBox::IsSerialHost(host)) return std::make_unique<CSerialComBox>();
    return std::make_unique<CTcpComBox>();
}

void COrvexBox::SetTransport(std::unique_ptr<CComBox> transport) {
    if (IsThreadRunning()) {
        LogF(0,
             Tr("## Boîtier %d : transport conservé tant que son thread tourne",
                "## Box %d : transport kept while its thread runs"),
             BoxNumber());
        return;
    }
    if (transport_) transport_->Close();
    transport_ = std::move(transport);
}

void COrvexBox::LoadSettings(int index) {
    const std::string host = ReadSettingText(keys::kOrvexBoxes, Format("BoxHost%d", index), "");
    const int port = ReadSettingInt(keys::kOrvexBoxes, Format("BoxPort%d", index), 0);
    const std::string detectorId =
        ReadSettingText(keys::kOrvexBoxes, Format("BoxIdDetector%d", index), BoxAddress::kDefaultDetectorId);
    sidePort_.store(ReadSettingInt(keys::kOrvexBoxes, Format("BoxSidePort%d", index), kDefaultSidePort));
    ftpPort_.store(ReadSettingInt(keys::kOrvexBoxes, Format("BoxFtpPort%d", index), kDefaultFtpPort));
    SetBoxNumber(index + 1);

    Configure(BoxAddress{detectorId, host, port});
}

void COrvexBox::SaveSettings(int index) const {
    if (!transport_) return;
    const BoxAddress address = Address();
    WriteSettingText(keys::kOrvexBoxes, Format("BoxHost%d", index), address.host);
    WriteSettingInt(keys::kOrvexBoxes, Format("BoxPort%d", index), address.port);
    WriteSettingText(keys::kOrvexBoxes, Format("BoxIdDetector%d", index), address.detectorId);
}

void COrvexBox::Configure(const BoxAddress& address) {
    const bool serial = address.IsSerial();
    if (!transport_ || transport_->IsSerial() != serial) SetTransport(MakeTransportFor(address.host));
    SetAddress(address);
}

BoxAddress COrvexBox::Address() const {
    std::lock_guard lock(addressMutex_);
    return address_;
}

void COrvexBox::SetAddress(BoxAddress address) {
    if (!address.IsSerial() && address.host.size() > BoxAddress::kMaxHostLength) {
        address.host.resize(BoxAddress::kMaxHostLength);
    }
    std::lock_guard lock(addressMutex_);
    address_ = std::move(address);
}

bool COrvexBox::HasAddress() const {
    return transport_ && Address().HasAddress();
}

bool COrvexBox::IsConfigured() const {
    return transport_ && Address().IsConfigured();
}

bool COrvexBox::ConnectTransport(std::string& error) {
    if (!transport_) return false;
    return transport_->Connect(Address(), error);
}

std::string COrvexBox::GetLabel() const {
    const std::string description = transport_ ? Address().Description() : std::string();
    return Format(Tr("Boîtier %d %s", "Box %d %s"), BoxNumber(), description.c_str());
}

std::string COrvexBox::GetDetectorId() const {
    if (!transport_) return std::string();
    return Address().detectorId;
}

// ---- Download file ----------------------------------------------------------------------------

bool COrvexBox::OpenDownloadFile(const std::string& path, bool append) {
    std::lock_guard lock(downloadMutex_);
    downloadFile_.reset();
    downloadFile_.reset(std::fopen(path.c_str(), append ? "a" : "w"));
    downloadPath_ = downloadFile_ ? path : std::string();
    return downloadFile_ != nullptr;
}

void COrvexBox::CloseDownloadFile() {
    std::lock_guard lock(downloadMutex_);
    downloadFile_.reset();
    downloadPath_.clear();
}

std::string COrvexBox::DownloadFilePath() const {
    std::lock_guard lock(downloadMutex_);
    return downloadPath_;
}

bool COrvexBox::IsDownloadFileOpen() const {
    std::lock_guard lock(downloadMutex_);
    return downloadFile_ != nullptr;
}

bool COrvexBox::WriteDownloadLine(std::string_view line) {
    std::lock_guard lock(downloadMutex_);
    if (!downloadFile_) return false;
    std::FILE* file = downloadFile_.get();
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size() && std::fputc('\n', file) != EOF;
    if (written) downloadedCount_.fetch_add(1);
    return written;
}

// ---- Shared state -----------------------------------------------------------------------------

void COrvexBox::SetStopRequested(bool requested) {
    {
        std::lock_guard lock(pauseMutex_);
        stopRequested_.store(requested);
    }
    if (requested) pauseWake_.notify_all();
}

std::string COrvexBox::LastLoggingDetail() const {
    std::lock_guard lock(detailMutex_);
    return lastLoggingDetail_;
}

void COrvexBox::SetLastLoggingDetail(std::string_view line) {
    std::lock_guard lock(detailMutex_);
    lastLoggingDetail_.assign(line);
}

void COrvexBox::PauseBetweenCommands() {
    std::unique_lock lock(pauseMutex_);
    pauseWake_.wait_for(lock, std::chrono::milliseconds(kCommandPauseMs), [this] { return stopRequested_.load(); });
}

// ---- Commands ---------------------------------------------------------------------------------

bool COrvexBox::SendRawCommand(int code, std::string_view data, std::string& error) {
    error.clear();
    if (!transport_ || !transport_->IsOpen()) {
        error = "Connexion non ouverte";
        return false;
    }
    std::string frame;
    if (!BuildCommandFrame(code, data, frame)) {
        error = Format("Unknown command code: %d", code);
        return false;
    }
    if (LogWanted(100)) LogF(100, ">>->> %s", frame.c_str());
    frame += "\r\n";
    const int sent = transport_->Write(frame.data(), static_cast<int>(frame.size()));
    if (sent < 0) {
        error = Format("Erreur envoi de commande (%d) au boîtier", code);
        transport_->Close();
        return false;
    }
    if (sent != static_cast<int>(frame.size())) {
        error = Format("Erreur écriture commande (%d) au boîtier", code);
        return false;
    }
    return true;
}

bool COrvexBox::SendNamedCommand(int code, const std::string& name, std::string& error) {
    error.clear();
    if (!IsConfigured()) {
        error = "Invalid box internal data";
        return false;
    }
    const std::string label = GetLabel();
    if (!transport_->IsOpen()) {
        error = Format(Tr("%s non connecté", "%s is not connected"), label.c_str());
        return false;
    }
    LogF(100, Tr("+ %s : Envoi de commande %d: [%s]", "+ %s : Sending command %d: [%s]"), label.c_str(), code,
         name.c_str());
    std::string rawError;
    if (!SendRawCommand(code, std::string_view(), rawError)) {
        error = Format(Tr("Erreur envoi de commande: %s", "Error sending command: %s"), rawError.c_str());
        LogF(0, Tr("## %s : Erreur envoi de commande : %s", "## %s : Error sending command: %s"), label.c_str(),
             rawError.c_str());
        return false;
    }
    return true;
}

bool COrvexBox::CheckReadyForDownload(std::string& error) const {
    if (!IsConfigured()) {
        error = "Invalid box internal data";
        return false;
    }
    if (!transport_->IsOpen()) {
        error = "Box is not connected";
        return false;
    }
    return true;
}

bool COrvexBox::StartDownload(const std::string& filePath, std::string& error) {
    error.clear();
    if (!CheckReadyForDownload(error)) return false;
    const std::string label = GetLabel();
    LogF(100, "## %s : START DOWNLOAD", label.c_str());

    // A command that cannot be sent, or a file that cannot be written, stops the sequence: a
    // download reported as started would otherwise replay the reader's memory into nothing.
    if (!SendNamedCommand(kCommandReplayStop, "Replay Stop", error)) return false;
    PauseBetweenCommands();
    if (!SendNamedCommand(kCommandReplayRewind, "Replay Rewind", error)) return false;
    PauseBetweenCommands();
    if (!OpenDownloadFile(filePath)) {
        error = Format(Tr("Impossible de créer le fichier %s", "Cannot create the file %s"), filePath.c_str());
        LogF(0, "## %s : %s", label.c_str(), error.c_str());
        return false;
    }
    if (!SendNamedCommand(kCommandGetPeriodicLogInfo, "Get Periodic Log Info", error)) {
        CloseDownloadFile();
        return false;
    }
    PauseBetweenCommands();
    SetDownloadedCount(0);
    SetDownloading(true);
    if (!SendNamedCommand(kCommandReplayStart, "Replay Start", error)) {
        SetDownloading(false);
        CloseDownloadFile();
        return false;
    }
    return true;
}

bool COrvexBox::StopDownload(std::string& error) {
    error.clear();
    if (!CheckReadyForDownload(error)) {
        // The reader cannot be told, but the download must still end here: left on, it would divert
        // the reads of a reconnected box into the download file instead of recording them.
        SetDownloading(false);
        CloseDownloadFile();
        return false;
    }
    const std::string label = GetLabel();
    LogF(100, "## %s : STOP DOWNLOAD. %d detections downloaded", label.c_str(), DownloadedCount());

    // The download ends whatever the reader does with the commands below; their failures are
    // already in the log.
    SetDownloading(false);
    std::string ignored;
    SendNamedCommand(kCommandStopPeriodicLogInfo, "Stop Periodic Log Info", ignored);
    PauseBetweenCommands();
    CloseDownloadFile();
    SendNamedCommand(kCommandReplayStop, "Replay Stop", ignored);
    PauseBetweenCommands();
    SendNamedCommand(kCommandReplayRewind, "Replay Rewind", ignored);
    PauseBetweenCommands();
    return true;
}

}  // namespace winorvex
