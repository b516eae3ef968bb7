#include "app/advanced_config.h"

#include <cstdint>

#include "core/station_settings.h"
#include "core/text_format.h"
#include "core/texts.h"

namespace winorvex {

AdvancedValues AdvancedFactoryValues() {
    return AdvancedValues{};
}

AdvancedValues CurrentAdvancedValues() {
    const StationSettings& s = Settings();
    return {s.ignoreInputMsDelta.load(), s.ignoreOutputMsDelta.load(), s.readMsDelta.load()};
}

void ApplyAdvancedValues(const AdvancedValues& values) {
    StationSettings& s = Settings();
    s.ignoreInputMsDelta.store(values.ignoreInputMsDelta);
    s.ignoreOutputMsDelta.store(values.ignoreOutputMsDelta);
    s.readMsDelta.store(values.readMsDelta);
}

std::string RangeMessage(ValueRange range) {
    return Format(Tr("Veuillez entrer un nombre entier compris entre %d et %d.",
                     "Please enter a whole number between %d and %d."),
                  range.low, range.high);
}

bool ParseWholeNumber(std::string_view text, ValueRange range, int& value) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return false;
    text = text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
    bool negative = false;
    if (text.front() == '-' || text.front() == '+') {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return false;
    std::int64_t number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        number = number * 10 + (c - '0');
        if (number > 1000000000) return false;
    }
    if (negative) number = -number;
    if (number < range.low || number > range.high) return false;
    value = static_cast<int>(number);
    return true;
}

bool CheckAdvancedFields(std::string_view ignoreInput, std::string_view ignoreOutput, std::string_view read,
                         AdvancedValues& values, std::string& message) {
    AdvancedValues entered;
    if (!ParseWholeNumber(ignoreInput, kIgnoreInputRange, entered.ignoreInputMsDelta)) {
        message = RangeMessage(kIgnoreInputRange);
        return false;
    }
    if (!ParseWholeNumber(ignoreOutput, kIgnoreOutputRange, entered.ignoreOutputMsDelta)) {
        message = RangeMessage(kIgnoreOutputRange);
        return false;
    }
    if (!ParseWholeNumber(read, kReadRange, entered.readMsDelta)) {
        message = RangeMessage(kReadRange);
        return false;
    }
    values = entered;
    message.clear();
    return true;
}

}  // namespace winorvex
