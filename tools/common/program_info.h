#pragma once
// What every program answers by itself, before it touches a data folder, a port or a display:
// --help (its usage on standard output) and --version; and the one form of a usage error for an
// option it does not know. Header only, so that the simulators stay free of the station's
// libraries.
#include <cstdio>
#include <string_view>

#ifndef WINORVEX_VERSION
#error "WINORVEX_VERSION comes from the build (link winorvex_program_info)"
#endif

namespace winorvex::tools {

inline constexpr int kExitUsageError = 2;

// True when an argument asks for --help (or -h) or --version: the answer is on standard output
// and the program exits 0. With `versionTakesValue` the program has its own "--version VALUE",
// so only a --version followed by nothing or by another option asks for the program's version.
template <class PrintUsage>
bool AnswerHelpOrVersion(int argc, char** argv, const char* program, PrintUsage&& printUsage,
                         bool versionTakesValue = false) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return true;
        }
        if (arg != "--version") continue;
        if (versionTakesValue && i + 1 < argc && argv[i + 1][0] != '-') {
            ++i;
            continue;
        }
        std::printf("%s %s\n", program, WINORVEX_VERSION);
        return true;
    }
    return false;
}

// Names the option on standard error; the caller then shows its usage and exits kExitUsageError.
inline void ReportUnknownOption(const char* program, std::string_view option) {
    std::fprintf(stderr, "%s: unknown option %.*s\n", program, static_cast<int>(option.size()), option.data());
}

}  // namespace winorvex::tools
