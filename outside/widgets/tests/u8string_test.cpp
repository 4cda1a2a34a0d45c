#include <gtest/gtest.h>

#include "outside/widgets/CU8String.h"

TEST(U8StringTest, ConvertsBetweenUtf16AndUtf8) {
    const char16_t name[] = {u'A', 0x00E9, 0x4E2D, 0xD83D, 0xDCF1, 0, u'x'};  // A é 中 📱, then past the end
    CU8String text(name);
    EXPECT_EQ(text.str(), "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x93\xB1");
    EXPECT_EQ(text.ToUtf16(), std::u16string(name, 5));
    EXPECT_EQ(CU8String(name, 2).str(), "A\xC3\xA9");  // at most two units
    EXPECT_EQ(CU8String(static_cast<const char16_t*>(nullptr)).str(), "");
    EXPECT_EQ(CU8String("ok\xFF").ToLocale(), "ok\xEF\xBF\xBD");  // ill-formed bytes are replaced
    EXPECT_EQ(CU8String::FromLocale("Gr\xC3\xBC\xC3\x9F").str(), "Gr\xC3\xBC\xC3\x9F");
    EXPECT_TRUE(CU8String(static_cast<const char*>(nullptr)).empty());
}
