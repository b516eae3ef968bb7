#pragma once
#include <string>
#include <vector>

#include "results_sim.h"

namespace winorvex::results_sim {

// Reads the command line (without the program name). False with error for a bad option.
bool ParseOptions(const std::vector<std::string>& args, Options& options, bool& help, bool& stdinControl,
                  std::string& error);
std::string UsageText();

}  // namespace winorvex::results_sim
