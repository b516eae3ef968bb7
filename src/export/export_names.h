#pragma once
// Where an export puts its files. Detector identifiers and the generic name come from readers,
// imports and the operator; they become file, archive-entry and remote names, so they must
// never name a place outside the export folder.
#include <string>
#include <string_view>

#include "export/export_settings.h"

namespace winorvex {

// Empty when the generic name can name files inside the folder; otherwise why not: empty,
// "." or "..", or holding "/", "\" or a control character.
std::string CheckGenericName(std::string_view name);

// A detector identifier as a piece of a file name: "/", "\" and control characters become "_";
// an empty identifier becomes "_".
std::string SafeNamePart(std::string_view text);

// The folder without trailing "/" (a lone "/" stays).
std::string WithoutTrailingSeparator(std::string folder);

// "<folder>/<generic>-<detector>-<pass>.rix", or "-<pass>-ljk.txt" in the compact form.
std::string ExportFileName(std::string_view folder, std::string_view generic, std::string_view detector, int pass,
                           DisplayMode mode);
// "<folder>/<generic>": where files go with the archive option.
std::string ExportSubFolder(std::string_view folder, std::string_view generic);
// "<folder>/<generic>.zip".
std::string ExportArchivePath(std::string_view folder, std::string_view generic);

}  // namespace winorvex
