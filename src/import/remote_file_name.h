#pragma once
// A name that came from another machine (a reader's file listing) reduced to a plain file name,
// so that joining it to a local folder can never leave that folder.
#include <string>
#include <string_view>

namespace winorvex {

// The part after the last '/' or '\', without control characters; empty when nothing usable
// remains (an empty name, ".", "..").
std::string PlainRemoteFileName(std::string_view remote);

}  // namespace winorvex
