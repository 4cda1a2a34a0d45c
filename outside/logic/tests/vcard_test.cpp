#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts/CContactData.h"
#include "contacts/CContactXmlBuilder.h"
#include "outside/logic/ContactsJob.h"

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

// The vCard of the one contact the builder makes of these fields.
std::string Card(std::vector<JoinedField> fields, bool rawLive = true) {
    JoinedContact contact;
    contact.rawLive = rawLive;
    contact.fields = std::move(fields);
    std::vector<std::string> documents;
    CContactXmlBuilder builder(nullptr, [&](const char* xml) { documents.emplace_back(xml); });
    builder.ProcessContact(contact);
    if (documents.size() != 1) return "<none>";
    CContactData* data = CContactData::FromXml(documents[0].c_str());
    std::string card = ContactToVCard(data, "Contact 0007");
    data->Release();
    return card;
}

}  // namespace

TEST(VCardTest, LiveContactWithEveryKind) {
    JoinedField org = Field(FIELD_ORGANIZATION, "Acme; Inc", true, 1);
    org.title = "Boss";
    JoinedField im = Field(FIELD_IM, "ann.s");
    im.protocol = 3;
    JoinedField member = Field(FIELD_GROUP_MEMBERSHIP, "1");
    member.groups = {{"Friends", true, 0}};
    JoinedField photo = Field(FIELD_PHOTO, "");
    photo.bytes = {0xFF, 0xD8, 0xFF, 0xE0};
    std::string card = Card({Field(FIELD_NAME, "Ann, Lee"), photo, Field(FIELD_NICKNAME, "Annie", true, 1),
                             Field(FIELD_PHONE, "555-0101", true, 2), Field(FIELD_PHONE, "555-0102", true, 0, "Work line"),
                             Field(FIELD_EMAIL, "ann@example.org", true, 2), im, org,
                             Field(FIELD_POSTAL, "1 Main St\nSpringfield", true, 1), member,
                             Field(FIELD_CONTACT_EVENT, "1990-05-01", true, 3), Field(FIELD_WEBSITE, "http://a.example", true, 1),
                             Field(FIELD_SIP_ADDRESS, "ann@sip.example", true, 1), Field(FIELD_NOTE, "likes tea")});
    EXPECT_EQ(card,
              "BEGIN:VCARD\r\n"
              "VERSION:3.0\r\n"
              "FN:Ann\\, Lee\r\n"
              "N:;Ann\\, Lee;;;\r\n"
              "NICKNAME:Annie\r\n"
              "TEL;TYPE=CELL:555-0101\r\n"
              "TEL;TYPE=X-WORK-LINE:555-0102\r\n"
              "EMAIL;TYPE=INTERNET,WORK:ann@example.org\r\n"
              "X-SKYPE-USERNAME:ann.s\r\n"
              "ORG:Acme\\; Inc\r\n"
              "TITLE:Boss\r\n"
              "ADR;TYPE=HOME:;;1 Main St\\nSpringfield;;;;\r\n"
              "BDAY:1990-05-01\r\n"
              "URL:http://a.example\r\n"
              "X-SIP:ann@sip.example\r\n"
              "NOTE:likes tea\r\n"
              "PHOTO;ENCODING=b;TYPE=JPEG:/9j/4A==\r\n"
              "CATEGORIES:Friends\r\n"
              "END:VCARD\r\n");
}

TEST(VCardTest, NameFromItsStructuredParts) {
    JoinedField name = Field(FIELD_NAME, "Dr. Alice B. Anders, Jr.");
    name.familyName = "Anders";
    name.givenName = "Alice";
    name.middleName = "B.";
    name.namePrefix = "Dr.";
    name.nameSuffix = "Jr.";
    std::string card = Card({name});
    EXPECT_NE(card.find("\r\nFN:Dr. Alice B. Anders\\, Jr.\r\nN:Anders;Alice;B.;Dr.;Jr.\r\n"), std::string::npos) << card;
    JoinedField partial = Field(FIELD_NAME, "Bob Brown");
    partial.familyName = "Brown;Jones";
    EXPECT_NE(Card({partial}).find("\r\nN:Brown\\;Jones;;;;\r\n"), std::string::npos);
}

TEST(VCardTest, DeletedContactIsMarked) {
    std::string card = Card({Field(FIELD_PHONE, "555-0199", false, 7)}, false);
    EXPECT_EQ(card,
              "BEGIN:VCARD\r\n"
              "VERSION:3.0\r\n"
              "FN:555-0199\r\n"
              "N:;555-0199;;;\r\n"
              "TEL;TYPE=VOICE:555-0199\r\n"
              "CATEGORIES:Deleted\r\n"
              "X-RELIKORDA-DELETED:TRUE\r\n"
              "END:VCARD\r\n");
    EXPECT_NE(Card({Field(FIELD_NOTE, "n")}).find("FN:Contact 0007\r\n"), std::string::npos);
}

TEST(VCardTest, LongLinesAreFoldedOnCharacterBoundaries) {
    std::string note;
    for (int i = 0; i < 40; ++i) note += "\xC3\xA9";  // 80 bytes of two-byte characters
    std::string card = Card({Field(FIELD_NAME, "X"), Field(FIELD_NOTE, note)});
    size_t start = card.find("NOTE:");
    ASSERT_NE(start, std::string::npos);
    std::string unfolded;
    size_t pos = start;
    while (true) {
        size_t end = card.find("\r\n", pos);
        std::string line = card.substr(pos, end - pos);
        EXPECT_LE(line.size(), 75u);
        // No line starts inside a character.
        if (pos != start) {
            ASSERT_EQ(line[0], ' ');
            EXPECT_NE(static_cast<unsigned char>(line[1]) & 0xC0, 0x80);
            unfolded += line.substr(1);
        } else {
            unfolded += line;
        }
        pos = end + 2;
        if (card[pos] != ' ') break;
    }
    EXPECT_EQ(unfolded, "NOTE:" + note);
}

TEST(VCardTest, PhotoOfAnyFormatIsKept) {
    JoinedField photo = Field(FIELD_PHOTO, "");
    photo.bytes.assign(100, 7);
    std::string card = Card({Field(FIELD_NAME, "P"), photo});
    EXPECT_NE(card.find("PHOTO;ENCODING=b:BwcH"), std::string::npos);
}

TEST(VCardTest, TextIsKeptAsStored) {
    // Blanks in runs and at both ends, and tabs, stay; line breaks of every form are escaped ones.
    const struct {
        const char* stored;
        const char* written;
    } cases[] = {
        {"a  b", "a  b"},
        {"  lead and trail  ", "  lead and trail  "},
        {"tab\there", "tab\there"},
        {"one\r\ntwo\nthree\rfour", "one\\ntwo\\nthree\\nfour"},
        {" a;b,c\\d ", " a\\;b\\,c\\\\d "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        std::string card = Card({Field(FIELD_NAME, c.stored), Field(FIELD_NOTE, c.stored)});
        EXPECT_NE(card.find(std::string("\r\nFN:") + c.written + "\r\n"), std::string::npos) << card;
        EXPECT_NE(card.find(std::string("\r\nNOTE:") + c.written + "\r\n"), std::string::npos) << card;
    }
}
