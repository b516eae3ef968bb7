// Feeds arbitrary bytes to the reader-log import's line handling: cut into the pieces the log
// reader makes, each piece classified, decoded as a tag read and read as a marker, with chip
// translation on and off and "today" anywhere. Then the same bytes as a whole log file through the
// search, with the window and the options taken from the first bytes.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "chips/chip_table.h"
#include "core/log.h"
#include "import/log_line.h"
#include "import/log_search.h"
#include "import/log_tag_read.h"

namespace {

struct Fixture {
    std::shared_ptr<const winorvex::ChipTable> chips;
    std::string path;
    Fixture() = default;
    Fixture(Fixture&&) = default;
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;
    // The scratch log goes when the fuzzer exits.
    ~Fixture() {
        if (!path.empty()) unlink(path.c_str());
    }
};

Fixture Prepare() {
    using namespace winorvex;
    SetLogWindowAttached(false);
    SetLogFilePath("");
    Fixture fixture;
    fixture.chips = BuildChipTable({{"058000000001", 12}, {"0580031a2b3d", 13}});
    char path[] = "/tmp/import_log_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    fixture.path = path;
    return fixture;
}

class Quiet final : public winorvex::ImportObserver {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace winorvex;
    static const Fixture fixture = Prepare();

    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::uint8_t flags = size > 0 ? data[0] : 0;
    LogDecodeContext context;
    context.today = (flags & 4) != 0 ? 20991231 : 20240520;
    context.translate = (flags & 1) != 0;
    context.chips = (flags & 2) != 0 ? fixture.chips.get() : nullptr;

    std::string_view rest = input;
    while (!rest.empty()) {
        std::size_t length = rest.find('\n');
        length = length == std::string_view::npos ? rest.size() : length + 1;
        if (length > 511) length = 511;
        const std::string_view piece = rest.substr(0, length);
        rest.remove_prefix(length);

        LogLine line;
        LogTagRead read;
        if (ClassifyLogLine(piece, line)) {
            if (line.kind == kLogLineTagRead && DecodeLogTagRead(line.text, context, read)) {
                if (read.Identifier().size() > 15 || read.Date().size() != 8) std::abort();
                if (!read.absoluteTime.IsSet() && !read.dailyTime.IsSet()) std::abort();
            }
        } else {
            COrvexMarker marker;
            if (ParseMarkerLine(line.text, marker) && (marker.date.size() != 8 || marker.time.size() != 6)) {
                std::abort();
            }
        }
        // The decoder must hold whatever it is given, not only framed lines.
        DecodeLogTagRead(piece, context, read);
    }

    if (size < 1 << 16) {
        if (FILE* file = std::fopen(fixture.path.c_str(), "wb")) {
            std::fwrite(data, 1, size, file);
            std::fclose(file);
            LogSearchSettings settings;
            settings.translate = context.translate;
            settings.ignoreUnknownTags = (flags & 8) != 0;
            settings.extendedStatus = (flags & 16) != 0;
            settings.showAbnormalEvents = (flags & 32) != 0;
            settings.msDelta = (flags & 64) != 0 ? 0 : 50;
            settings.today = context.today;
            settings.chips = fixture.chips;
            LogSearchRequest request;
            request.path = fixture.path;
            request.midnight.SetFromReaderStamp("20240518", "000000", 0);
            request.start = request.midnight;
            request.end.SetFromReaderStamp("20240518", (flags & 128) != 0 ? "100000" : "235959", 0);
            Quiet quiet;
            const LogSearchResult result = SearchReaderLog(request, settings, quiet, nullptr);
            if (!result.searched || result.found.size() > result.decodedReads) std::abort();
        }
    }
    return 0;
}
