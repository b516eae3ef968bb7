#pragma once
// The incoming-detections file: one line per live record, appended while the result list is
// locked so that the lines follow the list order and none is lost if the program stops.
// The file is only ever written; other programs read it, so its lines end in CR LF.
#include <cstddef>
#include <string>
#include <string_view>

namespace winorvex {

class CRixResult;

// Opens the path for appending (closing any other open file). Same path already open: nothing.
// The path is remembered even when it cannot be opened; records are then not written.
void OpenDetectionFile(const std::string& path);
void CloseDetectionFile();
bool IsDetectionFileOpen();
std::string DetectionFilePath();

// Writes one record's line with this position. The result list calls it (as its record line
// writer) under its lock; returns false when no file is open or the write failed (logged once
// per opened file).
bool WriteDetectionFileLine(int position, const CRixResult& result);

// "%d\t%s\t%s\t%d\t%s\t%d\r\n" of position, detector, bib, 1, time text, 2 (absolute) or 1.
// Writes into buffer when it fits and returns the length; returns the needed length without
// writing when it does not fit, so callers can fall back to a bigger buffer.
std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, const CRixResult& result);
std::string FormatDetectionFileLine(int position, const CRixResult& result);
// The same line from its parts: exports put another time text in field 5.
std::size_t FormatDetectionFileLine(char* buffer, std::size_t capacity, int position, std::string_view detector,
                                    std::string_view bib, std::string_view timeText, bool absolute);

}  // namespace winorvex
