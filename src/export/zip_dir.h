#pragma once
// Zip archives over minizip and zlib: one deflated entry per file (zlib's default level), the
// entry dated with the file's local last-write time in DOS form, no extra field, no comments.
// Files are streamed in blocks of 8192 bytes. The archive is written under a temporary name
// and renamed into place only when every entry succeeded, so a failure never leaves a partial
// archive and never replaces a good one. The zipped files are left as they are.
//
// Diagnostics ("_zpZipDir: Error ...") go to the diagnostic stream (standard output unless
// changed) and to the log.
#include <cstdio>
#include <string>
#include <vector>

namespace winorvex {

inline constexpr int kZipNoMemory = -104;
inline constexpr int kZipCannotOpen = -1;

// Every file of folder whose name does not start with "." (sub-folders too when recursive),
// in name order, as entries "<folder's own name>/<relative path>". 0 when every entry was
// written (an empty folder gives an empty archive), -104 without a transfer buffer, -1 when
// the archive cannot be created or a file cannot be read, or minizip's error code.
int _zpZipDir(const std::string& folder, const std::string& archive, bool recursive);

// The given files of folder (paths relative to it), as entries "<folder's own name>/<file>".
// Same results as _zpZipDir.
int ZipFolderFiles(const std::string& folder, const std::vector<std::string>& relativeNames,
                   const std::string& archive);

// Where the diagnostics are printed; null prints nothing (they are still logged).
void SetZipDiagnosticStream(std::FILE* stream);

}  // namespace winorvex
