#pragma once
// Ctrl and Scroll Lock as the operator holds them now.
//
// Ctrl comes from the window system (QGuiApplication::queryKeyboardModifiers). The window systems
// give no portable Scroll Lock state, so it is read from the keyboard's LED as the kernel exposes
// it (/sys/class/leds/<device>::scrolllock/brightness, readable by every user). Where no such LED
// can be read (a remote display, a keyboard without the LED, a container), the [Settings] key
// "BSpeech" of the settings file stands for the key: 1 behaves as Scroll Lock on (the voice is
// made and speaks), 0 or missing as off.
#include <string>
#include <vector>

#include "app/station_services.h"

namespace winorvex {

class QtKeyboardState : public KeyboardState {
public:
    // ledsFolder: where the LED folders are looked for (tests give a scratch folder).
    explicit QtKeyboardState(std::string ledsFolder = "/sys/class/leds");

    bool CtrlHeld() const override;
    bool ScrollLockOn() const override;

    // The brightness files found at construction; empty: the setting is used.
    const std::vector<std::string>& ScrollLockFiles() const { return files_; }

private:
    std::vector<std::string> files_;
};

}  // namespace winorvex
