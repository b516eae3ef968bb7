#include "export/export_names.h"

#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

bool IsControl(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::string CheckGenericName(std::string_view name) {
    if (name.empty()) return Tr("Nom de fichier obligatoire !", "Destination filename mandatory!");
    bool unsafe = name == "." || name == "..";
    for (const char c : name) unsafe = unsafe || c == '/' || c == '\\' || IsControl(c);
    if (!unsafe) return {};
    return Format(Tr("Nom de fichier générique invalide : \"%s\".\nIl ne doit contenir ni \"/\", ni \"\\\", ni "
                     "caractère de contrôle, et ne peut être \".\" ou \"..\".",
                     "Invalid generic file name: \"%s\".\nIt must not hold \"/\", \"\\\" or control characters, "
                     "and cannot be \".\" or \"..\"."),
                  std::string(name).c_str());
}

std::string SafeNamePart(std::string_view text) {
    if (text.empty()) return "_";
    std::string safe(text);
    for (char& c : safe) {
        if (c == '/' || c == '\\' || IsControl(c)) c = '_';
    }
    return safe;
}

std::string WithoutTrailingSeparator(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string ExportFileName(std::string_view folder, std::string_view generic, std::string_view detector, int pass,
                           DisplayMode mode) {
    std::string name(folder);
    name += '/';
    name.append(generic);
    name += '-';
    name += SafeNamePart(detector);
    name += '-';
    name += std::to_string(pass);
    name += mode == DisplayMode::Compact ? "-ljk.txt" : ".rix";
    return name;
}

std::string ExportSubFolder(std::string_view folder, std::string_view generic) {
    std::string path(folder);
    path += '/';
    path.append(generic);
    return path;
}

std::string ExportArchivePath(std::string_view folder, std::string_view generic) {
    return ExportSubFolder(folder, generic) + ".zip";
}

}  // namespace winorvex
