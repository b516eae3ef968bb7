#include "app/command_line.h"

namespace winorvex {

bool ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& out, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& arg = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--version") {
            out.version = true;
        } else if (arg == "--headless") {
            out.headless = true;
        } else if (arg == "--demo") {
            out.demo = true;
        } else if (arg == "--direct") {
            out.direct = true;
        } else if (arg == "--no-connect") {
            out.noConnect = true;
        } else if (arg == "--data-dir") {
            if (!hasValue || arguments[i + 1].empty()) {
                error = "--data-dir needs a folder";
                return false;
            }
            out.dataDir = arguments[++i];
        } else if (arg == "--lang") {
            Language language;
            if (!hasValue || !ParseLanguageOption(arguments[i + 1].c_str(), language)) {
                error = "--lang takes fr or en";
                return false;
            }
            out.language = language;
            ++i;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    return true;
}

const char* CommandLineUsage() {
    return "usage: winorvex [--headless] [--demo] [--data-dir DIR] [--direct] [--no-connect] [--lang fr|en]\n"
           "  --headless    the station without windows: the configured boxes are connected at start,\n"
           "                log-window lines go to standard output, SIGINT/SIGTERM end it cleanly\n"
           "  --demo        a scratch data folder with two simulated readers and a simulated results\n"
           "                program on loopback\n"
           "  --data-dir    the data folder (else WINORVEX_DATA_DIR, else the usual folder)\n"
           "  --direct      the direct connection to the results program wanted from the start\n"
           "                (headless: wanted again after a loss)\n"
           "  --no-connect  headless: do not connect the boxes at start\n"
           "  --lang        operator texts in French (fr) or English (en)\n"
           "  --help        this text\n"
           "  --version     the program's version\n"
           "The data folder: WinORVEX.ini, the chip table and logfiles/; beside the program when a file\n"
           "_useXPdirs is there, else $XDG_DATA_HOME/Norvane/WinORVEX (~/.local/share/Norvane/WinORVEX).\n"
           "Exit status: 0 ended by its exit procedure, 1 another station holds the data folder or it\n"
           "could not start, 2 usage error, 3 headless without its command service.\n";
}

const char* ProgramVersionLine() {
    return "winorvex " WINORVEX_VERSION "\n";
}

}  // namespace winorvex
