#pragma once
// What the two reader download dialogs share: the boxes they offer, the destination folder they
// check (and create on request), and the question whether a download still writes a file.
//
// Threads: the station thread. DeclaredBox is a copy, so a listing or a transfer may use it on
// another thread while the slot changes.
#include <optional>
#include <string>
#include <vector>

namespace winorvex {

class BoxManager;
class OperatorPrompt;

struct DeclaredBox {
    int boxNumber = 0;
    std::string text;  // "Boîtier %d %s": number and description
    std::string detectorId;
    std::string host;
    std::string fileTag;
    int sidePort = 0;
    int ftpPort = 0;
    bool serial = false;
};

// Every slot whose transport gives a detector identifier and a host, in slot order.
std::vector<DeclaredBox> DeclaredBoxes(const BoxManager& boxes);

// The destination folder as typed, trimmed at both ends. Empty: the warning, nothing. Missing:
// asks whether to create it; No or a failure to create it (warned with the reason): nothing.
std::optional<std::string> CheckDownloadFolder(const std::string& typed, OperatorPrompt& prompt);

// The remembered destination folder of a dialog, or the user's documents folder.
std::string ReadDownloadFolder(const char* section, const char* key);

// The box whose handheld download still writes into this file, or 0 when none does.
int BoxDownloadingInto(const BoxManager& boxes, const std::string& path);

}  // namespace winorvex
