#include "reader/logging_detail.h"

#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hex number in the given characters (position counted from 1), or -1.
int HexField(std::string_view line, std::size_t position, std::size_t width) {
    if (position == 0 || position - 1 + width > line.size()) return -1;
    int value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const int digit = HexDigit(line[position - 1 + i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

bool CLoggingDetail::Parse(std::string_view line) {
    A = B = C = D = E = F = G = 0;
    if (line.size() < kMinimumLength) return false;
    const int a = HexField(line, 11, 2);
    const int b = HexField(line, 13, 4);
    const int c = HexField(line, 17, 2);
    const int d = HexField(line, 19, 4);
    const int e = HexField(line, 23, 2);
    const int f = HexField(line, 25, 2);
    const int g = HexField(line, 27, 4);
    if (a < 0 || b < 0 || c < 0 || d < 0 || e < 0 || f < 0 || g < 0) return false;
    A = a;
    B = b;
    C = c;
    D = d;
    E = e;
    F = f;
    G = g;
    return true;
}

std::string CLoggingDetail::CountersText() const {
    return Format("A:%d, B:%d, C:%d, D:%d, E:%d, F:%d, G:%d", A, B, C, D, E, F, G);
}

std::string CLoggingDetail::SummaryText() const {
    return Format(Tr("Enregistré : %d - Non encore restitué :%d", "Recorded: %d - Not yet played back:%d"), Recorded(),
                  NotYetPlayedBack());
}

std::array<std::string, 4> CLoggingDetail::DetailLines() const {
    return {
        Format(Tr("Détections enregistrées : %d", "Detections recorded: %d"), Recorded()),
        Format(Tr("Détections restituées : %d", "Detections played back: %d"), PlayedBack()),
        Format(Tr("Détections restantes : %d", "Detections not yet played back: %d"), NotYetPlayedBack()),
        Format(Tr("Espace libre : %d", "Free space: %d"), FreeSpace()),
    };
}

bool DecodeLiteClock(std::string_view line, CChrono& readerTime, CChrono& readerTimeOfDay) {
    const int hundredths = HexField(line, 23, 2);
    if (hundredths < 0) return false;
    char date[9] = {'2', '0'};
    line.substr(8, 6).copy(date + 2, 6);
    const std::string_view dateText(date, 8);
    const std::string_view timeText = line.substr(16, 6);

    CChrono absolute;
    CChrono daily;
    if (!absolute.SetFromReaderStamp(dateText, timeText, hundredths)) return false;
    if (!daily.SetFromReaderTime(timeText, hundredths)) return false;
    readerTime = absolute;
    readerTimeOfDay = daily;
    return true;
}

int DecodeClearingProgress(std::string_view line) {
    if (line.size() < 6) return kClearingUnknown;
    const std::string_view tail = line.substr(line.size() - 6);
    const int done = HexField(tail, 1, 2);
    const int total = HexField(tail, 3, 2);
    // A total of 0 has no meaning as a percentage: report it as unknown rather than divide.
    if (done < 0 || total <= 0) return kClearingUnknown;
    return done * 100 / total;
}

}  // namespace winorvex
