#pragma once
// Every operator-visible message exists as a French/English pair. The build fixes the default
// language (French as delivered); a command-line option may switch to English at start.
namespace winorvex {

enum class Language { French, English };

Language CurrentLanguage();
void SetLanguage(Language language);
// Reads "--lang fr|en" / "--english" / "--french" style options; returns false for an unknown value.
bool ParseLanguageOption(const char* value, Language& out);

// Picks the text of the current language. Both texts must live for the whole run (literals).
inline const char* Tr(const char* french, const char* english) {
    return CurrentLanguage() == Language::English ? english : french;
}

}  // namespace winorvex
