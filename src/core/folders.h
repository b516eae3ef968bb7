#pragma once
// Where the program keeps its files, mapped to Linux:
//  - program folder: the folder of the running executable;
//  - data folder: the program folder when it holds "_useXPdirs" (portable mode), else
//    $XDG_DATA_HOME/Norvane/WinORVEX (or ~/.local/share/Norvane/WinORVEX), created when missing,
//    empty text when it cannot be created; WINORVEX_DATA_DIR overrides it;
//  - log folder: data folder + "/logfiles" (created each time it is computed).
#include <ctime>
#include <string>

namespace winorvex {

std::string GetProgramFolder();
std::string GetDataFolder();
std::string GetLogFolder();
std::string GetSettingsFilePath();            // data folder + "/WinORVEX.ini"
std::string GetLogFilePath();                 // log folder + "/WinORVEX.log"
std::string GetIncomingDetectionsFilePath();  // log folder + "/WinORVEX-yyyymmdd-hhmmss.dat", now
std::string GetFtpServersFilePath();          // data folder + "/FtpServers.dat"
std::string GetDocumentsFolder();             // XDG documents folder, else $HOME
std::string GetDefaultExportFilePath();       // documents folder + "/WinORVEX.rix"

// Tests and tools: force the data folder (and forget the remembered portable-mode check).
void SetDataFolderOverride(const std::string& folder);
void ClearDataFolderOverride();
// Tests: act as if the program ran from this folder (empty: the real one); forgets the
// remembered portable-mode check.
void SetProgramFolderOverride(const std::string& folder);

// "WinORVEX-yyyymmdd-hhmmss.dat" for this local time, every part zero-padded.
std::string IncomingDetectionsFileName(const std::tm& local);

}  // namespace winorvex
