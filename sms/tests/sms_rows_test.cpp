#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sms/CAddrTableRow.h"
#include "sms/CPartTableRow.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/CThreadsTableRow.h"
#include "sms/CWordsContentTableRow.h"
#include "sms/RowsFetchedAhead.h"
#include "sms/SmsContentTypes.h"
#include "sms/SmsRowParsers.h"
#include "sms/SmsRowStore.h"
#include "sms/SmsTextConversion.h"

namespace {

// Values of one record, with the text bytes kept alive beside them.
class Record {
public:
    Record& Int(int64_t value) {
        values_.push_back(FieldValue::MakeInteger(value));
        return *this;
    }
    Record& Text(const std::string& text) {
        texts_.push_back(std::make_unique<std::string>(text));
        values_.push_back(FieldValue::MakeText(texts_.back()->data(), static_cast<uint32_t>(text.size())));
        return *this;
    }
    Record& Null() {
        values_.push_back(FieldValue::MakeNull());
        return *this;
    }
    template <class Row>
    std::unique_ptr<Row> Build(const SmsTableLayout& layout, bool live = true) const {
        EXPECT_EQ(values_.size(), layout.count) << layout.table;
        CTableRow* row = layout.build(values_.data(), live);
        Row* typed = dynamic_cast<Row*>(row);
        if (row && !typed) row->Release();
        return std::unique_ptr<Row>(typed);
    }

private:
    std::vector<std::unique_ptr<std::string>> texts_;
    std::vector<FieldValue> values_;
};

Record Sms(const std::string& address, const std::string& body, int64_t type = 1) {
    Record r;
    r.Int(1).Int(2).Text(address).Int(1700000000123LL).Int(type).Text(body);
    return r;
}

Record Part(const std::string& ct, const std::string& cl, const std::string& data, const std::string& text) {
    Record r;
    r.Int(5).Int(9).Int(0).Text(ct).Int(106);
    cl.empty() ? r.Null() : r.Text(cl);
    data.empty() ? r.Null() : r.Text(data);
    text.empty() ? r.Null() : r.Text(text);
    r.Null().Null().Null();
    return r;
}

}  // namespace

TEST(SmsRowsTest, SmsRowsKeepOddAddressesEmptyAndDropBlankBodies) {
    auto row = Sms("+1 (555) 010-0000", "hi &< there").Build<CSmsTableRow>(kSmsLayout);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->id, 1);
    EXPECT_EQ(row->threadId, 2);
    EXPECT_EQ(row->date, 1700000000);
    EXPECT_EQ(row->body, "hi &< there");
    EXPECT_EQ(row->live, 1);
    EXPECT_EQ(row->ToString(), "RECV(SMS): hi &< there");

    // A sender's name is the partner's address; a text that is no address is not kept as one.
    EXPECT_EQ(Sms("AcmeTel", "x").Build<CSmsTableRow>(kSmsLayout)->address, "AcmeTel");
    EXPECT_EQ(Sms("Call me when you can", "x").Build<CSmsTableRow>(kSmsLayout)->address, "");
    EXPECT_EQ(Sms("a@b.com", "x").Build<CSmsTableRow>(kSmsLayout)->address, "a@b.com");

    EXPECT_FALSE(Sms("1", " \r\n \t").Build<CSmsTableRow>(kSmsLayout));
    EXPECT_FALSE(Sms("1", "").Build<CSmsTableRow>(kSmsLayout));
    EXPECT_FALSE(Sms("1", "x", 7).Build<CSmsTableRow>(kSmsLayout));
    EXPECT_FALSE(Sms("1", "x", -1).Build<CSmsTableRow>(kSmsLayout));
    EXPECT_EQ(Sms("1", "x", 5).Build<CSmsTableRow>(kSmsLayout)->ToString(), "SEND(SMS): x");
}

TEST(SmsRowsTest, PartnerAddresses) {
    const std::pair<const char*, bool> cases[] = {
        {"+16505550101", true}, {"info@bank.example", true}, {"a@b.museum", true}, {"x.y@mail.example.org", true},
        {"AcmeTel", true}, {"Info-Svc", true}, {"Mom", true}, {"\xE4\xB8\xAD\xE5\x9B\xBD\xE7\xA7\xBB\xE5\x8A\xA8", true},
        {"", false}, {"   ", false}, {"123456789012x", false}, {"A sender too long", false}, {" Acme", false},
        {"a@b", false}, {"a@@b.example", false}, {"a b@c.example", false},
        {"Ac\x01me", false}, {"Acme\xE2\x80\xAE", false}, {"Acme\xFF", false}, {"<Acme>", false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsMessageAddress(c.first), c.second) << c.first;
}

TEST(SmsRowsTest, ThreadsParseTheirRecipients) {
    Record good;
    good.Int(4).Int(1700000000999LL).Text("5 3 5").Text("snip").Int(0);
    auto row = good.Build<CThreadsTableRow>(kThreadsLayout);
    ASSERT_TRUE(row);
    EXPECT_EQ(row->recipientIds, (std::vector<int64_t>{3, 5}));
    EXPECT_EQ(row->date, 1700000000);

    Record letter;
    letter.Int(4).Int(0).Text("3 x5").Text("").Int(0);
    EXPECT_FALSE(letter.Build<CThreadsTableRow>(kThreadsLayout));
    Record badType;
    badType.Int(4).Int(0).Text("3").Text("").Int(2);
    EXPECT_FALSE(badType.Build<CThreadsTableRow>(kThreadsLayout));

    std::vector<int64_t> ids;
    EXPECT_FALSE(ParseRecipientIds(ids, "1 12345678901234567890"));
    EXPECT_FALSE(ParseRecipientIds(ids, "9999999999999999999"));  // 19 digits, above the 64-bit range
    EXPECT_TRUE(ParseRecipientIds(ids, "  10   9 "));
    EXPECT_EQ(ids, (std::vector<int64_t>{10, 9}));  // sorted as strings
}

TEST(SmsRowsTest, AddrAcceptsTheInsertTokenAndKnownTypesOnly) {
    Record token;
    token.Int(1).Int(2).Int(0).Text("insert-address-token").Int(151).Int(106);
    EXPECT_TRUE(token.Build<CAddrTableRow>(kAddrLayout));
    Record word;
    word.Int(1).Int(2).Int(0).Text("Call me when you can").Int(151).Int(106);
    EXPECT_FALSE(word.Build<CAddrTableRow>(kAddrLayout));
    Record type;
    type.Int(1).Int(2).Int(0).Text("+15550001").Int(131).Int(106);
    EXPECT_FALSE(type.Build<CAddrTableRow>(kAddrLayout));
}

TEST(SmsRowsTest, PduSubjectsDecodeByTheirCharsetWithoutLosingTheMessage) {
    auto pdu = [](const FieldValue& sub, const FieldValue& cs) {
        std::vector<FieldValue> v{FieldValue::MakeInteger(3), FieldValue::MakeInteger(4),
                                  FieldValue::MakeInteger(1700000000), FieldValue::MakeInteger(1), sub, cs,
                                  FieldValue::MakeText("application/vnd.wap.multipart.related", 37)};
        return std::unique_ptr<CPduTableRow>(static_cast<CPduTableRow*>(kPduLayout.build(v.data(), false)));
    };
    auto none = pdu(FieldValue::MakeNull(), FieldValue::MakeNull());
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->idKnown);
    EXPECT_EQ(none->subject, "");
    EXPECT_EQ(none->subjectCharset, 106);
    EXPECT_EQ(none->date, 1700000000);
    EXPECT_EQ(none->multipartKind, 1);
    EXPECT_EQ(none->ToString(), "RECV(MMS): ");

    auto broken = pdu(FieldValue::MakeText("\xff\xfe", 2), FieldValue::MakeInteger(106));
    ASSERT_TRUE(broken);  // kept, without a subject
    EXPECT_EQ(broken->subject, "");

    auto latin = pdu(FieldValue::MakeText("Gr\xfc\xdf", 4), FieldValue::MakeInteger(4));
    ASSERT_TRUE(latin);
    EXPECT_EQ(latin->subject, "Gr\xc3\xbc\xc3\x9f");

    std::vector<FieldValue> wrongKind{FieldValue::MakeInteger(3), FieldValue::MakeInteger(4),
                                      FieldValue::MakeInteger(0), FieldValue::MakeInteger(1),
                                      FieldValue::MakeNull(),     FieldValue::MakeNull(),
                                      FieldValue::MakeText("text/plain", 10)};
    EXPECT_EQ(kPduLayout.build(wrongKind.data(), true), nullptr);
}

TEST(SmsRowsTest, CharsetsConvertThroughTheirNames) {
    EXPECT_EQ(ConvertToUtf8("\xc4\xe3\xba\xc3", 4, 2025), "\xe4\xbd\xa0\xe5\xa5\xbd");  // GB2312
    EXPECT_EQ(ConvertToUtf8("\xc4\xe3\xba\xc3", 4, 113), "\xe4\xbd\xa0\xe5\xa5\xbd");   // GBK
    EXPECT_EQ(ConvertToUtf8("\xa7\x41", 2, 2026), "\xe4\xbd\xa0");                      // Big5
    EXPECT_EQ(ConvertToUtf8("\x82\xa0", 2, 17), "\xe3\x81\x82");                        // Shift_JIS
    EXPECT_EQ(ConvertToUtf8("\x00\x41\x00\xe9", 4, 1000), "A\xc3\xa9");                 // UCS-2
    EXPECT_EQ(ConvertToUtf8("\xff\xfe\x41\x00", 4, 1015), "A");                        // UTF-16 with BOM
    EXPECT_EQ(ConvertToUtf8("abc\x80", 4, 3), "abc");                                   // ASCII, bad byte
    EXPECT_EQ(ConvertToUtf8("ok\xc3\xa9\xff", 5, 0), "ok\xc3\xa9");  // unknown set: UTF-8, cut
    EXPECT_EQ(ToTextInCharset(FieldValue::MakeInteger(5), 106), "");
}

TEST(SmsRowsTest, PartsClassifyAndNeedContent) {
    EXPECT_EQ(ClassifyContentType("image/jpeg"), 2);
    EXPECT_EQ(ClassifyContentType("application/ogg"), 3);
    EXPECT_EQ(ClassifyContentType("text/x-vcard"), 0);
    EXPECT_EQ(ClassifyContentType("text/plain"), 1);
    EXPECT_EQ(ClassifyContentType("application/smil"), 6);
    EXPECT_EQ(ClassifyContentType("Image/jpeg"), -1);
    EXPECT_EQ(LookupMultipartKind("application/vnd.wap.multipart.mixed"), 0);
    EXPECT_EQ(LookupMultipartKind("multipart/mixed"), -1);

    EXPECT_FALSE(Part("model/x", "a", "/p", "").Build<CPartTableRow>(kPartLayout));
    auto text = Part("text/plain", "t.txt", "  ", "word").Build<CPartTableRow>(kPartLayout);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->text, "word");
    EXPECT_FALSE(Part("text/plain", "t.txt", " ", " ").Build<CPartTableRow>(kPartLayout));
    auto image = Part("image/png", "p.png", "/data/p", "").Build<CPartTableRow>(kPartLayout);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->contentClass, 2);
    EXPECT_EQ(image->ToString(), "p.png/data/p");
}

TEST(SmsRowsTest, PartsWithoutLocationFallBackToContentIdNameAndFileName) {
    Record r;
    r.Int(5).Int(9).Int(0).Text("image/jpeg").Int(106).Null().Text("/data/p").Null().Text("<img01>").Null().Null();
    auto part = r.Build<CPartTableRow>(kPartLayout);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->Location(), "img01");
    Record named;
    named.Int(5).Int(9).Int(0).Text("image/jpeg").Int(106).Null().Text("/data/p").Null().Null().Null().Text("f.jpg");
    ASSERT_TRUE(named.Build<CPartTableRow>(kPartLayout));
    EXPECT_EQ(named.Build<CPartTableRow>(kPartLayout)->Location(), "f.jpg");
    EXPECT_FALSE(Part("image/jpeg", "", "/data/p", "").Build<CPartTableRow>(kPartLayout));
}

TEST(SmsRowsTest, PartPathsAreUtf8WhateverTheCharset) {
    Record r;
    r.Int(5).Int(9).Int(0).Text("image/jpeg").Int(4).Text("p").Text("/data/b\xc3\xa4r").Null().Null().Null().Null();
    auto part = r.Build<CPartTableRow>(kPartLayout);
    ASSERT_TRUE(part);
    EXPECT_EQ(part->dataPath, "/data/b\xc3\xa4r");
}

TEST(SmsRowsTest, WordsRowsCheckTheirSource) {
    auto words = [](int64_t table, int64_t c0, int64_t source) {
        Record r;
        r.Int(1).Int(c0).Text("hello").Int(source).Int(table);
        return r.Build<CWordsContentTableRow>(kWordsContentLayout);
    };
    EXPECT_TRUE(words(2, 12, 10));
    EXPECT_FALSE(words(2, 10, 10));
    EXPECT_TRUE(words(1, 10, 10));
    EXPECT_FALSE(words(3, 10, 10));
}

TEST(SmsRowsTest, DuplicateRowsMergeIntoOneLiveRow) {
    SmsRowMap rows;
    SmsRowStore store(rows);
    store.Store(Sms("1", "x").Build<CSmsTableRow>(kSmsLayout, false).release());
    store.Store(Sms("1", "x").Build<CSmsTableRow>(kSmsLayout, true).release());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows.begin()->second->live, 1);
    store.Store(Sms("1", "y").Build<CSmsTableRow>(kSmsLayout, false).release());
    EXPECT_EQ(rows.size(), 2u);
    store.ReleaseAll();
}

TEST(SmsRowsTest, OnlyTheNewestRecoveredVersionOfAnMmsStays) {
    auto pdu = [](int64_t date, bool live) {
        auto* row = new CPduTableRow;
        row->id = 7;
        row->threadId = 3;
        row->date = date;
        row->live = live;
        return row;
    };
    SmsRowMap rows;
    SmsRowStore store(rows);
    store.Store(pdu(100, false));
    store.Store(pdu(200, false));
    store.Store(pdu(150, false));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(static_cast<CPduTableRow*>(rows.begin()->second)->date, 200);
    store.Store(pdu(50, true));
    EXPECT_EQ(rows.size(), 2u);
    store.ReleaseAll();

    // Versions are compared in the order they were filed: when the next view finds neither of a
    // live and a newer recovered version live, one dated between them takes the place of the
    // first and gives way to the second.
    store.Store(pdu(50, true));
    store.Store(pdu(200, false));
    for (auto& entry : rows) entry.second->live = 0;
    store.Store(pdu(120, false));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(static_cast<CPduTableRow*>(rows.begin()->second)->date, 200);
    store.ReleaseAll();

    // Recovered MMS whose ids were lost are different messages.
    for (int64_t date : {100, 200, 150}) {
        CPduTableRow* row = pdu(date, false);
        row->id = 0;
        row->idKnown = false;
        store.Store(row);
    }
    EXPECT_EQ(rows.size(), 3u);
    store.ReleaseAll();
}

TEST(SmsRowsTest, AddPartMergesRecoveredRepeats) {
    auto part = [](int64_t id, bool live, const std::string& text) {
        auto* row = new CPartTableRow;
        row->id = id;
        row->live = live;
        row->contentClass = 1;
        row->contentLocation = "text.txt";
        row->text = text;
        return std::unique_ptr<CPartTableRow>(row);
    };
    auto live = part(1, true, "hello world");
    auto same = part(2, false, "hello world");
    auto shorter = part(3, false, "hello");
    auto longer = part(4, false, "hello world, again");
    CPduTableRow pdu;
    pdu.AddPart(live.get());
    pdu.AddPart(same.get());
    pdu.AddPart(shorter.get());
    ASSERT_EQ(pdu.parts.size(), 1u);
    pdu.AddPart(longer.get());
    ASSERT_EQ(pdu.parts.size(), 1u);
    EXPECT_EQ(pdu.parts[0], longer.get());
    pdu.AddPart(nullptr);
    CSmsTableRow notAPart;
    pdu.AddPart(&notAPart);
    EXPECT_EQ(pdu.parts.size(), 1u);
}

TEST(SmsRowsTest, MessagesOrderByDateThenLiveFirst) {
    CSmsTableRow a, b;
    a.date = b.date = 10;
    a.live = 1;
    EXPECT_TRUE(MessageDateLess(&a, &b));
    EXPECT_FALSE(MessageDateLess(&b, &a));
    b.date = 5;
    EXPECT_TRUE(MessageDateLess(&b, &a));
    CPartTableRow other;
    EXPECT_TRUE(MessageDateLess(&a, &other));
    EXPECT_FALSE(MessageDateLess(&other, &a));
}

// Every row is handed over once and in order, whatever the list's length against the distance
// fetched ahead; a missing row is handed over too, but its text is never asked for.
TEST(SmsRowsTest, WalkFetchingAheadHandsOverEveryRowInOrder) {
    for (size_t count : {0, 1, 3, 4, 5, 8, 9, 17}) {
        std::vector<CSmsTableRow> rows(count);
        std::vector<CSmsTableRow*> list;
        for (size_t i = 0; i < count; ++i) list.push_back(i % 3 == 1 ? nullptr : &rows[i]);
        std::vector<CSmsTableRow*> seen;
        size_t texts = 0;
        ForEachRowFetchingAhead(list, [&](CSmsTableRow* row) { seen.push_back(row); },
                                [&](const CSmsTableRow* row) {
                                    EXPECT_NE(row, nullptr);
                                    ++texts;
                                    return row->body.data();
                                });
        EXPECT_EQ(seen, list) << count << " rows";
        EXPECT_LE(texts, count) << count << " rows";
    }
}
