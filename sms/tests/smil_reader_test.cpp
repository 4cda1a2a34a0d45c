#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sms/SmilReader.h"
#include "sms/SmsXmlAttributes.h"

namespace {

const char kLayout[] =
    "<head><layout><root-layout width=\"320\" height=\"480\"/>"
    "<region id=\"Image\" left=\"0\" top=\"0\" width=\"320\" height=\"320\"/>"
    "<region id=\"Text\" left=\"0\" top=\"70\" width=\"320\" height=\"160\"/>"
    "</layout></head>";

std::vector<std::string> Parse(const std::string& text) {
    std::vector<std::string> names{"stale"};
    SmilReader::Parse(text.c_str(), names);
    return names;
}

// Text first in each slide, so that only the sort puts the image on top.
std::string ThreeSlides(bool withLayout) {
    std::string body;
    for (int i = 1; i <= 3; ++i)
        body += "<par dur=\"5000ms\"><text src=\"t" + std::to_string(i) + ".txt\" region=\"Text\"/>"
                "<img src=\"i" + std::to_string(i) + ".jpg\" region=\"Image\"/></par>";
    return "<smil>" + std::string(withLayout ? kLayout : "") + "<body>" + body + "</body></smil>";
}

}  // namespace

TEST(SmilReaderTest, SlidesInOrderRegionsTopToBottom) {
    EXPECT_EQ(Parse(ThreeSlides(true)),
              (std::vector<std::string>{"i1.jpg", "t1.txt", "i2.jpg", "t2.txt", "i3.jpg", "t3.txt"}));
}

TEST(SmilReaderTest, WithoutLayoutTheReadingOrderStays) {
    EXPECT_EQ(Parse(ThreeSlides(false)),
              (std::vector<std::string>{"t1.txt", "i1.jpg", "t2.txt", "i2.jpg", "t3.txt", "i3.jpg"}));
}

TEST(SmilReaderTest, NothingUsableGivesAnEmptyList) {
    std::vector<std::string> names{"stale"};
    SmilReader::Parse(nullptr, names);
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(Parse("").empty());
    EXPECT_TRUE(Parse("not xml at all").empty());
    EXPECT_TRUE(Parse("<smil><head/></smil>").empty());
}

TEST(SmilReaderTest, CidPrefixIsRemovedOnlyInLowerCase) {
    EXPECT_EQ(Parse("<smil><body><par><img src=\"cid:pic\"/><img src=\"CID:pic\"/><img src=\"cid:\"/>"
                    "<img region=\"x\"/></par></body></smil>"),
              (std::vector<std::string>{"pic", "CID:pic"}));
}

TEST(SmilReaderTest, DuplicatesAreKept) {
    EXPECT_EQ(Parse("<smil><body><par><img src=\"a\"/></par><par><img src=\"a\"/></par></body></smil>"),
              (std::vector<std::string>{"a", "a"}));
}

TEST(SmilReaderTest, ParsInsideOneSeqShareTheirOrderNumber) {
    std::string text = "<smil>" + std::string(kLayout) +
                       "<body><seq>"
                       "<par><text src=\"t1\" region=\"Text\"/><img src=\"i1\" region=\"Image\"/></par>"
                       "<par><text src=\"t2\" region=\"Text\"/><img src=\"i2\" region=\"Image\"/></par>"
                       "</seq><par><img src=\"i3\" region=\"Image\"/></par></body></smil>";
    EXPECT_EQ(Parse(text), (std::vector<std::string>{"i1", "i2", "t1", "t2", "i3"}));
}

TEST(SmilReaderTest, RegionWithoutTopIsNotRegisteredAndItsMediaKeepTheirPlace) {
    std::string text =
        "<smil><head><layout><region id=\"Image\" left=\"0\" top=\"50\"/><region id=\"Text\" left=\"0\"/>"
        "<region id=\"Image\" left=\"0\" top=\"0\"/><region id=\"Top\" left=\"5\" top=\"0\"/></layout></head>"
        "<body><par><text src=\"t\" region=\"Text\"/><a src=\"n\"/><img src=\"i\" region=\"Image\"/>"
        "<img src=\"top\" region=\"Top\"/></par></body></smil>";
    // "Text" has no top: t and n stay first and second; of the placed media the first "Image" (top 50)
    // comes after "Top" (top 0).
    EXPECT_EQ(Parse(text), (std::vector<std::string>{"t", "n", "top", "i"}));
}

TEST(SmilReaderTest, EqualRegionsKeepTheirReadingOrderEveryRun) {
    std::string body = "<par>";
    for (int i = 0; i < 40; ++i) body += "<img src=\"m" + std::to_string(i) + "\" region=\"Image\"/>";
    body += "</par>";
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) expected.push_back("m" + std::to_string(i));
    EXPECT_EQ(Parse("<smil>" + std::string(kLayout) + "<body>" + body + "</body></smil>"), expected);
}

TEST(SmilReaderTest, DeeplyNestedTextIsRefusedBeforeParsing) {
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<par>";
    EXPECT_TRUE(Parse(deep).empty());  // the parser would run out of stack
    std::string tricky = "<smil><body>";
    for (int i = 0; i < 200000; ++i) tricky += "<par a=\"/>\" b='>'>";
    EXPECT_TRUE(Parse(tricky).empty());
    // A normal presentation with self-closing media and a comment still parses.
    EXPECT_EQ(Parse("<!-- x --><smil><body><par><img src=\"a\"/><img src=\"b\" /></par></body></smil>"),
              (std::vector<std::string>{"a", "b"}));
}

TEST(SmilReaderTest, NestingCountFollowsElementsOnly) {
    EXPECT_TRUE(XmlNestingWithin("<a><b/><c></c><d x=\"</\"/></a>", 2));
    EXPECT_FALSE(XmlNestingWithin("<a><b><c/></b></a>", 1));
    EXPECT_TRUE(XmlNestingWithin("<a><b><c/></b></a>", 2));
    EXPECT_TRUE(XmlNestingWithin(nullptr, 0));
}
