// The status a box shows, in the order its conditions are tested, and its tool tip.
#include "reader/box_status.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/texts.h"
#include "reader/orvex_box.h"
#include "reader/scripted_com_box.h"

namespace winorvex::test {
namespace {

TEST(BoxStatus, FollowsTheTransportState) {
    const Language saved = CurrentLanguage();
    SetLanguage(Language::English);
    COrvexBox box;
    box.SetBoxNumber(2);
    box.SetAddress(BoxAddress{"31", "reader", 0});
    EXPECT_EQ(GetBoxStatus(box), BoxStatus::Undefined);
    EXPECT_EQ(BoxStatusTip(box, GetBoxStatus(box)), "Box 2 [reader:0 31]\nBox undefined");

    auto owned = std::make_unique<ScriptedComBox>();
    ScriptedComBox& transport = *owned;
    box.SetTransport(std::move(owned));
    box.SetAddress(ScriptedComBox::Address());
    EXPECT_EQ(GetBoxStatus(box), BoxStatus::NotConnected);
    box.SetReconnecting(true);
    EXPECT_EQ(GetBoxStatus(box), BoxStatus::Reconnecting);
    transport.SetOpen();
    EXPECT_EQ(GetBoxStatus(box), BoxStatus::Reconnecting) << "reconnecting is told before open";
    box.SetReconnecting(false);
    EXPECT_EQ(GetBoxStatus(box), BoxStatus::Connected);
    EXPECT_EQ(BoxStatusTip(box, BoxStatus::Connected), "Box 2 [script:1 31]\nBox connected");
    EXPECT_STREQ(BoxStatusText(BoxStatus::NotConnected), "Box not connected");
    EXPECT_STREQ(BoxStatusText(BoxStatus::Reconnecting), "Reconnecting...");

    SetLanguage(Language::French);
    EXPECT_EQ(BoxStatusTip(box, BoxStatus::Connected), "Boîtier 2 [script:1 31]\nBoîtier connecté");
    EXPECT_STREQ(BoxStatusText(BoxStatus::Undefined), "Boîtier non défini");
    EXPECT_STREQ(BoxStatusText(BoxStatus::NotConnected), "Boîtier non connecté");
    EXPECT_STREQ(BoxStatusText(BoxStatus::Reconnecting), "Reconnexion en cours...");
    SetLanguage(saved);
}

}  // namespace
}  // namespace winorvex::test
