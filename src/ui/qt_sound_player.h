#pragma once
// The station's sounds through Qt Multimedia: one QSoundEffect per sound, each loaded once from
// the program's resources when the player is made (or at the first sound once a device exists).
//
// Threads: the player is made and lives on the GUI thread; Play may be called from any thread
// (box workers play the detection click). A call from elsewhere is posted to the GUI thread, and
// while a sound is already waiting there a new request for it is dropped: a start line of a
// thousand reads a second plays a click now and then, never a backlog that rings on for minutes.
// Create the player before the station and destroy it after: workers call it until they are joined.
#include <QObject>
#include <array>
#include <atomic>
#include <memory>

#include "core/station_events.h"

class QSoundEffect;

namespace winorvex {

class QtSoundPlayer : public QObject, public SoundPlayer {
    Q_OBJECT

public:
    static constexpr std::array<StationSound, 8> kSounds{
        StationSound::LinkAlarm, StationSound::ConnectionMade, StationSound::Detection, StationSound::Completion,
        StationSound::Quit,      StationSound::Warning,        StationSound::BoxLost,   StationSound::BoxReconnected};

    explicit QtSoundPlayer(QObject* parent = nullptr);
    ~QtSoundPlayer() override;
    QtSoundPlayer(const QtSoundPlayer&) = delete;
    QtSoundPlayer& operator=(const QtSoundPlayer&) = delete;

    void Play(StationSound sound) override;

    // The resource path of a sound (":/sounds/sound_133.wav").
    static QString ResourcePath(StationSound sound);
    // How many plays reached the GUI thread (a burst coalesces into one). For tests and diagnostics.
    int PlaysDispatched() const { return dispatched_.load(); }

private:
    static int IndexOf(StationSound sound);
    // Makes the effects once an output device exists; false while there is none.
    bool LoadEffects();
    void PlayNow(int index);

    bool loaded_ = false;

    std::array<std::unique_ptr<QSoundEffect>, kSounds.size()> effects_;
    std::array<std::atomic<bool>, kSounds.size()> pending_{};
    std::atomic<int> dispatched_{0};
};

}  // namespace winorvex
