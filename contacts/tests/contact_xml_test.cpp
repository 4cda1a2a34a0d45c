#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts/CContactXmlBuilder.h"
#include "contacts/CSwapContact.h"

namespace {

JoinedField Field(int32_t kind, const std::string& value, bool live = true, int32_t type = 0,
                  const std::string& label = std::string()) {
    JoinedField f;
    f.kind = kind;
    f.value = value;
    f.live = live;
    f.type = type;
    f.label = label;
    return f;
}

JoinedContact LiveContact(std::vector<JoinedField> fields) {
    JoinedContact c;
    c.rawLive = true;
    c.rawId = 1;
    c.contactId = 1;
    c.fields = std::move(fields);
    return c;
}

struct Built {
    std::vector<std::string> documents;
    CSwapContact lookup;
    CContactXmlBuilder builder{&lookup, [this](const char* xml) { documents.emplace_back(xml); }};
};

const char* const kHead = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n";

// The leaf line of the only item of a one-field contact.
std::string OnlyItem(const JoinedField& field) {
    Built b;
    b.builder.ProcessContact(LiveContact({field}));
    if (b.documents.size() != 1) return "<none>";
    const std::string& doc = b.documents[0];
    size_t start = doc.find('\n', doc.find("<contact")) + 1;
    size_t end = doc.find("</contact>");
    return doc.substr(start, end - start);
}

}  // namespace

TEST(ContactXmlTest, GoldenDocument) {
    JoinedField name = Field(FIELD_NAME, "Ann & Co <1>");
    JoinedField photo = Field(FIELD_PHOTO, "");
    photo.bytes = {1, 2, 3, 4};
    JoinedField phone = Field(FIELD_PHONE, "555-0101", true, 2);
    phone.normalizedNumber = "+15550101";
    JoinedField custom = Field(FIELD_PHONE, "555-0199", false, 0, "Work line");
    JoinedField org = Field(FIELD_ORGANIZATION, "Acme", true, 1);
    org.title = "Engineer";
    JoinedField member = Field(FIELD_GROUP_MEMBERSHIP, "3");
    member.groups = {{"Friends", true, 0}, {"Old", true, 1}};
    Built b;
    b.builder.ProcessContact(LiveContact({name, photo, phone, custom, org, member}));
    ASSERT_EQ(b.documents.size(), 1u);
    EXPECT_EQ(b.documents[0], std::string(kHead) +
                                  "<contact deleted=\"0\">\n"
                                  "    <name deleted=\"0\">\n"
                                  "        <value res=\"4097\">Ann &amp; Co &lt;1&gt;</value>\n"
                                  "    </name>\n"
                                  "    <photo deleted=\"0\">\n"
                                  "        <value res=\"4353\" length=\"4\">AQIDBA==</value>\n"
                                  "    </photo>\n"
                                  "    <phone deleted=\"0\">\n"
                                  "        <number res=\"4866\">555-0101</number>\n"
                                  "    </phone>\n"
                                  "    <phone deleted=\"1\">\n"
                                  "        <number res=\"Work line\" type=\"string\">555-0199</number>\n"
                                  "    </phone>\n"
                                  "    <organization deleted=\"0\">\n"
                                  "        <name res=\"5633\">Acme</name>\n"
                                  "    </organization>\n"
                                  "    <organization deleted=\"0\">\n"
                                  "        <title res=\"5889\">Engineer</title>\n"
                                  "    </organization>\n"
                                  "    <group_membership deleted=\"0\">\n"
                                  "        <title res=\"6401\">Friends</title>\n"
                                  "    </group_membership>\n"
                                  "    <group_membership deleted=\"1\">\n"
                                  "        <title res=\"6401\">Old</title>\n"
                                  "    </group_membership>\n"
                                  "</contact>\n");
    // The lookup got both numbers of the first phone, and the custom one, under the name.
    SwapContactEntry entry;
    ASSERT_TRUE(b.lookup.Find("+15550101", &entry));
    EXPECT_EQ(entry.name, "Ann & Co <1>");
    EXPECT_EQ(entry.live, 1);
    EXPECT_TRUE(b.lookup.Find("5550199", &entry));
}

TEST(ContactXmlTest, LiveContactWithOneRecoveredPhone) {
    // The contact is as live as its raw contact: the recovered number is marked on its item.
    Built b;
    b.builder.ProcessContact(LiveContact({Field(FIELD_NAME, "Bo"), Field(FIELD_PHONE, "111", true, 1),
                                          Field(FIELD_PHONE, "222", false, 1)}));
    ASSERT_EQ(b.documents.size(), 1u);
    const std::string& d = b.documents[0];
    EXPECT_NE(d.find("<contact deleted=\"0\">"), std::string::npos);
    EXPECT_NE(d.find("<phone deleted=\"0\">\n        <number res=\"4865\">111"), std::string::npos);
    EXPECT_NE(d.find("<phone deleted=\"1\">\n        <number res=\"4865\">222"), std::string::npos);
    EXPECT_NE(d.find("<name deleted=\"0\">"), std::string::npos);
}

TEST(ContactXmlTest, LiveUndeletedContactIsNotMarked) {
    Built b;
    b.builder.ProcessContact(LiveContact({Field(FIELD_NAME, "Bo"), Field(FIELD_NOTE, "hi")}));
    ASSERT_EQ(b.documents.size(), 1u);
    EXPECT_NE(b.documents[0].find("<contact deleted=\"0\">"), std::string::npos);
    EXPECT_NE(b.documents[0].find("<note deleted=\"0\">\n        <title res=\"7681\">hi</title>"), std::string::npos);

    JoinedContact deleted = LiveContact({Field(FIELD_NOTE, "hi")});
    deleted.rawDeleted = 1;
    b.builder.ProcessContact(deleted);
    ASSERT_EQ(b.documents.size(), 2u);
    EXPECT_NE(b.documents[1].find("<contact deleted=\"1\">"), std::string::npos);
    EXPECT_EQ(b.documents[1].find("<name"), std::string::npos);  // no name row, no name item
}

TEST(ContactXmlTest, NamesDecideHowManyContacts) {
    Built b;
    // Two different names: two contacts with the same fields.
    b.builder.ProcessContact(LiveContact({Field(FIELD_NAME, "A"), Field(FIELD_NAME, "B"), Field(FIELD_PHONE, "123")}));
    ASSERT_EQ(b.documents.size(), 2u);
    EXPECT_NE(b.documents[0].find(">A</value>"), std::string::npos);
    EXPECT_NE(b.documents[1].find(">B</value>"), std::string::npos);
    EXPECT_NE(b.documents[1].find(">123</number>"), std::string::npos);

    // A recovered and a live row with the same name: one contact, named from the live row.
    b.documents.clear();
    b.builder.ProcessContact(LiveContact({Field(FIELD_NAME, "A", false), Field(FIELD_NAME, "A", true)}));
    ASSERT_EQ(b.documents.size(), 1u);
    EXPECT_NE(b.documents[0].find("<contact deleted=\"0\">"), std::string::npos);

    // No rows at all: nothing.
    b.documents.clear();
    b.builder.ProcessContact(LiveContact({}));
    EXPECT_TRUE(b.documents.empty());
}

TEST(ContactXmlTest, CollectStopsAtFirstOtherKind) {
    std::vector<JoinedField> fields = {Field(FIELD_NAME, "A"), Field(FIELD_PHONE, "1"), Field(FIELD_NAME, "B")};
    std::vector<const JoinedField*> names;
    EXPECT_EQ(CContactXmlBuilder::CollectNameRows(fields, names), 1u);
}

TEST(ContactXmlTest, ResCodesByType) {
    EXPECT_EQ(OnlyItem(Field(FIELD_PHONE, "1", true, 7)), "    <phone deleted=\"0\">\n        <number res=\"4871\">1</number>\n    </phone>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_PHONE, "1", true, 0)), "    <phone deleted=\"0\">\n        <number res=\"4871\">1</number>\n    </phone>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_PHONE, "1", true, 20)), "    <phone deleted=\"0\">\n        <number res=\"4884\">1</number>\n    </phone>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_SIP_ADDRESS, "s", true, 0)), "    <sip_address deleted=\"0\">\n        <address res=\"7424\">s</address>\n    </sip_address>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_SIP_ADDRESS, "s", true, 2)), "    <sip_address deleted=\"0\">\n        <address res=\"7427\">s</address>\n    </sip_address>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_SIP_ADDRESS, "s", true, 3)), "    <sip_address deleted=\"0\">\n        <address res=\"7426\">s</address>\n    </sip_address>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_NICKNAME, "n", true, 0)), "    <nickname deleted=\"0\">\n        <value res=\"4608\">n</value>\n    </nickname>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_NICKNAME, "n", true, 9)), "    <nickname deleted=\"0\">\n        <value res=\"4610\">n</value>\n    </nickname>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_EMAIL, "e", true, 4)), "    <email deleted=\"0\">\n        <address res=\"5124\">e</address>\n    </email>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_EMAIL, "e", true, 0, "Mine")), "    <email deleted=\"0\">\n        <address res=\"Mine\" type=\"string\">e</address>\n    </email>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_POSTAL, "p", true, 2)), "    <postal_address deleted=\"0\">\n        <address res=\"6146\">p</address>\n    </postal_address>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_POSTAL, "p", true, 3)), "    <postal_address deleted=\"0\">\n        <address res=\"6147\">p</address>\n    </postal_address>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_CONTACT_EVENT, "2001-02-03", true, 3)), "    <contact_event deleted=\"0\">\n        <date res=\"6659\">2001-02-03</date>\n    </contact_event>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_CONTACT_EVENT, "d", true, 2)), "    <contact_event deleted=\"0\">\n        <date res=\"6658\">d</date>\n    </contact_event>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_WEBSITE, "u", true, 7)), "    <website deleted=\"0\">\n        <url res=\"6919\">u</url>\n    </website>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_WEBSITE, "u", true, 1)), "    <website deleted=\"0\">\n        <url res=\"6913\">u</url>\n    </website>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_ORGANIZATION, "c", true, 2)), "    <organization deleted=\"0\">\n        <name res=\"5634\">c</name>\n    </organization>\n");
    EXPECT_EQ(OnlyItem(Field(FIELD_IDENTITY, "x")), "");
}

TEST(ContactXmlTest, ImByProtocol) {
    JoinedField im = Field(FIELD_IM, "h");
    im.protocol = 3;
    EXPECT_EQ(OnlyItem(im), "    <im deleted=\"0\">\n        <value res=\"5380\">h</value>\n    </im>\n");
    im.protocol = -1;
    im.customProtocol = "Tox";
    EXPECT_EQ(OnlyItem(im), "    <im deleted=\"0\">\n        <value res=\"Tox\" type=\"string\">h</value>\n    </im>\n");
    im.customProtocol.clear();
    EXPECT_EQ(OnlyItem(im), "    <im deleted=\"0\">\n        <value res=\"5386\">h</value>\n    </im>\n");
}

TEST(ContactXmlTest, SmallPhotosAlwaysGetTheirEncoding) {
    for (size_t n : {1u, 2u, 4u, 5u, 54u, 55u}) {
        JoinedField photo = Field(FIELD_PHOTO, "");
        photo.bytes.assign(n, 0xAB);
        std::string item = OnlyItem(photo);
        EXPECT_NE(item.find("length=\"" + std::to_string(n) + "\""), std::string::npos) << n;
        EXPECT_NE(item.find("res=\"4353\""), std::string::npos) << n;
    }
    JoinedField empty = Field(FIELD_PHOTO, "");
    EXPECT_EQ(OnlyItem(empty), "    <photo deleted=\"0\" />\n");
}

TEST(ContactXmlTest, GroupMarksFollowTheGroupRow) {
    JoinedField member = Field(FIELD_GROUP_MEMBERSHIP, "5");
    Built none;
    none.builder.ProcessContact(LiveContact({member}));
    ASSERT_EQ(none.documents.size(), 1u);
    EXPECT_EQ(none.documents[0].find("group_membership"), std::string::npos);  // attached to no group

    member.groups = {{"Gone", false, 0}};
    Built b;
    b.builder.ProcessContact(LiveContact({member}));
    EXPECT_NE(b.documents[0].find("<contact deleted=\"0\">"), std::string::npos);
    EXPECT_NE(b.documents[0].find("<group_membership deleted=\"1\">"), std::string::npos);

    // A recovered membership to a live group marks the item alone, as above.
    JoinedField recovered = Field(FIELD_GROUP_MEMBERSHIP, "5", false);
    recovered.groups = {{"Live", true, 0}};
    Built c;
    c.builder.ProcessContact(LiveContact({recovered}));
    EXPECT_NE(c.documents[0].find("<contact deleted=\"0\">"), std::string::npos);
    EXPECT_NE(c.documents[0].find("<group_membership deleted=\"1\">"), std::string::npos);
}

TEST(ContactXmlTest, LookupNeedsAName) {
    Built b;
    b.builder.ProcessContact(LiveContact({Field(FIELD_PHONE, "5551234"), Field(FIELD_EMAIL, "a@b.cd")}));
    SwapContactEntry entry;
    EXPECT_FALSE(b.lookup.Find("5551234", &entry));
    EXPECT_FALSE(b.lookup.Find("a@b.cd", &entry));
    JoinedContact named = LiveContact({Field(FIELD_NAME, "Cy", false), Field(FIELD_EMAIL, "a@b.cd")});
    b.builder.ProcessContact(named);
    ASSERT_TRUE(b.lookup.Find("a@b.cd", &entry));
    EXPECT_EQ(entry.name, "Cy");
    EXPECT_EQ(entry.live, 0);
}
