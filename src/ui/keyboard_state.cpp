#include "ui/keyboard_state.h"

#include <QGuiApplication>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/settings.h"

namespace winorvex {

QtKeyboardState::QtKeyboardState(std::string ledsFolder) {
    std::error_code error;
    std::filesystem::directory_iterator it(ledsFolder, error);
    if (error) return;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) break;
        const std::string name = it->path().filename().string();
        if (name.find("scrolllock") == std::string::npos) continue;
        const std::string file = (it->path() / "brightness").string();
        std::ifstream probe(file);
        if (probe) files_.push_back(file);
    }
}

bool QtKeyboardState::CtrlHeld() const {
    return (QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier) != 0;
}

bool QtKeyboardState::ScrollLockOn() const {
    bool anyRead = false;
    // Several keyboards share one state; any LED lit means the key is on.
    for (const std::string& file : files_) {
        std::ifstream in(file);
        int brightness = 0;
        if (!(in >> brightness)) continue;
        anyRead = true;
        if (brightness > 0) return true;
    }
    if (anyRead) return false;
    return ReadSettingBool("Settings", "BSpeech", false);
}

}  // namespace winorvex
