#pragma once
// The results program speaks Windows-1252; inside the station every text is UTF-8. The link
// converts received lines at the boundary, the simulator converts what it sends.
#include <atomic>
#include <string>
#include <string_view>

namespace winorvex {

// Every byte becomes its character; the five bytes that code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) become U+FFFD so that they show as unknown rather than as invisible controls.
std::string Windows1252ToUtf8(std::string_view text);
// Appends the conversion to out (no allocation once out has grown enough).
void AppendWindows1252AsUtf8(std::string& out, std::string_view text);

// The other way: characters the code page lacks, and malformed UTF-8 bytes, become replacement.
std::string Utf8ToWindows1252(std::string_view text, char replacement = '?');
// Appends the conversion to out; false when something had to be replaced.
bool AppendUtf8AsWindows1252(std::string& out, std::string_view text, char replacement = '?');

// Text for the results program: what the code page cannot carry becomes "?", and the first such
// text is named in the log, once for the encoder's life. Any thread may use it.
class Windows1252Encoder {
public:
    void Append(std::string& out, std::string_view utf8);

private:
    std::atomic<bool> reported_{false};
};

}  // namespace winorvex
