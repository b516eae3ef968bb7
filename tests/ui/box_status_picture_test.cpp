#include <gtest/gtest.h>

#include <QImage>
#include <QSet>

#include "ui/box_status_panel.h"

namespace winorvex {
namespace {

constexpr BoxStatus kAll[] = {BoxStatus::Undefined, BoxStatus::NotConnected, BoxStatus::Reconnecting,
                              BoxStatus::Connected};

TEST(BoxStatusPictureTest, EachStateHasItsOwnColour) {
    QSet<QRgb> colours;
    for (BoxStatus status : kAll) {
        const QImage image = BoxStatusPixmap(status, 1, 32).toImage();
        ASSERT_EQ(image.size(), QSize(32, 32));
        // Inside the body, clear of the number and of the reconnecting ring.
        EXPECT_EQ(image.pixelColor(8, 6).rgb(), BoxStatusColour(status).rgb());
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);  // rounded corners stay transparent
        colours.insert(BoxStatusColour(status).rgb());
    }
    EXPECT_EQ(colours.size(), 4);
    EXPECT_GT(BoxStatusColour(BoxStatus::Connected).green(), BoxStatusColour(BoxStatus::Connected).red());
    EXPECT_GT(BoxStatusColour(BoxStatus::NotConnected).red(), BoxStatusColour(BoxStatus::NotConnected).green());
}

TEST(BoxStatusPictureTest, ThePictureCarriesTheBoxNumber) {
    for (BoxStatus status : kAll) {
        const QImage one = BoxStatusPixmap(status, 1, 32).toImage();
        const QImage four = BoxStatusPixmap(status, 4, 32).toImage();
        EXPECT_NE(one, four);
        EXPECT_EQ(one, BoxStatusPixmap(status, 1, 32).toImage());
    }
}

}  // namespace
}  // namespace winorvex
