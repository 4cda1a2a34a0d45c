// The shared markup and drawing helpers, and the main window's outline: no display needed.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gui/shell/MainWin.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/tests/GuiTestSupport.h"

namespace {

std::string SavePicture(int width, int height) {
    GdkPixbuf* picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, width, height);
    gdk_pixbuf_fill(picture, 0x336699FF);
    const std::string path = MakeTempFolder() + "/picture.png";
    gdk_pixbuf_save(picture, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(picture);
    return path;
}

}  // namespace

TEST(MarkupHelpersTest, ColoursSpansAndLinks) {
    const GdkColor pink{0, 255, 0, 128};
    EXPECT_EQ(ColorToHex(pink, true), "#FF0080");
    EXPECT_EQ(ColorToHex(GdkColor{0, 0x1AB, 0xC, 0xFFEE}, false), "AB0CEE");  // the low 8 bits of each field
    EXPECT_EQ(MakeSpanMarkup("word", &pink, "Arial 9", "single", true),
              "<span font_desc=\"Arial 9\" color=\"#FF0080\" underline=\"single\">word</span>");
    // A text that is not plain loses the family "Arial" from its font.
    EXPECT_EQ(MakeSpanMarkup("two words", &pink, "Arial 9", nullptr, true),
              "<span font_desc=\" 9\" color=\"#FF0080\">two words</span>");
    EXPECT_EQ(MakeSpanMarkup("two words", nullptr, "Arial 9", nullptr, false),
              "<span font_desc=\"Arial 9\">two words</span>");
    EXPECT_EQ(MakeSpanMarkup("bad \xC3", &pink, "Arial 9", "single", true), "");
    EXPECT_EQ(MakeSpanMarkup("", nullptr, nullptr, nullptr, true), "<span></span>");

    // The address is escaped for its attribute: an '&' in a query keeps the label alive.
    const std::string link = MakeLinkMarkup("Site", "https://relikorda.example/?a=1&b=\"2\"<", "Arial 12px");
    EXPECT_EQ(link,
              "<span font_desc=\" 12px\">"
              "<a href=\"https://relikorda.example/?a=1&amp;b=&quot;2&quot;&lt;\">Site</a></span>");
    EXPECT_EQ(EscapeMarkup("a<b>&c"), "a&lt;b&gt;&amp;c");

    struct Plain {
        const char* text;
        bool plain;
    } plains[] = {{"", true},       {"Arial", true},  {"a b", false},
                  {"tab\t", false}, {"\x7F", false}, {"caf\xC3\xA9", false}};
    for (const Plain& p : plains) EXPECT_EQ(IsPlainText(p.text), p.plain) << p.text;
}

TEST(MarkupHelpersTest, ReplaceStringAndSizeTexts) {
    std::string text = "a-b-c";
    EXPECT_EQ(ReplaceString(text, "-", "+", true), "a+b-c");
    text = "a-b-c";
    EXPECT_EQ(ReplaceString(text, "-", "+", false), "a+b+c");
    text = "xx";
    EXPECT_EQ(ReplaceString(text, "x", "xx", false), "xxxx");  // the replacement is not searched again

    struct Size {
        uint64_t bytes;
        const char* text;
    } sizes[] = {{0, "0 Byte(s)"},           {1024, "1024 Byte(s)"},         {1025, "1.00 KB"},
                 {1048576, "1024.00 KB"},    {1048577, "1.00 MB"},           {3ull << 30, "3.00 GB"},
                 {(1ull << 40) + 1, "1.00 TB"}};
    for (const Size& s : sizes) EXPECT_EQ(FormatSizeText(s.bytes), s.text) << s.bytes;
}

TEST(MarkupHelpersTest, PicturesShrinkIntoTheirBoxAndPointsFallInsideBySide) {
    struct Box {
        int width, height, maxWidth, maxHeight, expectWidth, expectHeight;
    } boxes[] = {{64, 32, 128, 128, 64, 32}, {400, 200, 100, 100, 100, 50}, {1000, 2, 100, 100, 100, 1}};
    for (const Box& b : boxes) {
        const std::string path = SavePicture(b.width, b.height);
        int w = 0, h = 0;
        ASSERT_TRUE(GetImageFileSize(path, &w, &h));
        EXPECT_EQ(w, b.width);
        GdkPixbuf* scaled = LoadScaledPixbuf(nullptr, 0, path, b.maxWidth, b.maxHeight);
        ASSERT_NE(scaled, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(scaled), b.expectWidth) << b.width << "x" << b.height;
        EXPECT_EQ(gdk_pixbuf_get_height(scaled), b.expectHeight) << b.width << "x" << b.height;
        // The same picture from its bytes.
        const std::string bytes = ReadText(path);
        GdkPixbuf* fromBytes = LoadScaledPixbuf(bytes.data(), bytes.size(), "", b.maxWidth, b.maxHeight);
        ASSERT_NE(fromBytes, nullptr);
        EXPECT_EQ(gdk_pixbuf_get_width(fromBytes), b.expectWidth);
        g_object_unref(scaled);
        g_object_unref(fromBytes);
    }
    EXPECT_EQ(LoadScaledPixbuf("junk", 4, "/nonexistent.png", 10, 10), nullptr);
    EXPECT_FALSE(GetImageFileSize("", nullptr, nullptr));

    struct Point {
        int x, y;
        bool inside;
    } points[] = {{10, 20, false}, {11, 21, true}, {40, 60, true}, {41, 60, false}, {40, 61, false}, {10, 60, false}};
    for (const Point& p : points) {
        EXPECT_EQ(PointInRect(p.x, p.y, 10, 20, 30, 40), p.inside) << p.x << "," << p.y;
        EXPECT_EQ(IsPointInRect(p.x, p.y, 10, 20, 30, 40), p.inside);
    }
}

TEST(MarkupHelpersTest, RoundRectPolygonHasFourArcsAndEightEdgePoints) {
    int count = 0;
    GdkPoint* points = CUIMainWin::RoundRectPolygon(0, 0, 1000, 620, 4, 50, &count);
    ASSERT_NE(points, nullptr);
    // sin and cos of the quarter arc truncated to whole pixels: the distinct points of radius 4.
    int m = 1;
    GdkPoint previous{0, 4};
    for (int i = 1; i < 50; ++i) {
        const double angle = i * 3.141592653589793 / 100;
        const GdkPoint point{static_cast<gint>(std::sin(angle) * 4), static_cast<gint>(std::cos(angle) * 4)};
        if (point.x != previous.x || point.y != previous.y) ++m;
        previous = point;
    }
    EXPECT_EQ(count, 4 * m + 8);
    EXPECT_EQ(points[m].x, 4);  // the top edge starts where the upper-left arc ends
    EXPECT_EQ(points[m].y, 0);
    EXPECT_EQ(points[count - 1].x, 0);
    EXPECT_EQ(points[count - 1].y, 4);
    g_free(points);
    for (auto size : {std::pair<int, int>{8, 100}, {100, 8}, {9, 9}})
        EXPECT_EQ(CUIMainWin::RoundRectPolygon(0, 0, size.first, size.second, 4, 50, &count), nullptr);
    points = CUIMainWin::RoundRectPolygon(0, 0, 10, 10, 4, 50, &count);
    EXPECT_NE(points, nullptr);
    g_free(points);
}
