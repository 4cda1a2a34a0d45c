#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "sqlite_recovery/framework/Base64.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sms/ISMSSession.h"
#include "outside/logic/SmsJob.h"
#include "platform/FileSystem.h"

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Value(int type, const std::string& name, const std::string& bytes) {
    return "<value type=\"" + std::to_string(type) + "\" length=\"" + std::to_string(bytes.size()) +
           "\" path=\"/p\" filename=\"" + name + "\">" + Base64Encode(bytes.data(), bytes.size()) + "</value>";
}

class SmsJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rk_sms_job_XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        root_ = pattern;
        ASSERT_TRUE(platform::CreateDirectory(root_ + "/out"));
    }
    void TearDown() override {
        container_.Lock();
        for (auto it = container_.Begin(); it != container_.End(); ++it) it->second.session->Release();
        container_.Unlock();
        std::system(("rm -rf '" + root_ + "'").c_str());
    }
    void Add(unsigned id, const std::string& xml) {
        _SMS_INFOMATION record{id, 0, CreateSmsSession(xml.c_str())};
        container_.Lock();
        container_.InsertItem(record);
        container_.Unlock();
    }

    std::string root_;
    CDataContainer<_SMS_INFOMATION> container_;
};

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n";

}  // namespace

TEST_F(SmsJobTest, WritesDocumentsRenderingsAndAttachments) {
    std::string first = std::string(kHeader) +
                        "<sms_and_mms number=\"+15550001\" name=\"Ann\" total=\"2\" deleted_count=\"1\">"
                        "<sms type=\"1\" date=\"1704099600\" send=\"0\" failed=\"0\" deleted=\"0\">"
                        "<text type=\"1\">  Hi &amp;   hello &#x0A;  </text></sms>"
                        "<mms type=\"2\" date=\"1704294000\" send=\"1\" failed=\"1\" deleted=\"1\">"
                        "<text type=\"1\">look</text>" + Value(2, "pic.jpg", "JPEG") + Value(2, "pic.jpg", "SECOND") +
                        Value(5, "../../evil.sh", "x") + Value(3, "", "ogg") + "</mms></sms_and_mms>";
    std::string second = std::string(kHeader) +
                         "<sms_and_mms number=\"UnknownAdress0\" total=\"1\" deleted_count=\"1\">"
                         "<sms type=\"1\" date=\"0\" send=\"1\" failed=\"0\" deleted=\"1\"><text type=\"1\">lost</text>"
                         "</sms></sms_and_mms>";
    Add(0, first);
    Add(1, second);
    SmsRunCounts counts;
    ASSERT_TRUE(WriteConversations(&container_, root_ + "/out", &counts));
    EXPECT_EQ(counts.conversations, 2);
    EXPECT_EQ(counts.messages, 3);
    EXPECT_EQ(counts.deleted, 2);
    EXPECT_EQ(counts.attachments, 4);

    std::string sms = root_ + "/out/sms";
    EXPECT_EQ(ReadFile(sms + "/0000.xml"), first);
    EXPECT_EQ(ReadFile(sms + "/0001.xml"), second);
    EXPECT_EQ(ReadFile(sms + "/0000.txt"),
              "Conversation with Ann (+15550001): 2 messages, 1 deleted\n"
              "\n2024-01-01 09:00:00 UTC  SMS from Ann (+15550001)\n    Hi &   hello \n  \n"
              "\n2024-01-03 15:00:00 UTC  MMS to Ann (+15550001)  [failed]  [deleted]\n  look\n"
              "  [attachment pic.jpg, 4 bytes]\n  [attachment pic.jpg, 6 bytes]\n"
              "  [attachment evil.sh, 1 bytes]\n  [attachment (unnamed), 3 bytes]\n");
    EXPECT_EQ(ReadFile(sms + "/0001.txt"),
              "Conversation with UnknownAdress0: 1 messages, 1 deleted\n"
              "\ndate unknown  SMS to UnknownAdress0  [deleted]\n  lost\n");
    EXPECT_EQ(ReadFile(sms + "/0000/pic.jpg"), "JPEG");
    EXPECT_EQ(ReadFile(sms + "/0000/pic_1.jpg"), "SECOND");
    EXPECT_EQ(ReadFile(sms + "/0000/evil.sh"), "x");
    EXPECT_EQ(ReadFile(sms + "/0000/attachment_4"), "ogg");
    EXPECT_EQ(platform::GetEntryKind(root_ + "/evil.sh"), platform::EntryKind::Missing);
    EXPECT_EQ(platform::GetEntryKind(sms + "/0001"), platform::EntryKind::Missing);  // no attachments

    // What is already there is never written over, a planted link never written through; each
    // file that could not be written is named with the reason, and the rest are written.
    ASSERT_EQ(unlink((sms + "/0001.txt").c_str()), 0);
    ASSERT_EQ(symlink((root_ + "/planted").c_str(), (sms + "/0001.txt").c_str()), 0);
    ASSERT_EQ(unlink((sms + "/0000.xml").c_str()), 0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteConversations(&container_, root_ + "/out", nullptr));
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(platform::GetEntryKind(root_ + "/planted"), platform::EntryKind::Missing);
    EXPECT_NE(errors.find(sms + "/0001.txt was not written: a link is there, and links in the output folder are "
                                "not followed\n"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find(sms + "/0000/pic.jpg was not written: a file of that name is there\n"), std::string::npos);
    EXPECT_EQ(ReadFile(sms + "/0000.xml"), first);

    // Without its folder nothing is written, but what was recovered is still counted, and so is
    // every file lost.
    ASSERT_TRUE(platform::CreateDirectory(root_ + "/blocked"));
    std::ofstream(root_ + "/blocked/sms") << "in the way";
    SmsRunCounts blocked;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(WriteConversations(&container_, root_ + "/blocked", &blocked));
    errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("cannot make the folder " + root_ + "/blocked/sms: a file of that name is there"),
              std::string::npos)
        << errors;
    EXPECT_EQ(blocked.conversations, 2);
    EXPECT_EQ(blocked.messages, 3);
    EXPECT_EQ(blocked.attachments, 4);
    EXPECT_EQ(blocked.lost, 2 * 2 + 4);
}

TEST_F(SmsJobTest, EachMessageKindHasItsTag) {
    const std::pair<const char*, const char*> kinds[] = {
        {"received", ""}, {"sent", ""}, {"draft", "  [draft]"}, {"outbox", "  [outbox]"},
        {"failed", "  [failed]"}, {"queued", "  [queued]"}};
    for (const auto& kind : kinds) {
        std::string xml = std::string(kHeader) + "<sms_and_mms number=\"AcmeTel\" total=\"1\" deleted_count=\"0\">"
                          "<sms type=\"1\" date=\"1704099600\" send=\"1\" failed=\"1\" deleted=\"0\" kind=\"" +
                          kind.first + "\"><text type=\"1\">x</text></sms></sms_and_mms>";
        ISMSSession* session = CreateSmsSession(xml.c_str());
        ASSERT_NE(session, nullptr);
        EXPECT_EQ(RenderConversation(session), std::string("Conversation with AcmeTel: 1 messages, 0 deleted\n\n"
                                                           "2024-01-01 09:00:00 UTC  SMS to AcmeTel") +
                                                   kind.second + "\n  x\n")
            << kind.first;
        session->Release();
    }
}

// A date is written as strftime writes it from gmtime: at the turns of days, months, leap years
// (2000 is one, 2100 is not) and of the last four-digit year, and on a sweep between.
TEST(MessageDateTextTest, AsTheCLibraryWritesIt) {
    const auto library = [](int64_t seconds) {
        std::time_t time = static_cast<std::time_t>(seconds);
        std::tm parts{};
        char text[40];
        gmtime_r(&time, &parts);
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
        return std::string(text);
    };
    EXPECT_EQ(MessageDateText(0), "date unknown");
    EXPECT_EQ(MessageDateText(-86400), "date unknown");
    const int64_t cases[] = {1,          59,         86399,       86400,       68169599,    68169600,
                             951782399,  951782400,  951868800,   1704099600,  4107542399,  4107542400,
                             4110134400, 253402300799, 253402300800, 253402300801};
    for (int64_t seconds : cases) EXPECT_EQ(MessageDateText(seconds), library(seconds)) << seconds;
    std::mt19937_64 random(46);
    for (int i = 0; i < 100000; ++i) {
        const int64_t seconds = 1 + static_cast<int64_t>(random() % 260000000000ull);
        ASSERT_EQ(MessageDateText(seconds), library(seconds)) << seconds;
    }
}

TEST_F(SmsJobTest, AttachmentNamesStayInTheirFolder) {
    std::string folder = root_ + "/out";
    std::set<std::string> used;
    EXPECT_EQ(UniqueAttachmentPath(folder, "../../x", 1, &used), folder + "/x");
    EXPECT_EQ(UniqueAttachmentPath(folder, "/etc/passwd", 2, &used), folder + "/passwd");
    EXPECT_EQ(UniqueAttachmentPath(folder, "..", 3, &used), folder + "/attachment_3");
    EXPECT_EQ(UniqueAttachmentPath(folder, nullptr, 4, &used), folder + "/attachment_4");
    EXPECT_EQ(UniqueAttachmentPath(folder, "x", 5, &used), folder + "/x_1");
    // An override character would make an executable read as a picture.
    EXPECT_EQ(UniqueAttachmentPath(folder, "photo\xE2\x80\xAEgpj.exe", 6, &used), folder + "/photo_gpj.exe");
}
