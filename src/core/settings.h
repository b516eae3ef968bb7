#pragma once
// Typed access to the one settings file (WinORVEX.ini). Semantics of the classic private-profile
// functions: missing key -> default, integers read from their leading digits, a stored negative
// integer reads as 0, texts cut at 2047 characters, section and key names compared without case,
// unknown lines and comments kept, every write replaces the file atomically, a failed write is
// ignored. Safe to call from any thread.
#include <string>
#include <string_view>

namespace winorvex {

// Process-wide settings file path; empty until start-up sets it. Changing it flushes the previous file.
void SetSettingsFilePath(const std::string& path);
std::string SettingsFilePath();

int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue);
bool ReadSettingBool(std::string_view section, std::string_view key, bool defaultValue);
std::string ReadSettingText(std::string_view section, std::string_view key, std::string_view defaultValue);
void WriteSettingInt(std::string_view section, std::string_view key, int value);
void WriteSettingBool(std::string_view section, std::string_view key, bool value);
void WriteSettingText(std::string_view section, std::string_view key, std::string_view value);

// Explicit-file forms.
int ReadSettingInt(std::string_view section, std::string_view key, int defaultValue, const std::string& file);
bool ReadSettingBool(std::string_view section, std::string_view key, bool defaultValue, const std::string& file);
std::string ReadSettingText(std::string_view section, std::string_view key, std::string_view defaultValue,
                            const std::string& file);
void WriteSettingInt(std::string_view section, std::string_view key, int value, const std::string& file);
void WriteSettingBool(std::string_view section, std::string_view key, bool value, const std::string& file);
void WriteSettingText(std::string_view section, std::string_view key, std::string_view value, const std::string& file);

// Forgets any cached copy so that the next read sees the file as it is on disk.
void FlushSettings();

}  // namespace winorvex
