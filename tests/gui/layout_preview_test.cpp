#include "app/layout_preview.h"

#include <gtest/gtest.h>

#include <QImage>

namespace kavo {
namespace {

using Align = LayoutPreviewInputs::Alignment;

// The inner area of the preview box: 129 × 113 pixels less a 2-pixel border.
QImage Surface() {
    return QImage(125, 109, QImage::Format_RGB32);
}

/// True when a stamp of size s × s has its top left at (x, y): its corners are
/// painted (the sample has no white pixel), the pixels just outside are white,
/// and at natural size its top left pixel is the sample's frame colour.
bool StampAt(const QImage& img, int x, int y, int s, QRgb frame) {
    const QRgb white = qRgb(255, 255, 255);
    auto at = [&](int px, int py) { return img.pixel(px, py); };
    if (s == 23 && at(x, y) != frame)
        return false;
    if (at(x, y) == white || at(x + s - 1, y) == white || at(x, y + s - 1) == white)
        return false;
    if (at(x + s - 1, y + s - 1) == white)
        return false;
    if (x > 0 && at(x - 1, y) != white)
        return false;
    if (y > 0 && at(x, y - 1) != white)
        return false;
    return x + s >= img.width() || at(x + s, y) == white;
}

class PreviewTest : public ::testing::Test {
protected:
    QImage sample = SamplePicture();
    QRgb frame = sample.pixel(0, 0);
    QImage img = Surface();
};

TEST_F(PreviewTest, SamplePictureIsTwentyThreeSquare) {
    EXPECT_EQ(sample.size(), QSize(23, 23));
    EXPECT_EQ(sample.pixel(22, 22), frame);
    EXPECT_NE(sample.pixel(11, 11), frame);
}

TEST_F(PreviewTest, NoTableStampsAtEachAlignment) {
    for (auto [align, x] : {std::pair{Align::Left, 10}, std::pair{Align::Center, 50}, std::pair{Align::Right, 90},
                            std::pair{Align::None, 50}}) {
        SCOPED_TRACE(x);
        DrawLayoutPreview({align, true, 3, 50}, sample, img);
        EXPECT_TRUE(StampAt(img, x, 10, 23, frame));
        EXPECT_TRUE(StampAt(img, x, 43, 23, frame));
        EXPECT_TRUE(StampAt(img, x, 76, 23, frame));
        // The fourth starts at the bottom edge (y = 109) and is clipped away.
        EXPECT_EQ(img.pixel(x, 108), qRgb(255, 255, 255));
        // Nothing else on the row.
        EXPECT_EQ(img.pixel(x == 50 ? 10 : 50, 10), qRgb(255, 255, 255));
    }
}

TEST_F(PreviewTest, ThumbnailsAreDrawnInsideTheirFramedBoxes) {
    LayoutPreviewInputs in{Align::Left, true, 3, 50};
    in.Thumbnails = true;
    DrawLayoutPreview(in, sample, img);
    // The box keeps the stamp's place and size: a grey frame, white inside it, the sample within.
    const QRgb grey = qRgb(0x80, 0x80, 0x80), white = qRgb(255, 255, 255);
    EXPECT_EQ(img.pixel(10, 10), grey);
    EXPECT_EQ(img.pixel(32, 32), grey);
    EXPECT_EQ(img.pixel(11, 11), white);
    EXPECT_EQ(img.pixel(13, 13), frame);  // the sample, shrunk by the margin
    EXPECT_EQ(img.pixel(9, 10), white);
    DrawLayoutPreview({Align::Left, true, 3, 50}, sample, img);
    EXPECT_EQ(img.pixel(10, 10), frame);  // without thumbnails: the sample itself
}

TEST_F(PreviewTest, TableRowsThatFitAreCentredAtNaturalSize) {
    // n = 3, P = 50: 17 rows at x = 27, 52, 77; only rows at y = 10, 43, 76 are visible.
    DrawLayoutPreview({Align::Center, false, 3, 50}, sample, img);
    for (int y : {10, 43, 76}) {
        for (int x : {27, 52, 77})
            EXPECT_TRUE(StampAt(img, x, y, 23, frame)) << x << "," << y;
    }
    EXPECT_EQ(img.pixel(102, 10), qRgb(255, 255, 255));
    // n = 4 (14.5 + ... rounds to even): the first stamp at x = 14.
    DrawLayoutPreview({Align::Center, false, 4, 50}, sample, img);
    EXPECT_TRUE(StampAt(img, 14, 10, 23, frame));
    EXPECT_TRUE(StampAt(img, 89, 10, 23, frame));
}

TEST_F(PreviewTest, ShrunkRowsStretchTheStamps) {
    // n = 6: 18 × 18 from x = 3, step 20; rows every 28 pixels.
    DrawLayoutPreview({Align::Center, false, 6, 50}, sample, img);
    for (int k = 0; k < 6; ++k)
        EXPECT_TRUE(StampAt(img, 3 + 20 * k, 10, 18, frame)) << k;
    EXPECT_TRUE(StampAt(img, 3, 38, 18, frame));
    // n = 10, P = 5: one row of five 10 × 10 stamps from x = 3, nothing after.
    DrawLayoutPreview({Align::Center, false, 10, 5}, sample, img);
    for (int k = 0; k < 5; ++k)
        EXPECT_TRUE(StampAt(img, 3 + 12 * k, 10, 10, frame)) << k;
    EXPECT_EQ(img.pixel(63, 10), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(3, 30), qRgb(255, 255, 255));
}

TEST_F(PreviewTest, LastRowIsShortButKeepsItsPositions) {
    // n = 3, P = 5: the second row holds two stamps at x = 27 and 52.
    DrawLayoutPreview({Align::Center, false, 3, 5}, sample, img);
    EXPECT_TRUE(StampAt(img, 27, 43, 23, frame));
    EXPECT_TRUE(StampAt(img, 52, 43, 23, frame));
    EXPECT_EQ(img.pixel(77, 43), qRgb(255, 255, 255));
}

TEST_F(PreviewTest, EveryRunStartsFromWhite) {
    DrawLayoutPreview({Align::Center, false, 10, 200}, sample, img);
    DrawLayoutPreview({Align::Left, true, 3, 50}, sample, img);
    EXPECT_EQ(img.pixel(3, 10), qRgb(255, 255, 255));
    EXPECT_TRUE(StampAt(img, 10, 10, 23, frame));
}

}  // namespace
}  // namespace kavo
