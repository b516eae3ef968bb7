#pragma once
// The one bridge between the program's texts (Tr pairs and UTF-8 strings) and QString.
#include <QString>
#include <string>
#include <string_view>

#include "core/texts.h"

namespace winorvex {

// The text of the current language, as a QString.
inline QString T(const char* french, const char* english) {
    return QString::fromUtf8(Tr(french, english));
}

// A UTF-8 text made by the layers below (formatted messages, box labels ...).
inline QString Q(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

// What the operator typed, as UTF-8 for the layers below.
inline std::string StdText(const QString& text) {
    return text.toStdString();
}

}  // namespace winorvex
