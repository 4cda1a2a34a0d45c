#include <gtest/gtest.h>

#include <string>

#include "sqlite_recovery/framework/SafeFileName.h"

TEST(SafeFileNameTest, NamesFromThePhoneBecomeOneHonestComponent) {
    const std::pair<std::string, std::string> cases[] = {
        {"photo.jpg", "photo.jpg"},
        {"../../etc/passwd", "_.._etc_passwd"},
        {"a\\b:c\x01\x7f/d", "a_b_c___d"},
        {"..hidden.jpg", "hidden.jpg"},
        {" . .x", "x"},
        {"..", ""},
        {"", ""},
        {"\xC3\xA9t\xC3\xA9.png", "\xC3\xA9t\xC3\xA9.png"},              // letters of other scripts stay
        {"photo\xE2\x80\xAEgpj.exe", "photo_gpj.exe"},                    // right-to-left override
        {"a\xE2\x81\xA6" "b\xE2\x81\xA9.txt", "a_b_.txt"},               // isolates
        {"x\xE2\x80\x8By\xEF\xBB\xBF.doc", "x_y_.doc"},                   // zero-width space, BOM
        {"soft\xC2\xADhyphen", "soft_hyphen"},
        {"c1\xC2\x85.txt", "c1_.txt"},                                     // a C1 control
        {"bad\xFF\xC0.jpg", "bad__.jpg"},                                  // not UTF-8
        {"tag\xF3\xA0\x80\x81.jpg", "tag_.jpg"},                           // a tag character
    };
    for (const auto& c : cases) EXPECT_EQ(CleanFileName(c.first), c.second) << c.first;
}

TEST(SafeFileNameTest, ALongNameKeepsItsExtension) {
    EXPECT_EQ(CleanFileName(std::string(300, 'x') + ".jpeg"), std::string(195, 'x') + ".jpeg");
    EXPECT_EQ(CleanFileName(std::string(300, 'x')), std::string(200, 'x'));
    // Cut on a character boundary: 99 two-byte characters and the extension.
    std::string wide;
    for (int i = 0; i < 150; ++i) wide += "\xC3\xA9";
    EXPECT_EQ(CleanFileName(wide + ".png"), wide.substr(0, 196) + ".png");
    // An "extension" too long to be one is cut like the rest.
    EXPECT_EQ(CleanFileName("a." + std::string(300, 'y'), 20), "a." + std::string(18, 'y'));
    // A first character wider than the room the extension leaves: the name is cut as a whole, and
    // what comes out neither starts with a dot nor changes when cleaned again.
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(CleanFileName(emoji + emoji + ".abcdef", 8), emoji + emoji);
    EXPECT_EQ(CleanFileName(emoji + emoji, 8), emoji + emoji);
}
