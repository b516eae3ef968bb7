#include "ui/qt_sound_player.h"

#include <QAudioDevice>
#include <QFile>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

// The sounds live in a static library: their resources are registered by hand (outside any namespace).
static void InitSoundResources() {
    Q_INIT_RESOURCE(sounds);
}

namespace winorvex {

QtSoundPlayer::QtSoundPlayer(QObject* parent) : QObject(parent) {
    InitSoundResources();
    LoadEffects();
}

bool QtSoundPlayer::LoadEffects() {
    if (loaded_) return true;
    // Without an output device the effects are not made at all (Qt would only complain); they
    // are made at the first sound after a device appeared.
    if (QMediaDevices::audioOutputs().isEmpty()) return false;
    for (std::size_t i = 0; i < kSounds.size(); ++i) {
        const QString path = ResourcePath(kSounds[i]);
        // A missing resource plays nothing; that is not worth stopping the station for.
        if (!QFile::exists(path)) continue;
        auto effect = std::make_unique<QSoundEffect>();
        effect->setSource(QUrl(QStringLiteral("qrc") + path));
        effect->setVolume(0.8f);
        effects_[i] = std::move(effect);
    }
    loaded_ = true;
    return true;
}

QtSoundPlayer::~QtSoundPlayer() = default;

QString QtSoundPlayer::ResourcePath(StationSound sound) {
    return QStringLiteral(":/sounds/sound_%1.wav").arg(static_cast<int>(sound));
}

int QtSoundPlayer::IndexOf(StationSound sound) {
    for (std::size_t i = 0; i < kSounds.size(); ++i) {
        if (kSounds[i] == sound) return static_cast<int>(i);
    }
    return -1;
}

void QtSoundPlayer::Play(StationSound sound) {
    const int index = IndexOf(sound);
    if (index < 0) return;
    // One request per sound waits at most; the flag is cleared on the GUI thread just before the
    // sound starts, so a request made while it plays is posted again (it restarts the sound).
    if (pending_[static_cast<std::size_t>(index)].exchange(true)) return;
    QMetaObject::invokeMethod(
        this,
        [this, index] {
            pending_[static_cast<std::size_t>(index)].store(false);
            ++dispatched_;
            PlayNow(index);
        },
        Qt::QueuedConnection);
}

void QtSoundPlayer::PlayNow(int index) {
    // No output device (a server without sound card, a test run): silence. The effect reports
    // its own errors through its status, which nobody needs to hear about.
    if (!LoadEffects() || QMediaDevices::audioOutputs().isEmpty()) return;
    QSoundEffect* effect = effects_[static_cast<std::size_t>(index)].get();
    if (effect == nullptr || effect->status() == QSoundEffect::Error) return;
    effect->play();
}

}  // namespace winorvex
