#include "detections/tag_read.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "chips/chip_table.h"
#include "core/escape_bytes.h"
#include "core/log.h"
#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

namespace {

constexpr std::int32_t kSecondsPerDay = 24 * 3600;

// Characters [position, position + count) of the line, or as many of them as it holds.
std::string_view Field(std::string_view line, std::size_t position, std::size_t count) {
    if (position >= line.size()) return {};
    return line.substr(position, count);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The hundredths field must be two hexadecimal digits worth 0..99: anything else would give a
// time with a millisecond field of a second or more, which every later comparison gets wrong.
int ParseHundredths(std::string_view field) {
    if (field.size() != 2) return -1;
    const int high = HexValue(field[0]);
    const int low = HexValue(field[1]);
    if (high < 0 || low < 0) return -1;
    const int value = high * 16 + low;
    return value <= 99 ? value : -1;
}

// The eight-character date text as yyyymmdd, or 0 when it is not eight digits.
std::uint32_t DateNumber(std::string_view date) {
    if (date.size() != 8) return 0;
    std::uint32_t value = 0;
    for (const char c : date) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value;
}

// The reason text quotes the reader's bytes escaped: it goes to the log as it is.
void SetError(std::string& error, const char* format, std::string_view text) {
    const EscapedBytes shown(text.substr(0, std::min<std::size_t>(text.size(), kLogWorkingLimit)));
    char buffer[kLogWorkingLimit + 64];
    const std::size_t length = FormatTo(buffer, sizeof buffer, format, shown.Length(), shown.Data());
    error.assign(buffer, length);
}

}  // namespace

void DecodedRead::SetChip(std::string_view chip) {
    chipLength_ = static_cast<std::uint8_t>(std::min(chip.size(), kIdentifierCapacity - 1));
    if (chipLength_ > 0) std::memcpy(chip_, chip.data(), chipLength_);
    chip_[chipLength_] = '\0';
}

void DecodedRead::SetIdentifier(std::string_view identifier) {
    identifierLength_ = static_cast<std::uint8_t>(std::min(identifier.size(), kIdentifierCapacity - 1));
    if (identifierLength_ > 0) std::memcpy(identifier_, identifier.data(), identifierLength_);
    identifier_[identifierLength_] = '\0';
}

void DecodedRead::Reset() {
    absoluteTime.Clear();
    dailyTime.Clear();
    raceDayIndex = -1;
    translated = false;
    bib = -1;
    error.clear();
    SetChip({});
    SetIdentifier({});
}

bool DecodeTagRead(std::string_view line, DecodedRead& out) {
    out.Reset();

    const std::string_view chip = Field(line, kTagChipPosition, kTagChipLength);
    out.SetChip(chip);
    out.SetIdentifier(chip);

    // "20" + YYMMDD, as many characters as the line holds.
    char dateBuffer[8] = {'2', '0'};
    const std::string_view shortDate = Field(line, kTagDatePosition, 6);
    if (!shortDate.empty()) std::memcpy(dateBuffer + 2, shortDate.data(), shortDate.size());
    const std::string_view date(dateBuffer, 2 + shortDate.size());
    const std::string_view time = Field(line, kTagTimePosition, 6);
    const int hundredths = ParseHundredths(Field(line, kTagHundredthsPosition, 2));

    if (hundredths < 0 || !out.absoluteTime.SetFromReaderStamp(date, time, hundredths)) {
        SetError(out.error, Tr("Chaine temps invalide chAbs: [%.*s]", "Invalid time string chAbs: [%.*s]"), line);
        return false;
    }
    if (!out.dailyTime.SetFromReaderTime(time, hundredths)) {
        out.absoluteTime.Clear();
        SetError(out.error, Tr("Chaine temps invalide chDaily: [%.*s]", "Invalid time string chDaily: [%.*s]"), line);
        return false;
    }

    const std::uint32_t dateNumber = DateNumber(date);
    out.raceDayIndex = dateNumber != 0 ? RaceDayDates().IndexOf(dateNumber) : -1;
    if (out.raceDayIndex > 0) {
        out.dailyTime = out.dailyTime + CChrono(out.raceDayIndex * kSecondsPerDay, 0);
    } else if (out.raceDayIndex < 0) {
        Log(0, Tr("### Attention: Incompatibilité de date boîtier / ordinateur !",
                  "### Caution: Box and Computer dates seem incompatible!"));
    }

    const StationSettings& settings = Settings();
    if (settings.sendNumbers.load(std::memory_order_relaxed) == 0) return true;

    const ChipTable& table = ChipTableForThisThread();
    if (table.Count() == 0) return false;  // no reason text: logged as an invalid detection
    std::int32_t bib = -1;
    if (table.FindBib(chip, bib)) {
        char number[16];
        const std::size_t length = FormatTo(number, sizeof number, "%u", static_cast<unsigned>(bib));
        out.SetIdentifier(std::string_view(number, length));
        out.translated = true;
        out.bib = bib;
        return true;
    }
    if (settings.ignoreUnknownTags.load(std::memory_order_relaxed) != 0) {
        SetError(out.error,
                 Tr("## Puce inconnue [%.*s] Détection ignorée", "## Unknown chip [%.*s]. Detection discarded"), chip);
        return false;
    }
    return true;
}

}  // namespace winorvex
