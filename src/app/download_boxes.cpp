#include "app/download_boxes.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/file_utils.h"
#include "core/folders.h"
#include "core/settings.h"
#include "core/station_events.h"
#include "core/text_format.h"
#include "core/texts.h"
#include "reader/box_manager.h"

namespace winorvex {

std::vector<DeclaredBox> DeclaredBoxes(const BoxManager& boxes) {
    std::vector<DeclaredBox> declared;
    for (int number = 1; number <= BoxManager::kSlotCount; ++number) {
        const COrvexBox& box = boxes.Box(number);
        if (box.Transport() == nullptr) continue;
        const BoxAddress address = box.Address();
        DeclaredBox entry;
        entry.detectorId = address.detectorId;
        entry.host = address.host;
        if (entry.detectorId.empty() || entry.host.empty()) continue;
        entry.boxNumber = number;
        entry.text = Format(Tr("Boîtier %d %s", "Box %d %s"), number, address.Description().c_str());
        entry.fileTag = address.FileTag();
        entry.sidePort = box.SidePort();
        entry.ftpPort = box.FtpPort();
        entry.serial = box.IsSerial();
        declared.push_back(std::move(entry));
    }
    return declared;
}

std::optional<std::string> CheckDownloadFolder(const std::string& typed, OperatorPrompt& prompt) {
    std::string folder = typed;
    TrimChars(folder, " \t");
    if (folder.empty()) {
        prompt.Warn(Tr("Spécifiez un répertoire local de téléchargement !", "Specify a local destination folder!"));
        return std::nullopt;
    }
    std::error_code error;
    if (std::filesystem::is_directory(folder, error)) return folder;
    if (!prompt.AskYesNo(Format(Tr("Le répertoire\n    %s  \nn'existe pas.\nLe créer ?",
                                   "Folder\n    %s  \ndoes not exist.\nCreate it?"),
                                folder.c_str()),
                         true)) {
        return std::nullopt;
    }
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder)) {
        // The reason after the message's own text: a missing right and a file in the way call for
        // different fixes.
        std::string text = Format(
            Tr("Erreur de création du répertoire\n    %s  \n", "Cannot create folder\n    %s  \n"), folder.c_str());
        text += error ? error.message() : std::string(std::strerror(ENOTDIR));
        prompt.Warn(text);
        return std::nullopt;
    }
    return folder;
}

std::string ReadDownloadFolder(const char* section, const char* key) {
    return ReadSettingText(section, key, GetDocumentsFolder());
}

int BoxDownloadingInto(const BoxManager& boxes, const std::string& path) {
    if (path.empty()) return 0;
    std::error_code error;
    for (int number = 1; number <= BoxManager::kSlotCount; ++number) {
        const std::string writing = boxes.Box(number).DownloadFilePath();
        if (writing.empty()) continue;
        if (writing == path || std::filesystem::equivalent(writing, path, error)) return number;
    }
    return 0;
}

}  // namespace winorvex
