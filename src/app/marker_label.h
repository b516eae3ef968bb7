#pragma once
// The label the operator gives an ELITE marker, made fit for the reader, and the marker text built
// from it. Plain functions (no Qt): the dialog only collects the text.
//
// The reader stores the marker in its own history as plain ASCII and takes the request as one
// line, so a label keeps only printable ASCII: Latin letters with a diacritic become their base
// letter, control characters (CR and LF would end the request early and smuggle a second one in) and
// characters the reader cannot store are dropped.
#include <ctime>
#include <string>
#include <string_view>

namespace winorvex {

// Longest cleaned label kept: the reader reads a request in one piece of at most 2000 bytes.
inline constexpr std::size_t kMaxMarkerLabelLength = 200;

// label is UTF-8. Removes control characters, blanks at both ends, every "\" and "/" (then the
// blanks that were inside them at the ends), replaces the Latin letters with a diacritic
// (U+00C0 to U+017F) by their base letter ("Œ" by "OE") and only then drops any other non-ASCII
// character (and invalid UTF-8). Empty when nothing is left.
std::string CleanMarkerLabel(std::string_view label);

// "KMark-" + yyyymmdd + hhmmss of `local` + ":" + label.
std::string BuildMarkerText(std::string_view cleanLabel, const std::tm& local);

}  // namespace winorvex
