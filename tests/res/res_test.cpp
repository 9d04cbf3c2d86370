// The program's resources as res:: hands them out: on Linux from the table compiled into the
// program, on Windows from the module. Both hold the generator's files byte for byte.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "res/ResourceNames.h"
#include "res/Resources.h"
#include "tests/support/TestSupport.h"

namespace {

std::string AsText(std::span<const unsigned char> bytes) {
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A file of the build's res folder, where the picture generator wrote it.
std::string Generated(const std::string& name) {
    return txtest::ReadFile(std::string(TX_BIN_DIR) + "/../res/" + name);
}

TEST(ResourcesTest, TheWindowPicturesAreTheGeneratorsFiles) {
    for (const char* name :
         {"BITMAP_BTNONLINE_0", "BITMAP_BTNONLINE_1", "BITMAP_BTNEXIT_0", "BITMAP_BTNEXIT_1"}) {
        const std::string file = Generated(std::string(name) + ".bmp");
        ASSERT_GT(file.size(), 54u) << name;
        EXPECT_TRUE(AsText(res::FindResource(name, "BMP")) == file) << name;
    }
    // As a bitmap resource the skin may lose its 14-byte file header on the way.
    const std::string skin = Generated("skin_129.bmp");
    const std::string held = AsText(res::FindResource(res::kSkinName, "BITMAP"));
    EXPECT_TRUE(held == skin || held == skin.substr(14));
}

TEST(ResourcesTest, NamesAndTypesAreFoundWithoutRegardToCaseAndOnlyTogether) {
    for (char c = 'a'; c <= 'z'; ++c) {
        EXPECT_TRUE(res::SameResourceName(std::string("x") + c, std::string("X") + char(c - 32)))
            << c;
    }
    EXPECT_FALSE(res::SameResourceName("A[", "a{"));
    EXPECT_EQ(res::FindResource("bitmap_btnexit_1", "bmp").data(),
              res::FindResource("BITMAP_BTNEXIT_1", "BMP").data());
    EXPECT_FALSE(res::FindResource("#129", "bitmap").empty());
    const std::pair<const char*, const char*> absent[] = {{"#129", "BMP"},
                                                          {"BITMAP_BTNONLINE_0", "BITMAP"},
                                                          {"BITMAP_BTNONLINE_0", "ICON"},
                                                          {"BITMAP_BTNONLINE_2", "BMP"},
                                                          {"BITMAP_BTNONLINE_", "BMP"},
                                                          {"", "BMP"},
                                                          {"#128", "BMP"},
                                                          {"#", "BMP"}};
    for (const auto& [name, type] : absent) {
        EXPECT_TRUE(res::FindResource(name, type).empty()) << name << " " << type;
    }
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
    EXPECT_EQ(AsText(res::FindIcon(res::kIconName, 256)), Generated("icon_128_256.png"));
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
