// Feeds arbitrary bytes to reader-line recognition and tag-read decoding, both as received lines
// and straight to the decoder, with chip translation on and off.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "chips/chip_table.h"
#include "core/log.h"
#include "core/station_settings.h"
#include "detections/reader_line.h"
#include "detections/tag_read.h"

namespace {

bool Prepare() {
    using namespace winorvex;
    SetLogWindowAttached(false);
    SetLogFilePath("");
    const std::uint32_t days[4] = {20240518, 20240519, 20240520, 20240521};
    for (std::size_t i = 0; i < 4; ++i) RaceDayDates().dates[i] = days[i];
    char path[] = "/tmp/reader_line_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) {
        const char table[] = "12 0580031A2B3C\n13 0580031a2b3d\n";
        if (write(fd, table, sizeof table - 1) < 0) std::perror("chip table");
        close(fd);
        ReadChipTableFile(path);
        unlink(path);
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace winorvex;
    static const bool prepared = Prepare();
    (void)prepared;

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool translate = size > 0 && (data[0] & 1) != 0;
    Settings().sendNumbers = translate ? 1 : 0;
    Settings().ignoreUnknownTags = size > 1 && (data[1] & 1) != 0 ? 1 : 0;

    DecodedRead read;
    ReaderLine line;
    if (ClassifyReaderLine(input, line)) {
        if (line.fullLine.size() > input.size() || line.text.size() > line.fullLine.size()) std::abort();
        if (line.kind == kLineTagRead) DecodeTagRead(line.text, read);
    }
    DecodeTagRead(input, read);
    if (read.Identifier().size() >= DecodedRead::kIdentifierCapacity) std::abort();

    // The in-place form on an exact-size, zero-terminated copy.
    std::string copy(input);
    std::size_t length = copy.size();
    std::string fullLine;
    int kind = 0;
    int marker = 0;
    ClassifyReaderLine(copy.data(), length, fullLine, kind, marker);
    if (length > size) std::abort();
    return 0;
}
