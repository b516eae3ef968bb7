#include "results_link/link_state_reaction.h"

#include <gtest/gtest.h>

#include "core/texts.h"

namespace winorvex {
namespace {

class LinkStateReactionTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = CurrentLanguage();
        SetLanguage(Language::English);
    }
    void TearDown() override { SetLanguage(saved_); }

    static DirectLinkStateEvent Closed(bool retrying, bool lost, std::string reason = {}, std::size_t unsent = 0) {
        DirectLinkStateEvent event;
        event.state = DirectLinkState::Closed;
        event.retrying = retrying;
        event.lost = lost;
        event.reason = std::move(reason);
        event.unsentLines = unsent;
        return event;
    }

    Language saved_ = Language::French;
};

TEST_F(LinkStateReactionTest, ConnectingAndConnected) {
    DirectLinkStateEvent event;
    event.state = DirectLinkState::Connecting;
    auto reaction = ReactToDirectLinkState(event, true);
    EXPECT_EQ(reaction.image, DirectButtonImage::Connecting);
    EXPECT_FALSE(reaction.sound.has_value());
    EXPECT_TRUE(reaction.logLines.empty());

    event.state = DirectLinkState::Connected;
    reaction = ReactToDirectLinkState(event, true);
    EXPECT_EQ(reaction.image, DirectButtonImage::On);
    EXPECT_EQ(reaction.sound, StationSound::ConnectionMade);
    ASSERT_EQ(reaction.logLines.size(), 1u);
    EXPECT_EQ(reaction.logLines[0].level, 80);
    EXPECT_EQ(reaction.logLines[0].text, "+ Connection to KtORVEX successful");
    EXPECT_TRUE(reaction.startInformationTimer);
    EXPECT_FALSE(reaction.linkEnded);
}

TEST_F(LinkStateReactionTest, UnansweredDetectionsAlarmButKeepTheLink) {
    DirectLinkStateEvent event;
    event.state = DirectLinkState::Unanswered;
    event.unansweredSeconds = 31;
    const auto reaction = ReactToDirectLinkState(event, true);
    EXPECT_EQ(reaction.image, DirectButtonImage::On);
    EXPECT_EQ(reaction.sound, StationSound::LinkAlarm);
    EXPECT_EQ(reaction.alertText, "KtORVEX : no answer to the detections sent for 31 s!");
    EXPECT_FALSE(reaction.raiseButton);
    EXPECT_FALSE(reaction.linkEnded);
    EXPECT_FALSE(reaction.stopInformationTimer);
}

TEST_F(LinkStateReactionTest, AFailedAttemptThatWillBeRetriedIsSilent) {
    const auto reaction = ReactToDirectLinkState(Closed(true, false, "refused"), true);
    EXPECT_EQ(reaction.image, DirectButtonImage::Off);
    EXPECT_FALSE(reaction.sound.has_value());
    EXPECT_TRUE(reaction.logLines.empty());
    EXPECT_TRUE(reaction.alertText.empty());
    EXPECT_FALSE(reaction.raiseButton);
    EXPECT_FALSE(reaction.linkEnded);
    EXPECT_TRUE(reaction.stopInformationTimer);
}

TEST_F(LinkStateReactionTest, TheEndOfAWantedLinkRaisesTheAlarm) {
    const auto reaction = ReactToDirectLinkState(Closed(false, true, "connection closed by KtORVEX", 3), true);
    EXPECT_TRUE(reaction.linkEnded);
    EXPECT_TRUE(reaction.raiseButton);
    EXPECT_EQ(reaction.image, DirectButtonImage::Off);
    EXPECT_EQ(reaction.sound, StationSound::LinkAlarm);
    EXPECT_EQ(reaction.alertText, "KtORVEX : Direct connection lost!");
    EXPECT_EQ(reaction.balloonSeconds, 4);
    ASSERT_EQ(reaction.logLines.size(), 2u);
    EXPECT_EQ(reaction.logLines[0].text, "## KtORVEX : connection closed by KtORVEX");
    EXPECT_EQ(reaction.logLines[1].level, 0);
    EXPECT_EQ(reaction.logLines[1].text, "## 3 lines not sent to KtORVEX");
}

TEST_F(LinkStateReactionTest, SwitchingOffIsAQuietDisconnection) {
    SetLanguage(Language::French);
    const auto reaction = ReactToDirectLinkState(Closed(false, false, "arrêt demandé", 1), false);
    EXPECT_TRUE(reaction.linkEnded);
    EXPECT_FALSE(reaction.raiseButton);
    EXPECT_EQ(reaction.sound, StationSound::Completion);
    EXPECT_TRUE(reaction.alertText.empty());
    ASSERT_EQ(reaction.logLines.size(), 2u);
    EXPECT_EQ(reaction.logLines[0].level, 80);
    EXPECT_EQ(reaction.logLines[0].text, "+ Déconnexion de KtORVEX...");
    EXPECT_EQ(reaction.logLines[1].text, "## 1 ligne non transmise à KtORVEX");
}

}  // namespace
}  // namespace winorvex
