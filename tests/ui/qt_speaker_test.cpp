#include "ui/qt_speaker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTextToSpeech>

namespace winorvex {
namespace {

TEST(QtSpeakerTest, PrefersTheOfflineEngineAndIsSilentWithoutOne) {
    QtSpeaker speaker;
    const QStringList engines = QTextToSpeech::availableEngines();
    if (engines.contains(QStringLiteral("flite"))) {
        EXPECT_EQ(speaker.EngineName(), QStringLiteral("flite"));
    } else if (engines.isEmpty()) {
        EXPECT_FALSE(speaker.Available());
        EXPECT_TRUE(speaker.EngineName().isEmpty());
    }
    // Speaking, purging and speaking again never throw nor block, engine or not.
    speaker.SpeakText("Let us go");
    speaker.SpeakText("");
    speaker.SpeakText("DUPONT  Jean");
    QCoreApplication::processEvents();
    EXPECT_EQ(speaker.Available(), !speaker.EngineName().isEmpty());
}

}  // namespace
}  // namespace winorvex
