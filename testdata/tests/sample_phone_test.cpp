// The sample phones hold what their manifests say, and the cases later tests rely on.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace {
const std::string kContacts = "/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
const std::string kSms = "/fs/data/data/com.android.providers.telephony/databases/mmssms.db";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Holds(const std::string& path, const std::string& piece) {
    return ReadAll(path).find(piece) != std::string::npos;
}

// A manifest: header names and rows of escaped values.
struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;

    size_t Column(const std::string& name) const {
        for (size_t i = 0; i < columns.size(); ++i)
            if (columns[i] == name) return i;
        ADD_FAILURE() << "no column " << name;
        return 0;
    }
    // The rows whose column has the value.
    std::vector<std::vector<std::string>> Where(const std::string& name, const std::string& value) const {
        std::vector<std::vector<std::string>> found;
        size_t c = Column(name);
        for (const auto& row : rows)
            if (c < row.size() && row[c] == value) found.push_back(row);
        return found;
    }
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

Table Load(const std::string& path) {
    Table table;
    std::ifstream in(path);
    EXPECT_TRUE(in.good()) << path;
    std::string line;
    if (std::getline(in, line)) table.columns = SplitTabs(line);
    while (std::getline(in, line)) {
        table.rows.push_back(SplitTabs(line));
        EXPECT_EQ(table.rows.back().size(), table.columns.size()) << path << ": " << line;
    }
    return table;
}

std::string Phone(const std::string& variant) {
    const char* testdata = std::getenv("RK_TESTDATA");
    return std::string(testdata ? testdata : "") + "/" + variant;
}
}  // namespace

TEST(SamplePhoneTest, VariantsKeepTheirDatabasesInTheirJournalModes) {
    struct Expect {
        const char* variant;
        const char* version;
        bool contactsLog, sms, smsLog;
    };
    for (const Expect& e : {Expect{"sample_phone", "4.4", true, true, false},
                            Expect{"sample_phone_nosd", "4.4", true, true, false},
                            Expect{"sample_phone_smswal", "4.4", true, true, true},
                            Expect{"sample_phone_legacy", "2.3", false, false, false}}) {
        const std::string phone = Phone(e.variant);
        EXPECT_EQ(ReadAll(phone + "/device.ini"), std::string("[device]\nversion=") + e.version + "\n");
        EXPECT_GT(platform::FileSize(phone + kContacts), 0) << e.variant;
        EXPECT_EQ(platform::FileSize(phone + kContacts + "-wal") > 0, e.contactsLog) << e.variant;
        EXPECT_EQ(platform::FileSize(phone + kSms) > 0, e.sms) << e.variant;
        EXPECT_EQ(platform::FileSize(phone + kSms + "-wal") > 0, e.smsLog) << e.variant;
        EXPECT_GT(platform::FileSize(phone + "/storage/sdcard.img"), 0) << e.variant;
        // Pending frames are a log of their own: its header names the WAL format.
        if (e.contactsLog) {
            EXPECT_EQ(ReadAll(phone + kContacts + "-wal").substr(0, 3), "7\x7f\x06");
        }
    }
}

TEST(SamplePhoneTest, DeletedRowsSurviveWhereTheSettingKeepsThem) {
    // secure_delete on: the renamed contact's old name is only in an older log frame.
    const std::string phone = Phone("sample_phone");
    EXPECT_FALSE(Holds(phone + kContacts, "Henry Hill"));
    EXPECT_TRUE(Holds(phone + kContacts + "-wal", "Henry Hill"));
    EXPECT_TRUE(Holds(phone + kContacts + "-wal", "Henry Holt"));
    // Rolled back journal and secure_delete: a deleted SMS is gone from the file.
    EXPECT_FALSE(Holds(phone + kSms, "Delete me later"));
    // secure_delete off: the record stays in free space.
    EXPECT_TRUE(Holds(Phone("sample_phone_nosd") + kSms, "Delete me later"));
    // WAL: a message added and deleted after the checkpoint stays in an older frame.
    EXPECT_TRUE(Holds(Phone("sample_phone_smswal") + kSms + "-wal", "Gone before the copy"));
    EXPECT_FALSE(Holds(Phone("sample_phone_smswal") + kSms, "Gone before the copy"));
}

TEST(SamplePhoneTest, ContactManifestsShowEveryWayOfDeleting) {
    const std::string expected = Phone("sample_phone") + "/expected/contacts2.db/";
    Table live = Load(expected + "raw_contacts.live.tsv");
    Table gone = Load(expected + "raw_contacts.deleted.tsv");
    Table data = Load(expected + "data.live.tsv");
    Table mimetypes = Load(expected + "mimetypes.live.tsv");
    EXPECT_EQ(mimetypes.rows.size(), 16u);

    auto soft = live.Where("_id", "5");
    ASSERT_EQ(soft.size(), 1u);
    EXPECT_EQ(soft[0][live.Column("deleted")], "1");
    EXPECT_TRUE(live.Where("_id", "6").empty());
    EXPECT_EQ(gone.Where("_id", "6").at(0)[0], "deleted");
    EXPECT_TRUE(live.Where("_id", "7").empty());
    EXPECT_FALSE(data.Where("raw_contact_id", "7").empty());  // left without their raw contact
    EXPECT_EQ(live.Where("_id", "8").at(0)[live.Column("display_name")], "Henry Holt");
    auto renamed = gone.Where("_id", "8");
    ASSERT_EQ(renamed.size(), 1u);
    EXPECT_EQ(renamed[0][0], "superseded");
    EXPECT_EQ(renamed[0][gone.Column("display_name")], "Henry Hill");

    // Alice has every kind, and her photo is a JPEG.
    std::set<std::string> kinds;
    for (const auto& row : data.Where("raw_contact_id", "1")) kinds.insert(row[data.Column("mimetype_id")]);
    EXPECT_EQ(kinds.size(), 16u);
    auto photo = data.Where("mimetype_id", "10");
    ASSERT_EQ(photo.size(), 1u);
    EXPECT_EQ(photo[0][data.Column("data15")].substr(0, 8), "X'FFD8FF");

    // The legacy phone stores lookup numbers reversed.
    Table lookup = Load(Phone("sample_phone_legacy") + "/expected/contacts2.db/phone_lookup.live.tsv");
    EXPECT_EQ(lookup.Where("data_id", "2").at(0)[lookup.Column("normalized_number")], "10105550561+");
    EXPECT_EQ(platform::FileSize(Phone("sample_phone_legacy") + "/expected/contacts2.db/search_index_content.live.tsv"), -1);
}

TEST(SamplePhoneTest, MessageManifestsHoldTheMessageCases) {
    const std::string expected = Phone("sample_phone_smswal") + "/expected/";
    Table sms = Load(expected + "mmssms.db/sms.live.tsv");
    size_t body = sms.Column("body");
    bool longBody = false, markup = false;
    for (const auto& row : sms.rows) {
        longBody = longBody || row[body].size() > 4096;
        markup = markup || (row[body].find('&') != std::string::npos && row[body].find('<') != std::string::npos);
    }
    EXPECT_TRUE(longBody);
    EXPECT_TRUE(markup);
    EXPECT_EQ(sms.Where("type", "5").size(), 1u);
    EXPECT_FALSE(sms.Where("address", "").empty());
    Table threads = Load(expected + "mmssms.db/threads.live.tsv");
    EXPECT_EQ(threads.Where("recipient_ids", "1 2").size(), 1u);
    Table addr = Load(expected + "mmssms.db/addr.live.tsv");
    EXPECT_EQ(addr.Where("address", "insert-address-token").at(0)[addr.Column("type")], "137");
    Table words = Load(expected + "mmssms.db/words_content.live.tsv");
    EXPECT_FALSE(words.Where("c3table_to_use", "1").empty());
    EXPECT_FALSE(words.Where("c3table_to_use", "2").empty());

    // Every part file that a part row names is on the phone with the listed size.
    Table files = Load(expected + "files.tsv");
    std::map<std::string, std::string> sizes;
    for (const auto& row : files.rows) sizes[row[0]] = row[1];
    for (const char* manifest : {"mmssms.db/part.live.tsv", "mmssms.db/part.deleted.tsv"}) {
        Table parts = Load(expected + manifest);
        for (const auto& row : parts.rows) {
            const std::string& path = row[parts.Column("_data")];
            if (path == "\\N") continue;
            ASSERT_TRUE(sizes.count(path)) << path;
            EXPECT_EQ(std::to_string(platform::FileSize(Phone("sample_phone_smswal") + "/fs" + path)), sizes[path]);
        }
    }
    Table pduGone = Load(expected + "mmssms.db/pdu.deleted.tsv");
    EXPECT_EQ(pduGone.Where("_id", "3").at(0)[0], "deleted");
    EXPECT_EQ(Load(expected + "mmssms.db/part.live.tsv").Where("mid", "3").size(), 2u);
}

TEST(SamplePhoneTest, EveryCaseNamesARowOfItsManifests) {
    const std::string expected = Phone("sample_phone_smswal") + "/expected/";
    Table cases = Load(expected + "cases.tsv");
    ASSERT_GT(cases.rows.size(), 20u);
    for (const auto& row : cases.rows) {
        const std::string base = expected + row[0] + "/" + row[1];
        Table live = Load(base + ".live.tsv");
        Table gone = Load(base + ".deleted.tsv");
        bool found = false;
        for (const auto& r : live.rows) found = found || r[0] == row[2];
        for (const auto& r : gone.rows) found = found || r[1] == row[2];
        EXPECT_TRUE(found) << row[0] << " " << row[1] << " " << row[2];
    }
}
