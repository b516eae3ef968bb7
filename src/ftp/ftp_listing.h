#pragma once
// The files of a remote folder, for downloads from readers. Runs on the calling thread.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "ftp/ftp_timeouts.h"

namespace winorvex {

struct CFtpFileDesc {
    std::string name;
    std::int64_t size = 0;
};

// Appends to `files`, in the server's order, every plain file of `folder` (empty: the login folder;
// leading "/": from the root) whose name matches `pattern` ("*.log"; empty: every file). Folders
// are left out, and so is any name that could not be used as a local file name inside one folder
// ("/", "\", "..", control characters), with a log line. Passive per "FtpSettings"
// BGetFileListInPassiveMode (default 1).
// A set abort flag (raised from another thread) ends the listing soon, as a failure.
// Returns 0 when no error text was set, 1 when one was, -2 no connection, -3 folder not entered.
int ListRemoteFiles(const std::string& site, const std::string& user, const std::string& password,
                    const std::string& folder, const std::string& pattern, std::vector<CFtpFileDesc>& files,
                    std::string& errorText, const FtpTimeouts& timeouts = {}, const std::atomic<bool>* abort = nullptr);

}  // namespace winorvex
