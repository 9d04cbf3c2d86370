// The program's resources as res:: hands them out: on Linux from the table compiled into the
// program, on Windows from the module. (Their pictures as the window draws them: the window test.)

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "res/ResourceNames.h"
#include "res/Resources.h"
#include "tests/support/TestSupport.h"

namespace {

TEST(ResourcesTest, NamesAndTypesAreFoundWithoutRegardToCaseAndOnlyTogether) {
    for (char c = 'a'; c <= 'z'; ++c)
        EXPECT_TRUE(res::SameResourceName(std::string("x") + c, std::string("X") + char(c - 32)))
            << c;
    EXPECT_FALSE(res::SameResourceName("A[", "a{"));
    EXPECT_EQ(res::FindResource("bitmap_btnexit_1", "bmp").data(),
              res::FindResource("BITMAP_BTNEXIT_1", "BMP").data());
    EXPECT_FALSE(res::FindResource("#129", "bitmap").empty());
    // The type must match too, and the whole name.
    EXPECT_TRUE(res::FindResource("#129", "BMP").empty());
    EXPECT_TRUE(res::FindResource("BITMAP_BTNONLINE_0", "BITMAP").empty());
    for (const char* name : {"BITMAP_BTNONLINE_2", "BITMAP_BTNONLINE_", "", "#"})
        EXPECT_TRUE(res::FindResource(name, "BMP").empty()) << name;
    EXPECT_TRUE(res::FindIcon("#129", 32).empty());
}

TEST(ResourcesTest, AnIconRequestGetsTheNextLargerImageAndBeyondTheLargestTheLargest) {
    auto icon = [](int pixels) { return res::FindIcon(res::kIconName, pixels).data(); };
    std::set<const unsigned char*> images;
    for (int pixels : {256, 128, 64, 48, 32}) images.insert(icon(pixels));
    EXPECT_EQ(images.size(), 5u);
    EXPECT_EQ(images.count(nullptr), 0u);
    EXPECT_EQ(icon(40), icon(48));
    EXPECT_EQ(icon(16), icon(32));
    EXPECT_EQ(icon(129), icon(256));
    EXPECT_EQ(icon(1024), icon(256));
    const auto png = res::FindIcon(res::kIconName, 256);
    EXPECT_EQ(std::string(png.begin(), png.end()),
              txtest::ReadFile(std::string(TX_BIN_DIR) + "/../res/icon_128_256.png"));
}

TEST(ResourcesTest, TheStringTableHoldsTheMenuEntryAndTheAboutTexts) {
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutBox), "&About TarvelXConnect Extended...");
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutVersion),
              "TarvelX Connect Extended. v.1.2.x.x.");
    EXPECT_FALSE(res::LoadResourceString(res::kIdsAboutDescription).empty());
    EXPECT_EQ(res::LoadResourceString(res::kIdsAboutTitle), "About program");
    for (int id : {0, 100, 105, -101}) EXPECT_EQ(res::LoadResourceString(id), "") << id;
}

}  // namespace
