#include <gtest/gtest.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QSet>
#include <cstdint>
#include <cstring>
#include <thread>

#include "ui/qt_sound_player.h"

namespace winorvex {
namespace {

std::uint32_t U32(const QByteArray& bytes, int at) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.constData() + at, 4);
    return value;
}

std::uint16_t U16(const QByteArray& bytes, int at) {
    std::uint16_t value = 0;
    std::memcpy(&value, bytes.constData() + at, 2);
    return value;
}

TEST(QtSoundPlayerTest, EverySoundIsAShortDistinctMonoWaveResource) {
    QtSoundPlayer player;  // registers the resources
    QSet<QByteArray> contents;
    for (StationSound sound : QtSoundPlayer::kSounds) {
        const QString path = QtSoundPlayer::ResourcePath(sound);
        SCOPED_TRACE(path.toStdString());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GE(bytes.size(), 44);
        EXPECT_EQ(bytes.left(4), QByteArray("RIFF"));
        EXPECT_EQ(bytes.mid(8, 8), QByteArray("WAVEfmt "));
        EXPECT_EQ(U16(bytes, 20), 1);  // PCM
        EXPECT_EQ(U16(bytes, 22), 1);  // mono
        EXPECT_EQ(U32(bytes, 24), 22050u);
        EXPECT_EQ(U16(bytes, 34), 16);
        ASSERT_EQ(bytes.mid(36, 4), QByteArray("data"));
        const double ms = U32(bytes, 40) / 2.0 / 22.05;
        EXPECT_GE(ms, 80.0);
        EXPECT_LE(ms, 600.0);
        contents.insert(bytes.mid(44));
    }
    EXPECT_EQ(contents.size(), static_cast<qsizetype>(QtSoundPlayer::kSounds.size()));
}

TEST(QtSoundPlayerTest, BurstFromAWorkerPlaysOneClickAndLaterRequestsPlayAgain) {
    QtSoundPlayer player;
    std::thread worker([&player] {
        for (int i = 0; i < 5000; ++i) player.Play(StationSound::Detection);
    });
    worker.join();
    EXPECT_EQ(player.PlaysDispatched(), 0);  // nothing plays before the GUI thread runs
    QCoreApplication::processEvents();
    EXPECT_EQ(player.PlaysDispatched(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(player.PlaysDispatched(), 1);  // no backlog left behind

    // Another sound is not swallowed by a waiting click, and a new click after the first plays.
    player.Play(StationSound::Detection);
    player.Play(StationSound::BoxLost);
    player.Play(StationSound::Detection);
    QCoreApplication::processEvents();
    EXPECT_EQ(player.PlaysDispatched(), 3);
}

TEST(QtSoundPlayerTest, EverySoundPlaysWithoutErrorWhateverTheAudioDevice) {
    QtSoundPlayer player;
    for (StationSound sound : QtSoundPlayer::kSounds) player.Play(sound);
    QCoreApplication::processEvents();
    EXPECT_EQ(player.PlaysDispatched(), static_cast<int>(QtSoundPlayer::kSounds.size()));
    // A sound number without a resource is ignored.
    player.Play(static_cast<StationSound>(999));
    QCoreApplication::processEvents();
    EXPECT_EQ(player.PlaysDispatched(), static_cast<int>(QtSoundPlayer::kSounds.size()));
}

}  // namespace
}  // namespace winorvex
