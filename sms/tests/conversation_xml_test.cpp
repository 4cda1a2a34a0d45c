#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/Base64.h"
#include "outside/device/CDeviceFolder.h"
#include <tinyxml.h>

#include "sms/CPartTableRow.h"
#include "sms/CSMSSession.h"
#include "sms/CPduTableRow.h"
#include "sms/CSmsTableRow.h"
#include "sms/ConversationXmlBuilder.h"
#include "sms/ISMSSession.h"
#include "sms/PartFileName.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {

// A phone folder with a few part files, and a working folder beside it.
class ConversationXmlTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rk_sms_xml_XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        root_ = pattern;
        parts_ = root_ + "/phone/fs/data/data/com.android.providers.telephony/app_parts";
        ASSERT_TRUE(platform::CreateDirectories(parts_));
        ASSERT_TRUE(platform::CreateDirectories(root_ + "/work"));
        ASSERT_TRUE(device_.Load(root_ + "/phone"));
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

    std::string AddPartFile(const std::string& name, const std::string& bytes) {
        std::ofstream(parts_ + "/" + name, std::ios::binary) << bytes;
        return "/data/data/com.android.providers.telephony/app_parts/" + name;
    }
    std::string AddPartFileOfSize(const std::string& name, size_t size) {
        std::ofstream out(parts_ + "/" + name, std::ios::binary);
        std::string block(1 << 16, 'z');
        for (size_t left = size; left > 0;) {
            size_t n = std::min(left, block.size());
            out.write(block.data(), static_cast<std::streamsize>(n));
            left -= n;
        }
        return "/data/data/com.android.providers.telephony/app_parts/" + name;
    }

    std::string Build(const std::string& number, const std::vector<CTableRow*>& rows,
                      const std::string* name = nullptr) {
        ConversationXmlBuilder builder(&device_, platform::Utf8ToWide(root_ + "/work"));
        std::unique_ptr<char[]> text = builder.Build(number, name, rows);
        return text ? std::string(text.get()) : std::string();
    }

    std::unique_ptr<CPartTableRow> Part(int cls, const std::string& cl, const std::string& data,
                                        const std::string& text = "") {
        auto part = std::make_unique<CPartTableRow>();
        part->live = 1;
        part->contentClass = cls;
        part->contentLocation = cl;
        part->dataPath = data;
        part->text = text;
        return part;
    }

    std::string root_, parts_;
    CDeviceFolder device_;
};

std::unique_ptr<CSmsTableRow> Sms(const std::string& body, int type, int64_t date, bool live) {
    auto row = std::make_unique<CSmsTableRow>();
    row->body = body;
    row->type = type;
    row->date = date;
    row->live = live;
    return row;
}

}  // namespace

TEST_F(ConversationXmlTest, GoldenConversation) {
    auto received = Sms("Tom & Jerry <3", 1, 1300000000, true);
    auto failed = Sms("not sent", 5, 1300000060, false);
    auto smil = Part(6, "smil.xml", "",
                     "<smil><head><layout><region id=\"Image\" left=\"0\" top=\"0\"/>"
                     "<region id=\"Text\" left=\"0\" top=\"70\"/></layout></head><body><par>"
                     "<text src=\"cid:text_0.txt\" region=\"Text\"/><img src=\"cid:pic.jpg\" region=\"Image\"/>"
                     "</par></body></smil>");
    auto text = Part(1, "text_0.txt", "", "caption");
    auto picture = Part(2, "pic.jpg", AddPartFile("PART_1", "\x89PNG"));
    CPduTableRow mms;
    mms.live = 1;
    mms.date = 1300000120;
    mms.messageBox = 4;
    mms.parts = {smil.get(), text.get(), picture.get()};
    std::string name = "Ann";
    std::string xml = Build("+15550001", {received.get(), failed.get(), &mms}, &name);
    EXPECT_EQ(xml,
              "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
              "<sms_and_mms number=\"+15550001\" name=\"Ann\" total=\"3\" deleted_count=\"1\">\n"
              "    <sms type=\"1\" date=\"1300000000\" send=\"0\" failed=\"0\" deleted=\"0\" kind=\"received\">\n"
              "        <text type=\"1\">Tom &amp; Jerry &lt;3</text>\n"
              "    </sms>\n"
              "    <sms type=\"1\" date=\"1300000060\" send=\"1\" failed=\"1\" deleted=\"1\" kind=\"failed\">\n"
              "        <text type=\"1\">not sent</text>\n"
              "    </sms>\n"
              "    <mms type=\"2\" date=\"1300000120\" send=\"1\" failed=\"1\" deleted=\"0\" kind=\"outbox\">\n"
              "        <value type=\"2\" length=\"4\" path=\"/data/data/com.android.providers.telephony/app_parts/"
              "PART_1\" filename=\"pic.jpg\">iVBORw==</value>\n"
              "        <text type=\"1\">caption</text>\n"
              "    </mms>\n"
              "</sms_and_mms>\n");

    // The data objects read it back.
    std::unique_ptr<ISMSSession, void (*)(ISMSSession*)> session(CreateSmsSession(xml.c_str()),
                                                                  [](ISMSSession* s) { s->Release(); });
    EXPECT_EQ(session->GetTotal(), 3);
    ISMSData* first = session->FirstData();
    ISMSItem* item = first->FirstItem();
    EXPECT_STREQ(item->GetData(), "Tom & Jerry <3");
    item->Release();
    first->Release();
    ISMSData* last = session->LastData();
    ISMSItem* file = last->FirstItem();
    EXPECT_EQ(file->GetLength(), 4);
    EXPECT_EQ(std::string(file->GetData(), 4), "\x89PNG");
    file->Release();
    last->Release();
}

TEST_F(ConversationXmlTest, NoNameWithoutLookupAndNothingForEmptyConversations) {
    auto sms = Sms("x", 2, 1, true);
    std::string xml = Build("5550001", {sms.get()});
    EXPECT_EQ(xml.find("name="), std::string::npos);

    CPduTableRow partless;
    EXPECT_EQ(Build("1", {&partless}), "");
    EXPECT_EQ(Build("1", {}), "");
    auto missing = Part(2, "gone.jpg", "/data/data/com.android.providers.telephony/app_parts/NONE");
    auto smilOnly = Part(6, "s.smil", "", "<smil/>");
    CPduTableRow failing;
    failing.parts = {missing.get(), smilOnly.get()};
    EXPECT_EQ(Build("1", {&failing}), "");
    // Beside a message that stays, the failing MMS leaves no element.
    std::string mixed = Build("1", {&failing, sms.get()});
    EXPECT_EQ(mixed.find("<mms"), std::string::npos);
    EXPECT_NE(mixed.find("total=\"1\""), std::string::npos);
}

TEST_F(ConversationXmlTest, SixteenMebibytesAreTheLimit) {
    auto atLimit = Part(3, "a.amr", AddPartFileOfSize("PART_big", kMaxPartFileBytes));
    auto over = Part(4, "v.3gp", AddPartFileOfSize("PART_over", kMaxPartFileBytes + 1));
    CPduTableRow mms;
    mms.parts = {atLimit.get(), over.get()};
    std::string xml = Build("1", {&mms});
    EXPECT_NE(xml.find("length=\"16777216\""), std::string::npos);
    EXPECT_EQ(xml.find("length=\"16777217\""), std::string::npos);
    EXPECT_EQ(xml.find("v.3gp"), std::string::npos);
}

TEST_F(ConversationXmlTest, GeneratedFileNamesCountPerConversation) {
    std::string path = AddPartFile("PART_2", "abcd");
    auto plain = Part(2, "photo.jpg", path);
    auto withPath = Part(2, "dir/x.jpg", path);
    auto longExt = Part(5, "dir/x.abcdef", path);
    CPduTableRow mms;
    mms.parts = {plain.get(), withPath.get(), longExt.get()};
    std::string xml = Build("1", {&mms});
    EXPECT_NE(xml.find("filename=\"photo.jpg\""), std::string::npos);
    EXPECT_NE(xml.find("filename=\"00000001.jpg\""), std::string::npos);
    EXPECT_NE(xml.find("filename=\"00000002\""), std::string::npos);
    EXPECT_NE(xml.find(">YWJjZA==<"), std::string::npos);
    // The next conversation counts from 1 again.
    std::string next = Build("2", {&mms});
    EXPECT_NE(next.find("filename=\"00000001.jpg\""), std::string::npos);
}

TEST_F(ConversationXmlTest, PartsFollowTheSmilThenTheRest) {
    auto smil = Part(6, "s.smil", "",
                     "<smil><body><par><text src=\"b.txt\"/></par><par><text src=\"a.txt\"/>"
                     "<text src=\"b.txt\"/></par></body></smil>");
    auto later = Part(6, "t.smil", "", "<smil><body><par><text src=\"z.txt\"/></par></body></smil>");
    auto a = Part(1, "a.txt", "", "A");
    auto b1 = Part(1, "b.txt", "", "B1");
    auto b2 = Part(1, "b.txt", "", "B2");
    auto z = Part(1, "z.txt", "", "Z");
    CPduTableRow mms;
    mms.parts = {z.get(), smil.get(), b1.get(), a.get(), b2.get(), later.get()};
    std::string xml = Build("1", {&mms});
    // b.txt is named twice, so both of its parts stand twice; z.txt is named only by a later SMIL.
    std::string order;
    for (size_t at = xml.find("<text type=\"1\">"); at != std::string::npos;
         at = xml.find("<text type=\"1\">", at + 1))
        order += xml.substr(at + 15, xml.find('<', at + 15) - at - 15) + " ";
    EXPECT_EQ(order, "B1 B2 A B1 B2 Z ");
    EXPECT_EQ(xml.find("smil"), std::string::npos);
}

namespace {

using Held = std::unique_ptr<ICommon, void (*)(ICommon*)>;
Held Hold(ICommon* object) { return Held(object, [](ICommon* o) { if (o) o->Release(); }); }

// Everything a consumer can ask of a session, in one text.
std::string Answers(ISMSSession* session) {
    std::string all = std::string(session->GetNumber()) + "|" + session->GetName() + "|" +
                      std::to_string(session->GetTotal()) + "|" + std::to_string(session->GetDeletedCount()) + "\n";
    for (ISMSData* data = session->FirstData(); data; data = session->NextData()) {
        Held heldData = Hold(data);
        auto* kind = dynamic_cast<ISMSMessageKind*>(data);
        all += std::to_string(data->GetType()) + " " + std::to_string(data->GetSend()) + " " +
               std::to_string(data->GetDate64()) + " " + std::to_string(data->IsDeleted()) + " " +
               std::to_string(data->IsFailed()) + " " + (kind ? kind->GetKind() : "?") + " " +
               std::to_string(kind ? kind->IsCut() : -1) + "\n";
        for (ISMSItem* item = data->FirstItem(); item; item = data->NextItem()) {
            Held heldItem = Hold(item);
            const char* name = item->GetFileName();
            all += "  " + std::to_string(item->GetType()) + " " + (name ? name : "(none)") + " " +
                   std::to_string(item->GetLength()) + " [" +
                   (item->GetData() ? std::string(item->GetData(), static_cast<size_t>(item->GetLength())) : "") +
                   "]\n";
        }
    }
    if (ISMSData* last = session->LastData()) {
        all += "last " + std::to_string(last->GetDate64());
        last->Release();
    }
    return all;
}

}  // namespace

// The session made as the document is written answers as one read from the document's text, and
// that text is TinyXML's own print of the document, whatever the texts hold and however the
// attributes of one message after another come and go.
TEST_F(ConversationXmlTest, WrittenSessionAnswersAsTheDocumentRead) {
    const std::string path = AddPartFile("PART_9", std::string("pic\0ture", 8));
    auto text = Part(1, "text_0.txt", "", "  caption  with\tspaces\n");
    auto picture = Part(2, "dir/pic.jpg", path);
    CPduTableRow mms;
    mms.live = 0;
    mms.date = 1300000500;
    mms.messageBox = 1;
    mms.parts = {text.get(), picture.get()};
    std::vector<std::unique_ptr<CSmsTableRow>> keep;
    auto sms = [&](const std::string& body, int type, bool live, bool cut = false, bool typeKnown = true,
                   bool snippet = false) {
        keep.push_back(Sms(body, type, 1300000000 + static_cast<int64_t>(keep.size()), live));
        keep.back()->cut = cut;
        keep.back()->typeKnown = typeKnown;
        keep.back()->fromSnippet = snippet;
        return static_cast<CTableRow*>(keep.back().get());
    };
    const std::string name = "Ann \"A\" <ann@example.org>";
    const struct {
        const char* label;
        std::vector<CTableRow*> rows;
        const std::string* name;
        std::vector<const char*> tags;  // start tags the document holds
    } cases[] = {
        {"every type", {sms("received", 1, true), sms("sent", 2, true), sms("draft", 3, false), sms("outbox", 4, true),
                        sms("failed", 5, false), sms("queued", 6, true), sms("none", 0, true),
                        sms("snippet", 7, false, false, true, true), sms("index", 7, false)},
         &name,
         {"<sms type=\"1\" date=\"1300000006\" send=\"1\" failed=\"0\" deleted=\"0\">",
          "kind=\"snippet\">", "kind=\"index\">"}},
        {"texts that print otherwise",
         {sms("Tom & Jerry <3> \"q\" 'a'", 1, true), sms("  two  blanks  ", 2, true), sms("line\nbreak\r\nend", 1, true),
          sms("tab\there", 1, false), sms(std::string("zero\0byte", 9), 2, true), sms("h\xC3\xA9llo \xE4\xBD\xA0", 1, true)},
         nullptr, {}},
        {"attributes that come and go",
         {sms("cut", 1, false, true), sms("plain", 1, true), sms("no type, cut", 0, false, true, false),
          sms("no type", 0, true, false, false), sms("cut again", 2, false, true), &mms, sms("after", 1, true)},
         nullptr,
         {"deleted=\"1\" kind=\"received\" cut=\"1\">", "deleted=\"1\" kind=\"unknown\" cut=\"1\">",
          "deleted=\"0\" kind=\"unknown\">", "<mms type=\"2\" date=\"1300000500\" send=\"0\" failed=\"0\" deleted=\"1\" "
                                          "kind=\"received\">"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ConversationXmlBuilder builder(&device_, platform::Utf8ToWide(root_ + "/work"));
        std::unique_ptr<CSMSSession> written = builder.BuildSession("+15550001", c.name, c.rows);
        ASSERT_TRUE(written);
        const std::string xml = written->DocumentText();
        Held read = Hold(CreateSmsSession(xml.c_str()));
        ASSERT_TRUE(read);
        EXPECT_EQ(Answers(written.get()), Answers(static_cast<ISMSSession*>(read.get()))) << xml;
        for (const char* tag : c.tags) EXPECT_NE(xml.find(tag), std::string::npos) << tag << "\n" << xml;
        // Printed again after a parse that keeps every blank, the document is the same text.
        const bool condense = TiXmlBase::IsWhiteSpaceCondensed();
        TiXmlBase::SetCondenseWhiteSpace(false);
        TiXmlDocument document;
        document.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
        TiXmlBase::SetCondenseWhiteSpace(condense);
        TiXmlPrinter printer;
        document.Accept(&printer);
        EXPECT_EQ(printer.Str(), xml);
    }
}

TEST(PartFileNameTest, SenderNamesCannotLeaveTheFolder) {
    uint32_t counter = 0;
    EXPECT_EQ(MakePartFileName("..\\..\\x", &counter), "x");
    EXPECT_EQ(MakePartFileName("/etc/x", &counter), "00000001");
    EXPECT_EQ(MakePartFileName("a.b/c", &counter), "00000002");
    EXPECT_EQ(MakePartFileName("..", &counter), "00000003");
    EXPECT_EQ(MakePartFileName(".", &counter), "00000004");
    EXPECT_EQ(MakePartFileName("C:evil.exe", &counter), "Cevil.exe");
    EXPECT_EQ(MakePartFileName("a\x01\x1f.j\"p:g", &counter), "a.jpg");
    EXPECT_EQ(MakePartFileName("x/y.j$pg", &counter), "00000005.jpg");
    std::string huge(400, 'n');
    EXPECT_LE(MakePartFileName(huge + ".png", &counter).size(), 130u);
    EXPECT_EQ(SanitizePartFileName("../../"), "");
    EXPECT_EQ(SanitizePartFileName("...hidden.txt"), "hidden.txt");
}
