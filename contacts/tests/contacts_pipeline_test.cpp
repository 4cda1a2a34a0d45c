// The recovery object, the join, the per-contact XML and the data objects together over the
// sample phone's contacts database, its tables read as the SQLite library itself reads them (the
// live rows at the last commit, the log applied).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "contacts/CAndroidContactRecovery.h"
#include "contacts/CContactData.h"
#include "contacts/CContactXmlBuilder.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/CSwapContact.h"
#include "contacts/JoinedContactFromRows.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"
#include "testing/LiveSQLite.h"

namespace {

class OracleRecovery : public CAndroidContactRecovery {
public:
    explicit OracleRecovery(const std::string& database) : database_(database) {}
    ISQLiteEngine* CreateEngine() override { return new LiveSQLiteEngine(database_); }

private:
    std::string database_;
};

struct Contact {
    std::string name;
    int deleted = 0;
    std::multiset<std::string> items;  // "resid|label|value" of every walked item
    bool photo = false;
};

class ContactsPipelineTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        const char* root = std::getenv("RK_TESTDATA");
        std::string phone = std::string(root ? root : "../testdata") + "/" + GetParam();
        std::string db = phone + "/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
        ASSERT_GT(platform::FileSize(db), 0) << "no sample phone at " << phone;
        char name[] = "/tmp/rk_pipeline_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        temp_ = name;
        // A scratch copy: the library may write the log's index beside it.
        ASSERT_TRUE(platform::CopyFile(db, temp_ + "/contacts2.db"));
        if (platform::FileSize(db + "-wal") >= 0) {
            ASSERT_TRUE(platform::CopyFile(db + "-wal", temp_ + "/contacts2.db-wal"));
        }
        legacy_ = GetParam() == "sample_phone_legacy";

        OracleRecovery recovery(temp_ + "/contacts2.db");
        VersionPair version{legacy_ ? 2 : 4, legacy_ ? 3 : 4};
        ASSERT_TRUE(Succeeded(recovery.Initialize(L"unused", &version, nullptr, nullptr)));
        ASSERT_TRUE(Succeeded(recovery.Recover()));
        CContactXmlBuilder builder(&lookup_, [this](const char* xml) { documents_.emplace_back(xml); });
        for (auto& entry : *recovery.GetResult()) {
            auto* raw = dynamic_cast<CRawContactsTableRow*>(entry.first);
            if (raw && !entry.second.empty()) builder.ProcessContact(JoinedContactFromRows(*raw, entry.second));
        }
        recovery.Uninitialize();
        for (const std::string& doc : documents_) {
            CContactData* data = CContactData::FromXml(doc.c_str());
            ASSERT_NE(data, nullptr);
            Contact c;
            if (IConactItem* item = data->GetName()) {
                c.name = item->GetValue();
                item->Release();
            }
            if (IConactItem* photo = data->GetPhoto()) {
                c.photo = photo->GetKind() == 2 && photo->GetLength() > 100 &&
                          static_cast<unsigned char>(photo->GetValue()[0]) == 0xFF;
                photo->Release();
            }
            c.deleted = data->IsDeleted();
            for (IConactItem* item = data->FirstItem(); item; item = data->NextItem()) {
                c.items.insert(std::to_string(item->GetResId()) + "|" + item->GetLabel() + "|" + item->GetValue());
                item->Release();
            }
            contacts_.push_back(c);
            data->Release();
        }
    }
    void TearDown() override {
        if (!temp_.empty()) std::system(("rm -rf " + temp_).c_str());
    }

    std::vector<const Contact*> Named(const std::string& name) {
        std::vector<const Contact*> found;
        for (const Contact& c : contacts_)
            if (c.name == name) found.push_back(&c);
        return found;
    }

    std::string temp_;
    bool legacy_ = false;
    CSwapContact lookup_;
    std::vector<std::string> documents_;
    std::vector<Contact> contacts_;
};

}  // namespace

TEST_P(ContactsPipelineTest, AliceHasEveryKind) {
    auto alice = Named("Alice Anders");
    ASSERT_EQ(alice.size(), 1u);
    const Contact& c = *alice[0];
    EXPECT_EQ(c.deleted, legacy_ ? 0 : 0);
    EXPECT_TRUE(c.photo);
    const std::multiset<std::string> expected{
        "4609||Ali",                                   // nickname, default
        "4866||+1 650-555-0101",                       // mobile
        "4867||(650) 555-0111",                        // work
        "-1|Boat|650-555-0199",                        // custom label
        "5121||alice@example.com",
        "5122||alice.anders@mail.acme.example",
        "5380||alice.anders",                          // Skype
        "-1|Matrix|alice#42",                          // custom protocol
        "5633||Acme Corp",
        "5889||Chief Engineer",
        "6145||12 Harbour Road\nPort Town 4021\nNew Zealand",
        "6401||My Contacts",
        "6401||Family",
        "6659||1984-07-21",                            // birthday
        "6913||https://alice.example.com",
        "7425||alice@sip.example.com",
        "7681||Met at the conference; likes <tea> & cake",
    };
    EXPECT_EQ(c.items, expected);
}

TEST_P(ContactsPipelineTest, LiveContactsAndNames) {
    for (const char* name : {"Bob Brown", "Carol Chen", "Dave Dunn", "Henry Holt"}) {
        auto found = Named(name);
        ASSERT_EQ(found.size(), 1u) << name;
        EXPECT_EQ(found[0]->deleted, 0) << name;
    }
    auto eve = Named("Eve Evans");  // marked deleted, rows still live
    ASSERT_EQ(eve.size(), 1u);
    EXPECT_EQ(eve[0]->deleted, 1);
    auto grace = Named("Grace Green");  // rows without their raw contact
    ASSERT_EQ(grace.size(), 1u);
    EXPECT_EQ(grace[0]->deleted, 1);
    EXPECT_EQ(grace[0]->items.count("4867||+61 2 9876 5432"), 1u);
    auto dave = Named("Dave Dunn");
    EXPECT_EQ(dave[0]->items.count("4609||DD"), 1u);  // nickname without type
    EXPECT_EQ(dave[0]->items.count("5889||Night Porter"), 1u);

    SwapContactEntry entry;
    ASSERT_TRUE(lookup_.Find("+8613800138000", &entry));
    EXPECT_EQ(entry.name, "Carol Chen");
    ASSERT_TRUE(lookup_.Find("1252013912345678", &entry));
    EXPECT_EQ(entry.name, "Dave Dunn");
    ASSERT_TRUE(lookup_.Find("bob.brown@example.net", &entry));
    EXPECT_EQ(entry.name, "Bob Brown");
    if (!legacy_) {
        auto jack = Named("Jack Jones");
        ASSERT_EQ(jack.size(), 1u);
        EXPECT_EQ(jack[0]->items.count("-1|Office|0171 555 0110"), 1u);
    }
}

TEST_P(ContactsPipelineTest, EachContactOnce) {
    std::map<std::string, int> names;
    for (const Contact& c : contacts_) ++names[c.name];
    for (const auto& n : names) EXPECT_EQ(n.second, 1) << n.first;
}

INSTANTIATE_TEST_SUITE_P(SamplePhones, ContactsPipelineTest,
                         ::testing::Values("sample_phone", "sample_phone_nosd", "sample_phone_legacy"));
