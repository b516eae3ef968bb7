#pragma once
// The three timing values of the advanced configuration: their accepted ranges, factory values
// and the check of the operator's entries. They reach the running station and the settings file
// only when the configuration they were edited from is confirmed.
#include <string>
#include <string_view>

namespace winorvex {

struct AdvancedValues {
    int ignoreInputMsDelta = 50;    // GOrvexIgnoreInputMsDelta
    int ignoreOutputMsDelta = 300;  // GOrvexIgnoreOutputMsDelta
    int readMsDelta = 1;            // GOrvexReadMsDelta

    friend bool operator==(const AdvancedValues&, const AdvancedValues&) = default;
};

struct ValueRange {
    int low;
    int high;
};

inline constexpr ValueRange kIgnoreInputRange{0, 5000};
inline constexpr ValueRange kIgnoreOutputRange{50, 5000};
inline constexpr ValueRange kReadRange{1, 20};

// "Restaurer valeurs d'usine".
AdvancedValues AdvancedFactoryValues();
// The running values (process-wide settings).
AdvancedValues CurrentAdvancedValues();
// Into the running values (the workers read them on their next line).
void ApplyAdvancedValues(const AdvancedValues& values);

// The range message of a whole-number field (current language).
std::string RangeMessage(ValueRange range);
// A field's text as a whole number within the range: blanks around it allowed, nothing else.
bool ParseWholeNumber(std::string_view text, ValueRange range, int& value);

// Reads the three fields; the first one out of range gives its message and false, and `values`
// is then left as it was.
bool CheckAdvancedFields(std::string_view ignoreInput, std::string_view ignoreOutput, std::string_view read,
                         AdvancedValues& values, std::string& message);

}  // namespace winorvex
