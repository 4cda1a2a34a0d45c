#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "sqlite_recovery/framework/CXmlWriter.h"

namespace {
std::string Printed(const CXmlWriter& writer) {
    std::unique_ptr<char[]> text(writer.Print());
    return text ? std::string(text.get()) : std::string("<null>");
}
}  // namespace

TEST(XmlWriterTest, ThreeLevelDocumentPrintsIndented) {
    CXmlWriter writer;
    ASSERT_TRUE(Succeeded(writer.Create()));
    ASSERT_EQ(writer.AddRoot("session"), 0);
    EXPECT_TRUE(Succeeded(writer.SetRootAttribute("number", "+15551234")));
    EXPECT_TRUE(Succeeded(writer.SetRootAttributeInt64("total", 2)));
    ASSERT_EQ(writer.AddItem("sms"), 0);
    EXPECT_TRUE(Succeeded(writer.SetItemAttributeInt64("date", 1300000000123LL)));
    ASSERT_EQ(writer.AddLeaf("text", "Tom & Jerry <3"), 0);
    EXPECT_TRUE(Succeeded(writer.SetLeafAttributeInt("type", 1)));
    EXPECT_EQ(Printed(writer),
              "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
              "<session number=\"+15551234\" total=\"2\">\n"
              "    <sms date=\"1300000000123\">\n"
              "        <text type=\"1\">Tom &amp; Jerry &lt;3</text>\n"
              "    </sms>\n"
              "</session>\n");
}

TEST(XmlWriterTest, MissingElementsFailAndChangeNothing) {
    CXmlWriter writer;
    EXPECT_EQ(writer.Print(), nullptr);  // never created
    EXPECT_EQ(writer.AddRoot("r"), 1);
    ASSERT_TRUE(Succeeded(writer.Create()));
    ResultCode rc = writer.SetItemAttribute("a", "b");
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    EXPECT_EQ(writer.AddItem("item"), 1);  // no root yet
    EXPECT_EQ(writer.AddLeaf("leaf", "x"), 1);
    EXPECT_TRUE(Failed(writer.SetRootAttribute("a", "b")));
    ASSERT_EQ(writer.AddRoot("r"), 0);
    EXPECT_TRUE(Failed(writer.SetLeafAttribute("a", "b")));
    EXPECT_EQ(Printed(writer), "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<r />\n");
}

TEST(XmlWriterTest, SecondValueReplacesTheFirstInPlace) {
    CXmlWriter writer;
    ASSERT_TRUE(Succeeded(writer.Create()));
    ASSERT_EQ(writer.AddRoot("r"), 0);
    ASSERT_EQ(writer.AddItem("i"), 0);
    writer.SetItemAttribute("a", "1");
    writer.SetItemAttribute("b", "2");
    writer.SetItemAttributeInt("a", 3);
    EXPECT_NE(Printed(writer).find("<i a=\"3\" b=\"2\" />"), std::string::npos);
}

TEST(XmlWriterTest, EscapedTextReadsBackUnchanged) {
    CXmlWriter writer;
    ASSERT_TRUE(Succeeded(writer.Create()));
    ASSERT_EQ(writer.AddRoot("r"), 0);
    ASSERT_EQ(writer.AddItem("i"), 0);
    const char* body = "a & b < c > d \"q\" \xe4\xb8\xad";
    ASSERT_EQ(writer.AddLeaf("text", body), 0);
    writer.SetLeafAttribute("label", "x&y");
    std::unique_ptr<char[]> printed(writer.Print());
    TiXmlDocument back;
    back.Parse(printed.get(), nullptr, TIXML_ENCODING_UTF8);
    ASSERT_FALSE(back.Error());
    TiXmlElement* leaf = back.RootElement()->FirstChildElement("i")->FirstChildElement("text");
    EXPECT_STREQ(leaf->GetText(), body);
    EXPECT_STREQ(leaf->Attribute("label"), "x&y");
}

TEST(XmlWriterTest, FreeEmptiesTheWriterForReuse) {
    CXmlWriter writer;
    ASSERT_TRUE(Succeeded(writer.Create()));
    ASSERT_EQ(writer.AddRoot("r"), 0);
    writer.Free();
    EXPECT_EQ(writer.Print(), nullptr);
    EXPECT_EQ(writer.AddItem("i"), 1);
    ASSERT_TRUE(Succeeded(writer.Create()));
    EXPECT_EQ(writer.AddRoot("again"), 0);
    EXPECT_NE(Printed(writer).find("<again />"), std::string::npos);
}
