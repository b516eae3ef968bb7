#include "core/texts.h"

#include <atomic>
#include <cstring>

namespace winorvex {

namespace {
std::atomic<Language> g_language{WINORVEX_DEFAULT_ENGLISH ? Language::English : Language::French};
}

Language CurrentLanguage() {
    return g_language.load(std::memory_order_relaxed);
}

void SetLanguage(Language language) {
    g_language.store(language, std::memory_order_relaxed);
}

bool ParseLanguageOption(const char* value, Language& out) {
    if (value == nullptr) return false;
    if (std::strcmp(value, "fr") == 0 || std::strcmp(value, "french") == 0) {
        out = Language::French;
        return true;
    }
    if (std::strcmp(value, "en") == 0 || std::strcmp(value, "english") == 0) {
        out = Language::English;
        return true;
    }
    return false;
}

}  // namespace winorvex
