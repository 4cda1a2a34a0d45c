// The whole analyser (database pull, table analysers, assembly, documents, container) on the
// sqlite3-made fixture phones, reading the live rows through the system's SQLite library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>

#include "sqlite_recovery/framework/Base64.h"
#include "sms/CAndroidSmsAndMmsRecovery.h"
#include "outside/device/CDeviceFolder.h"
#include "sms/CPellucet.h"
#include "contacts/CSwapContact.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/tests/RecordingSink.h"
#include "platform/FileSystem.h"
#include "testing/LiveSQLite.h"

namespace {

class LiveRecovery : public CAndroidSmsAndMmsRecovery {
public:
    ISQLiteEngine* CreateEngine() override { return new LiveSQLiteEngine; }
};

class LivePellucet : public CPellucet {
public:
    Recovery* NewAndroidRecovery() override { return new LiveRecovery; }
};

std::string Fixture(const std::string& variant) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/sms_fixture/" + variant;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Conversation number -> session, read from the container.
std::map<std::string, ISMSSession*> Sessions(IDataContainer<_SMS_INFOMATION>* container) {
    std::map<std::string, ISMSSession*> sessions;
    container->Lock();
    for (auto it = container->Begin(); it != container->End(); ++it)
        sessions[it->second.session->GetNumber()] = it->second.session;
    container->Unlock();
    return sessions;
}

struct Message {
    int type, send, deleted, failed;
    int64_t date;
    std::vector<std::pair<int, std::string>> items;  // type, text or file name
};

std::vector<Message> Messages(ISMSSession* session) {
    std::vector<Message> messages;
    for (ISMSData* data = session->FirstData(); data; data = session->NextData()) {
        Message m{data->GetType(), data->GetSend(), data->IsDeleted(), data->IsFailed(), data->GetDate64(), {}};
        for (ISMSItem* item = data->FirstItem(); item; item = data->NextItem()) {
            if (item->GetType() == 1) m.items.emplace_back(1, item->GetData());
            else m.items.emplace_back(item->GetType(), item->GetFileName() ? item->GetFileName() : "");
            item->Release();
        }
        data->Release();
        messages.push_back(m);
    }
    return messages;
}

class PellucetLiveTest : public ::testing::TestWithParam<const char*> {};

}  // namespace

TEST_P(PellucetLiveTest, ConversationsOfTheFixturePhone) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(Fixture(GetParam())));
    RecordingSink sink;

    CDataContainer<_CONTACT_INFOMATION> contacts;
    CSwapContact* lookup = new CSwapContact;
    SwapContactEntry ann;
    ann.live = 1;
    ann.name = "Ann Example";
    lookup->Add("+1 (555) 000-1", ann, true);
    contacts.SetHelper(lookup);

    LivePellucet analyser;
    IDataContainer<_SMS_INFOMATION>* container = analyser.Initialize(&device, &sink);
    ASSERT_TRUE(container);
    ASSERT_TRUE(Succeeded(analyser.StartRecovery(&contacts)));
    EXPECT_EQ(sink.records.back().state, 3u);
    EXPECT_EQ(sink.records.back().done, 100u);
    EXPECT_EQ(sink.changes.size(), static_cast<size_t>(container->Count()));

    // Conversations are numbered from 0 in the order they were added.
    container->Lock();
    std::set<unsigned> ids;
    for (auto it = container->Begin(); it != container->End(); ++it) ids.insert(it->first);
    container->Unlock();
    EXPECT_EQ(ids, (std::set<unsigned>{0, 1, 2, 3, 4}));

    auto sessions = Sessions(container);
    // Ann and Ben (first spelled as in addr), the number only a snippet names, and the made-up
    // partners of the deleted MMS's parts and of the word-index text whose sms is gone.
    ASSERT_TRUE(sessions.count("+15550001"));
    ASSERT_TRUE(sessions.count("+1 555-0002"));
    ASSERT_TRUE(sessions.count("+15550003"));
    EXPECT_EQ(sessions.size(), 5u);
    EXPECT_STREQ(sessions["+15550001"]->GetName(), "Ann Example");
    EXPECT_STREQ(sessions["+1 555-0002"]->GetName(), "");

    auto annMessages = Messages(sessions["+15550001"]);
    ASSERT_EQ(annMessages.size(), 6u);
    EXPECT_EQ(annMessages[0].items[0].second, "Hi Ann &< welcome");
    EXPECT_GT(annMessages[1].items[0].second.size(), 4096u);
    EXPECT_EQ(annMessages[1].send, 1);
    // The live MMS: parts in presentation order, the SMIL part itself left out.
    EXPECT_EQ(annMessages[2].type, 2);
    // Its deleted picture is not among the live rows.
    EXPECT_EQ(annMessages[2].items, (std::vector<std::pair<int, std::string>>{
                                        {2, "image.jpg"}, {1, "Greetings from the beach"}, {3, "audio.ogg"}}));
    EXPECT_EQ(annMessages[3].failed, 1);  // type 5
    EXPECT_EQ(annMessages[3].items[0].second, "Could not send");
    EXPECT_EQ(annMessages[4].items[0].second, "Group hello");
    EXPECT_EQ(annMessages[5].items[1].second, "image.jpg");  // the group MMS, after its text
    EXPECT_EQ(sessions["+15550001"]->GetTotal(), 6);

    auto benMessages = Messages(sessions["+1 555-0002"]);
    ASSERT_EQ(benMessages.size(), 6u);
    EXPECT_EQ(benMessages[0].items[0].second, "OK");
    // At 16 MiB the video is kept, one byte more and it is left out.
    EXPECT_EQ(benMessages[1].items, (std::vector<std::pair<int, std::string>>{{4, "limit.3gp"}, {1, "Two big videos"}}));
    EXPECT_EQ(benMessages[2].items[0].second, "OK");  // the same words on another day stay
    EXPECT_EQ(benMessages[5].items[0].second, "Written after the base");

    // The snippet that no message holds stands in its partner's conversation.
    auto third = Messages(sessions["+15550003"]);
    ASSERT_EQ(third.size(), 1u);
    EXPECT_EQ(third[0].items[0].second, "A snippet nobody keeps");
    EXPECT_EQ(third[0].deleted, 1);

    // The deleted MMS's surviving parts and the orphaned index text.
    bool sawOrphanMms = false, sawIndexText = false;
    for (auto& entry : sessions) {
        if (entry.first.compare(0, 13, "UnknownAdress") != 0) continue;
        auto messages = Messages(entry.second);
        ASSERT_EQ(messages.size(), 1u);
        if (messages[0].type == 2) {
            sawOrphanMms = true;
            EXPECT_EQ(messages[0].items, (std::vector<std::pair<int, std::string>>{{1, "This MMS was deleted"},
                                                                                   {2, "image.jpg"}}));
        } else if (messages[0].items[0].second == "Queued then deleted") {
            sawIndexText = true;
        }
    }
    EXPECT_TRUE(sawOrphanMms);
    EXPECT_TRUE(sawIndexText);

    // Attachment bytes come through whole.
    ISMSData* mms = sessions["+15550001"]->FirstData();
    for (int i = 0; i < 2; ++i) {
        mms->Release();
        mms = sessions["+15550001"]->NextData();
    }
    ISMSItem* picture = mms->FirstItem();
    std::string expected = ReadFile(device.ResolveDevicePath(
        "/data/data/com.android.providers.telephony/app_parts/PART_1000"));
    ASSERT_EQ(picture->GetLength(), static_cast<int>(expected.size()));
    EXPECT_EQ(std::string(picture->GetData(), expected.size()), expected);
    picture->Release();
    mms->Release();
    lookup->Release();
}

INSTANTIATE_TEST_SUITE_P(Journals, PellucetLiveTest, ::testing::Values("journal", "wal"));

TEST(PellucetLiveTest, ForeignOrMissingArgumentGivesNoNames) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(Fixture("journal")));
    for (int variant = 0; variant < 2; ++variant) {
        LivePellucet analyser;
        IDataContainer<_SMS_INFOMATION>* container = analyser.Initialize(&device, nullptr);
        ASSERT_TRUE(container);
        // The SMS container itself is some other ICommon.
        ASSERT_TRUE(Succeeded(analyser.StartRecovery(variant == 0 ? nullptr : container)));
        for (auto& entry : Sessions(container)) EXPECT_STREQ(entry.second->GetName(), "");
        EXPECT_EQ(container->Count(), 5);
    }
}

TEST(PellucetLiveTest, NoDatabaseEndsWithTheFinishedRecord) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(Fixture("journal") + "/fs"));  // a folder without the database
    RecordingSink sink;
    LivePellucet analyser;
    IDataContainer<_SMS_INFOMATION>* container = analyser.Initialize(&device, &sink);
    ResultCode rc = analyser.StartRecovery(nullptr);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    EXPECT_EQ(sink.Done(), (std::vector<uint64_t>{0, 1, 100}));
    EXPECT_EQ(container->Count(), 0);
}

TEST(PellucetLiveTest, DatabaseFoundAtTheThirdCandidatePath) {
    char pattern[] = "/tmp/rk_sms_candidates_XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    std::string root = pattern;
    std::string folder = root + "/fs/dbdata/databases/com.android.providers.telephony";
    ASSERT_TRUE(platform::CreateDirectories(folder));
    ASSERT_TRUE(platform::CopyFile(
        Fixture("journal") + "/fs/data/data/com.android.providers.telephony/databases/mmssms.db",
        folder + "/mmssms.db"));
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(root));
    LivePellucet analyser;
    IDataContainer<_SMS_INFOMATION>* container = analyser.Initialize(&device, nullptr);
    ASSERT_TRUE(Succeeded(analyser.StartRecovery(nullptr)));
    // Without the part files the MMS lose their pictures but keep their texts.
    EXPECT_EQ(container->Count(), 5);
    std::system(("rm -rf '" + root + "'").c_str());
}
