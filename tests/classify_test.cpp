#include "catalogue/classify.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "base/number_format.h"

namespace kavo {
namespace {

TEST(ClassifyPicture, TypesByTheLastFourCharacters) {
    EXPECT_EQ(ClassifyPicture("PHOTO.JPG", "/p/"), PictureType::Jpeg);
    EXPECT_EQ(ClassifyPicture("photo.Jpeg", "/p/"), PictureType::Jpeg);
    EXPECT_EQ(ClassifyPicture("a.JPE", "/p/"), PictureType::Jpeg);
    EXPECT_EQ(ClassifyPicture("photoJPEG", "/p/"), PictureType::Jpeg);
    EXPECT_EQ(ClassifyPicture("jpeg", "/p/"), PictureType::Jpeg);
    EXPECT_EQ(ClassifyPicture("Album.jpg", "/p/"), PictureType::Jpeg);
    EXPECT_EQ(ClassifyPicture("x.GIF", "/p/"), PictureType::Gif);
    EXPECT_EQ(ClassifyPicture("x.Bmp", "/p/"), PictureType::Bmp);
    EXPECT_EQ(ClassifyPicture("写真.png", "/p/"), PictureType::Png);
}

TEST(ClassifyPicture, OtherNamesAreNoPictures) {
    EXPECT_EQ(ClassifyPicture("photo.jfif", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture("photo.jp", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture("gif", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture(".", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture("..", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture("", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture("photo.jpg ", "/p/"), PictureType::NotPicture);
    EXPECT_EQ(ClassifyPicture("写真ｊｐｇ", "/p/"), PictureType::NotPicture);
}

TEST(ClassifyPicture, SupportPicturesByTheEndOfTheFullPath) {
    EXPECT_EQ(ClassifyPicture("Ball1.GIF", "/pics/Kavo/Images/"), PictureType::SupportPicture);
    EXPECT_EQ(ClassifyPicture("rect1.gif", "kavo/images/"), PictureType::SupportPicture);  // exactly 21
    EXPECT_EQ(ClassifyPicture("next3.gif", "/a/b/c/d/kavo/images/"), PictureType::SupportPicture);
    EXPECT_EQ(ClassifyPicture("ball1.gif", "/pics/MyKavo/Images/"), PictureType::SupportPicture);
    // Either separator is recognised.
    EXPECT_EQ(ClassifyPicture("logo1.gif", "C:\\Pics\\Kavo\\Images\\"), PictureType::SupportPicture);

    EXPECT_EQ(ClassifyPicture("ball1.gif", "/pics/Kavo/"), PictureType::Gif);
    EXPECT_EQ(ClassifyPicture("ball1.gif", "/pics/Images/"), PictureType::Gif);
    EXPECT_EQ(ClassifyPicture("ball2.gif", "/pics/Kavo/Images/"), PictureType::Gif);
    EXPECT_EQ(ClassifyPicture("ball1.gif", "avo/images/"), PictureType::Gif);  // path shorter than a support name
    EXPECT_EQ(ClassifyPicture("ball1.gif", "/"), PictureType::Gif);
}

TEST(FormatNumber, PatternsOfZerosAndHashes) {
    EXPECT_EQ(FormatNumber(1, "0000"), "0001");
    EXPECT_EQ(FormatNumber(10000, "0000"), "10000");
    EXPECT_EQ(FormatNumber(0, "####"), "");
    EXPECT_EQ(FormatNumber(250, "####"), "250");
    EXPECT_EQ(FormatNumber(7, "000"), "007");
    EXPECT_EQ(FormatNumber(1000, "000"), "1000");
    EXPECT_EQ(FormatNumber(1234, "000000"), "001234");
    EXPECT_EQ(FormatNumber(0, "####0"), "0");
    EXPECT_EQ(FormatNumber(1234567, "#####0"), "1234567");
    EXPECT_EQ(FormatNumber(0, "##0"), "0");
    // The sign goes before the padding; the smallest value has no positive twin.
    EXPECT_EQ(FormatNumber(-5, "000"), "-005");
    EXPECT_EQ(FormatNumber(INT64_MIN, "0"), "-9223372036854775808");
}

}  // namespace
}  // namespace kavo
