#pragma once
// The simulators' control language on standard input: each complete line is run and its answer
// printed on a line of its own. Header only, so that the reader simulator stays free of the
// station's libraries.
#include <unistd.h>

#include <cstdio>
#include <string>

namespace winorvex::tools {

// Reads what standard input has, runs every complete line through `execute` (returning the
// answer). A partial line waits in `pending`, dropped once it passes `maxPending` bytes. False
// once standard input is closed.
template <class Execute>
bool ServeStdinLines(std::string& pending, std::size_t maxPending, Execute&& execute) {
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) return false;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t lf;
    while ((lf = pending.find('\n')) != std::string::npos) {
        std::string line = pending.substr(0, lf);
        pending.erase(0, lf + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        std::printf("%s\n", execute(line).c_str());
        std::fflush(stdout);
    }
    if (pending.size() > maxPending) pending.clear();
    return true;
}

}  // namespace winorvex::tools
