#pragma once
// What the station needs from its surroundings that differs between the windowed station, the
// headless one and the tests: the operator's answers, the speakers, the voice and the keyboard.
#include <string_view>

#include "core/station_events.h"

namespace winorvex {

// The optional voice that speaks runner names and the connect phrase.
class Speaker {
public:
    virtual ~Speaker() = default;
    // True when an engine exists (a voice can be made).
    virtual bool Available() const = 0;
    // Asynchronous. An empty text purges what is queued.
    virtual void SpeakText(std::string_view text) = 0;
};

// Modifier and lock keys as the operator holds them now.
class KeyboardState {
public:
    virtual ~KeyboardState() = default;
    virtual bool CtrlHeld() const = 0;
    virtual bool ScrollLockOn() const = 0;
};

struct StationServices {
    OperatorPrompt* prompt = nullptr;   // required
    SoundPlayer* sounds = nullptr;      // null: silent
    Speaker* speaker = nullptr;         // null: no voice
    KeyboardState* keyboard = nullptr;  // null: no key held, Scroll Lock off
};

}  // namespace winorvex
