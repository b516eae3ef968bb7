#pragma once
// Shared file and text helpers.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace winorvex {

bool MakeFolderPath(std::string path);               // creates the folder and every missing parent
std::uint64_t FileSizeOf(const std::string& path);   // 0 when it cannot be examined
std::string GetFileNamePart(std::string_view path);  // text after the last '\' or '/', else empty
bool DeleteFolderContents(const std::string& folder, bool alsoRemoveFolder);
void TrimChars(std::string& text, std::string_view characterSet);
void SplitText(std::string_view text, std::string_view delimiters, std::vector<std::string>& out);

}  // namespace winorvex
