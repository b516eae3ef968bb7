#pragma once
// The reader-log download from ELITE readers: the probe of the reader's side service, the list of
// its "*.log" files over FTP and the download of one of them next to the reader's file tag.
//
// Threads: these functions block on the network and use only the copies they are given, so the
// dialog runs them on a thread of its own and keeps drawing meanwhile.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "app/download_boxes.h"
#include "ftp/ftp_listing.h"
#include "ftp/ftp_timeouts.h"

namespace winorvex {

inline constexpr const char* kDownloadEliteSection = "DownloadElite";
inline constexpr const char* kDownloadElitePathKey = "DownloadElitePath";
inline constexpr const char* kOnlyDetectionFilesKey = "BOnlyDetectionFiles";

// How long the side service may take to accept before the reader is taken for a Lite one.
inline constexpr int kEliteProbeSeconds = 3;

// A log the reader writes its reads into (the others are its system logs).
bool IsDetectionLogFile(const std::string& name);

// The FTP site of the box: its host, with the port when it is not the standard one.
std::string EliteFtpSite(const DeclaredBox& box);

// "File [%s] : %d bytes"
std::string EliteFileLine(const CFtpFileDesc& file);

struct EliteListing {
    enum class Outcome { Listed, NoSideService, ListingFailed };
    Outcome outcome = Outcome::ListingFailed;
    // The files to offer, in the reader's order (the others are left out by the option).
    std::vector<CFtpFileDesc> files;
    // What the file list shows instead of files when the outcome is not Listed.
    std::string message;
};

// Probes the side service, then lists the reader's logs. A set abort flag ends the listing soon.
EliteListing ListEliteLogs(const DeclaredBox& box, bool onlyDetectionFiles, const FtpTimeouts& timeouts = {},
                           const std::atomic<bool>* abort = nullptr);

struct EliteDownload {
    bool ok = false;
    std::string path;      // where the log now is (success only)
    std::string detector;  // the box's detector identifier (success only)
    std::string error;     // why it failed, for the log
};

// Fetches the file into folder + "/" + file tag + "_" + plain remote name. The file replaces an
// earlier copy only once it is whole and holds at least the listed size (a reader's log grows
// during the race, so more is fine; a listing that gives only the low 32 bits of a big size can
// only understate it).
// A set abort flag ends the transfer soon.
EliteDownload DownloadEliteLog(const DeclaredBox& box, const CFtpFileDesc& file, const std::string& folder,
                               const std::atomic<bool>* abort = nullptr, const FtpTimeouts& timeouts = {});

}  // namespace winorvex
