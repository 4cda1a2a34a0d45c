#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/Base64.h"
#include "contacts/CContactData.h"

namespace {

struct ItemDeleter {
    void operator()(IConactItem* item) const { if (item) item->Release(); }
};
using Item = std::unique_ptr<IConactItem, ItemDeleter>;

struct DataDeleter {
    void operator()(IContactData* data) const { if (data) data->Release(); }
};
using Data = std::unique_ptr<IContactData, DataDeleter>;

Data Parse(const std::string& text) { return Data(CContactData::FromXml(text.c_str())); }

std::vector<std::string> WalkNames(IContactData* data) {
    std::vector<std::string> values;
    for (Item item(data->FirstItem()); item; item.reset(data->NextItem())) values.push_back(item->GetValue());
    return values;
}

const char* const kContact =
    "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
    "<contact deleted=\"0\">\n"
    "    <name deleted=\"0\"><value res=\"4097\">Ann Lee</value></name>\n"
    "    <phone deleted=\"0\"><number res=\"4866\">555-0101</number></phone>\n"
    "    <photo deleted=\"0\"><value res=\"4353\" length=\"3\">AQID</value></photo>\n"
    "    <email deleted=\"1\"><address res=\"Work line\" type=\"string\">ann@example.org</address></email>\n"
    "    <organization deleted=\"0\"><name res=\"5633\">acme ltd</name></organization>\n"
    "    <organization deleted=\"0\"><title res=\"5889\">engineer</title></organization>\n"
    "</contact>\n";

}  // namespace

TEST(ContactDataTest, WalkSkipsNameAndPhotoInDocumentOrder) {
    Data data = Parse(kContact);
    ASSERT_TRUE(data);
    EXPECT_EQ(WalkNames(data.get()),
              (std::vector<std::string>{"555-0101", "ann@example.org", "acme ltd", "engineer"}));
    EXPECT_EQ(data->NextItem(), nullptr);  // past the end stays there
    EXPECT_EQ(data->NextItem(), nullptr);
    EXPECT_EQ(data->IsDeleted(), 0);
}

TEST(ContactDataTest, NamedLookupsDoNotMoveTheCursor) {
    Data data = Parse(kContact);
    Item first(data->FirstItem());
    ASSERT_TRUE(first);
    Item name(data->GetName());
    ASSERT_TRUE(name);
    EXPECT_STREQ(name->GetValue(), "Ann Lee");
    EXPECT_EQ(name->GetResId(), 4097);
    EXPECT_EQ(name->GetLength(), 8);  // the text and its terminator
    Item phone(data->GetPhone());
    EXPECT_STREQ(phone->GetValue(), "555-0101");
    Item email(data->GetEmail());
    EXPECT_STREQ(email->GetValue(), "ann@example.org");
    Item next(data->NextItem());
    ASSERT_TRUE(next);
    EXPECT_STREQ(next->GetValue(), "ann@example.org");
}

TEST(ContactDataTest, ResCodesAndCustomLabels) {
    Data data = Parse(kContact);
    Item phone(data->GetPhone());
    EXPECT_EQ(phone->GetResId(), 4866);
    EXPECT_STREQ(phone->GetLabel(), "");
    EXPECT_EQ(phone->GetKind(), 1);
    EXPECT_EQ(phone->GetFlag(), 0);
    Item email(data->GetEmail());
    EXPECT_EQ(email->GetResId(), -1);
    EXPECT_STREQ(email->GetLabel(), "Work line");

    Data zero = Parse("<contact><phone><number res=\"0\">1</number></phone><x><y>t</y></x></contact>");
    Item z(zero->GetPhone());
    EXPECT_EQ(z->GetResId(), -1);
    EXPECT_STREQ(z->GetLabel(), "0");
    Item first(zero->FirstItem());
    Item noRes(zero->NextItem());
    ASSERT_TRUE(noRes);
    EXPECT_EQ(noRes->GetResId(), -1);
    EXPECT_STREQ(noRes->GetLabel(), "");
    EXPECT_EQ(noRes->GetFlag(), 0);
}

TEST(ContactDataTest, PhotoIsBinary) {
    Data data = Parse(kContact);
    Item photo(data->GetPhoto());
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->GetKind(), 2);
    EXPECT_EQ(photo->GetLength(), 3);
    ASSERT_NE(photo->GetValue(), nullptr);
    EXPECT_EQ(std::string(photo->GetValue(), 3), std::string("\x01\x02\x03", 3));
    EXPECT_STREQ(photo->GetRawText(), "AQID");
}

TEST(ContactDataTest, BinaryLengthIsBoundedByWhatDecodes) {
    // A length far beyond the text neither allocates that much nor reports it.
    Data big = Parse("<contact><photo><value res=\"4353\" length=\"2000000000\">AQID</value></photo></contact>");
    Item photo(big->GetPhoto());
    EXPECT_EQ(photo->GetKind(), 2);
    EXPECT_EQ(photo->GetLength(), 3);
    EXPECT_EQ(std::string(photo->GetValue(), 3), std::string("\x01\x02\x03", 3));
    // A shorter length keeps that many bytes.
    Data shortLength = Parse("<contact><photo><value length=\"2\">AQID</value></photo></contact>");
    Item two(shortLength->GetPhoto());
    EXPECT_EQ(two->GetLength(), 2);
    // Nothing decodes: no bytes, length 0.
    Data empty = Parse("<contact><photo><value length=\"5\">!!!</value></photo></contact>");
    Item none(empty->GetPhoto());
    EXPECT_EQ(none->GetKind(), 2);
    EXPECT_EQ(none->GetLength(), 0);
    EXPECT_EQ(none->GetValue(), nullptr);
    // Zero or negative lengths make a text item.
    Data negative = Parse("<contact><photo><value length=\"-4\">AQID</value></photo></contact>");
    Item text(negative->GetPhoto());
    EXPECT_EQ(text->GetKind(), 1);
    EXPECT_STREQ(text->GetValue(), "AQID");
    EXPECT_EQ(text->GetLength(), 5);
}

TEST(ContactDataTest, LargePhotoRoundTrips) {
    std::vector<unsigned char> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7);
    std::string xml = "<contact><photo><value length=\"10000\">" + Base64Encode(bytes.data(), bytes.size()) +
                      "</value></photo></contact>";
    Data data = Parse(xml);
    Item photo(data->GetPhoto());
    ASSERT_EQ(photo->GetLength(), 10000);
    EXPECT_EQ(std::vector<unsigned char>(photo->GetValue(), photo->GetValue() + 10000), bytes);
}

TEST(ContactDataTest, MalformedText) {
    Data data = Parse("<contact deleted=\"0\"><name>");
    ASSERT_TRUE(data);
    EXPECT_EQ(data->FirstItem(), nullptr);
    EXPECT_EQ(data->NextItem(), nullptr);
    EXPECT_EQ(data->GetName(), nullptr);
    EXPECT_EQ(data->IsDeleted(), 1);
    EXPECT_EQ(data->Matches(""), 1);
    EXPECT_EQ(data->Matches(nullptr), 1);
    EXPECT_EQ(data->Matches("A"), 0);
    EXPECT_EQ(CContactData::FromXml(nullptr), nullptr);
}

TEST(ContactDataTest, DeletedAttribute) {
    EXPECT_EQ(Parse("<contact/>")->IsDeleted(), 0);
    EXPECT_EQ(Parse("<contact deleted=\"1\"/>")->IsDeleted(), 1);
    EXPECT_EQ(Parse("<contact deleted=\"x\"/>")->IsDeleted(), 0);
}

TEST(ContactDataTest, MatchesUpperCaseKeywordInTextItemsOnly) {
    Data data = Parse(kContact);
    EXPECT_EQ(data->Matches("ANN LEE"), 1);   // name
    EXPECT_EQ(data->Matches("ACME"), 1);      // lower-case organization text
    EXPECT_EQ(data->Matches("0101"), 1);      // phone
    EXPECT_EQ(data->Matches("AQID"), 0);      // only in the photo's base64
    EXPECT_EQ(data->Matches("acme"), 0);      // the keyword is expected upper-cased
    EXPECT_EQ(data->Matches("NOBODY"), 0);
}

TEST(ContactDataTest, MatchesLeavesTheWalkWhereItWas) {
    Data data = Parse(kContact);
    Item first(data->FirstItem());
    EXPECT_STREQ(first->GetValue(), "555-0101");
    EXPECT_EQ(data->Matches("ENGINEER"), 1);
    EXPECT_EQ(data->Matches("NOBODY"), 0);
    Item second(data->NextItem());
    ASSERT_TRUE(second);
    EXPECT_STREQ(second->GetValue(), "ann@example.org");
}

TEST(ContactDataTest, DocumentTextIsKept) {
    CContactData* data = CContactData::FromXml(kContact);
    IContactData* asInterface = data;
    IContactDocument* document = dynamic_cast<IContactDocument*>(asInterface);
    ASSERT_NE(document, nullptr);
    EXPECT_STREQ(document->GetDocumentText(), kContact);
    asInterface->Release();
}

TEST(ContactDataTest, ValuesAreReadAsStored) {
    // As the writer prints them: blanks as they are, tabs and line breaks as references.
    Data data = Parse(
        "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<contact deleted=\"0\">\n"
        "    <name deleted=\"0\"><value res=\"4097\">  Sal   Space </value></name>\n"
        "    <note deleted=\"0\"><title res=\"7681\"> a  b&#x09;c&#x0D;&#x0A; d </title></note>\n</contact>\n");
    Item name(data->GetName());
    ASSERT_TRUE(name);
    EXPECT_STREQ(name->GetValue(), "  Sal   Space ");
    EXPECT_EQ(WalkNames(data.get()), (std::vector<std::string>{" a  b\tc\r\n d "}));
}

// Every cut of a document, and documents with odd attribute values, answer without harm.
TEST(ContactDataTest, DamagedDocumentsAreHandledSafely) {
    std::string full = kContact;
    std::vector<std::string> texts;
    for (size_t n = 0; n <= full.size(); n += 7) texts.push_back(full.substr(0, n));
    texts.push_back("<contact deleted=\"99999999999999999999\"><photo><value length=\"-2147483648\">x</value></photo></contact>");
    texts.push_back("<contact><photo><value length=\"2147483647\"></value></photo><a/><b><c res=\"\" type=\"\"/></b></contact>");
    texts.push_back("<a><b><c><d/></c></b></a>");
    for (const std::string& text : texts) {
        Data data = Parse(text);
        ASSERT_TRUE(data);
        data->IsDeleted();
        data->Matches("A");
        for (IConactItem* (IContactData::*get)() : {&IContactData::GetName, &IContactData::GetPhoto,
                                                    &IContactData::GetPhone, &IContactData::GetEmail}) {
            Item item(((*data).*get)());
            if (item) {
                if (item->GetKind() == 2 && item->GetValue()) {
                    EXPECT_GE(item->GetLength(), 0);
                } else if (item->GetKind() == 1) {
                    EXPECT_EQ(static_cast<size_t>(item->GetLength()), std::strlen(item->GetValue()) + 1);
                }
            }
        }
        int walked = 0;
        for (Item item(data->FirstItem()); item && walked < 100; item.reset(data->NextItem())) ++walked;
        EXPECT_LT(walked, 100);
    }
}
