#pragma once
// The program's texts (UTF-8, French/English pairs) as Qt strings.
#include <QString>
#include <string>
#include <string_view>

#include "core/texts.h"

namespace winorvex {

inline QString QText(std::string_view utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline QString QTr(const char* french, const char* english) {
    return QString::fromUtf8(Tr(french, english));
}

inline std::string StdText(const QString& text) {
    return text.toStdString();
}

}  // namespace winorvex
