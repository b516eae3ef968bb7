#pragma once
// The options of the winorvex program.
//   winorvex [--headless] [--demo] [--data-dir DIR] [--direct] [--no-connect] [--lang fr|en]
#include <optional>
#include <string>
#include <vector>

#include "core/texts.h"

namespace winorvex {

struct CommandLine {
    bool headless = false;
    bool demo = false;
    bool noConnect = false;
    bool direct = false;  // the direct connection wanted from the start
    std::string dataDir;  // empty: WINORVEX_DATA_DIR, else the normal data folder
    std::optional<Language> language;
    bool help = false;     // --help: the usage on standard output, nothing started
    bool version = false;  // --version
};

// False with a message in error for an unknown option or a missing value.
bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out, std::string& error);
const char* CommandLineUsage();
// "winorvex <version>": the version the build was made with.
const char* ProgramVersionLine();

}  // namespace winorvex
