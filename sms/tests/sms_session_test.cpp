#include <gtest/gtest.h>

#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/Base64.h"
#include "sms/ISMSSession.h"

namespace {

struct Releaser {
    void operator()(ICommon* object) const {
        if (object) object->Release();
    }
};
template <class T>
using Held = std::unique_ptr<T, Releaser>;

std::string Document(const std::string& rootAttributes, const std::string& messages) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<sms_and_mms " + rootAttributes + ">" + messages +
           "</sms_and_mms>";
}

const std::string kPicture = Base64Encode("\x01\x02\x03", 3);

const std::string kThreeMessages = Document(
    "number=\"+15550001\" name=\"Ann\" total=\"3\" deleted_count=\"1\"",
    "<sms type=\"1\" date=\"1700000000\" send=\"0\" failed=\"0\" deleted=\"0\"><text type=\"1\">Hello "
    "Wörld</text></sms>"
    "<sms type=\"1\" date=\"1700000100\" send=\"1\" failed=\"1\" deleted=\"1\"><text type=\"1\">second</text></sms>"
    "<mms type=\"2\" date=\"1700000200\" send=\"1\" failed=\"0\" deleted=\"0\"><text type=\"1\">caption</text>"
    "<value type=\"2\" length=\"3\" path=\"/data/x\" filename=\"pic.jpg\">" + kPicture + "</value></mms>");

}  // namespace

TEST(SmsSessionTest, IteratesMessagesAndReadsTheRoot) {
    Held<ISMSSession> session(CreateSmsSession(kThreeMessages.c_str()));
    ASSERT_TRUE(session);
    EXPECT_STREQ(session->GetNumber(), "+15550001");
    EXPECT_STREQ(session->GetName(), "Ann");
    EXPECT_EQ(session->GetTotal(), 3);
    EXPECT_EQ(session->GetDeletedCount(), 1);

    Held<ISMSData> first(session->FirstData());
    Held<ISMSData> second(session->NextData());
    Held<ISMSData> third(session->NextData());
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(session->NextData(), nullptr);
    EXPECT_EQ(session->NextData(), nullptr);

    EXPECT_EQ(first->GetType(), 1);
    EXPECT_EQ(first->GetDate(), 1700000000);
    EXPECT_EQ(first->GetSend(), 0);
    EXPECT_EQ(first->IsDeleted(), 0);
    EXPECT_EQ(second->IsFailed(), 1);
    EXPECT_EQ(second->IsDeleted(), 1);
    EXPECT_EQ(third->GetType(), 2);

    Held<ISMSItem> text(first->FirstItem());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->GetType(), 1);
    EXPECT_STREQ(text->GetData(), "Hello Wörld");
    EXPECT_EQ(text->GetLength(), static_cast<int>(std::string("Hello Wörld").size()) + 1);
    EXPECT_EQ(text->GetFileName(), nullptr);
    EXPECT_EQ(first->NextItem(), nullptr);

    Held<ISMSItem> caption(third->FirstItem());
    Held<ISMSItem> picture(third->NextItem());
    ASSERT_TRUE(caption && picture);
    EXPECT_EQ(picture->GetType(), 2);
    EXPECT_EQ(picture->GetLength(), 3);
    EXPECT_EQ(std::string(picture->GetData(), 3), "\x01\x02\x03");
    EXPECT_STREQ(picture->GetFileName(), "pic.jpg");
}

TEST(SmsSessionTest, LastDataEndsTheWalk) {
    Held<ISMSSession> session(CreateSmsSession(kThreeMessages.c_str()));
    Held<ISMSData> last(session->LastData());
    ASSERT_TRUE(last);
    EXPECT_EQ(last->GetType(), 2);
    EXPECT_EQ(session->NextData(), nullptr);
}

TEST(SmsSessionTest, MissingPiecesGiveEmptyAnswers) {
    EXPECT_EQ(CreateSmsSession(nullptr), nullptr);
    Held<ISMSSession> broken(CreateSmsSession("<<< not xml"));
    ASSERT_TRUE(broken);
    EXPECT_STREQ(broken->GetName(), "");
    EXPECT_STREQ(broken->GetNumber(), "");
    EXPECT_EQ(broken->GetTotal(), 0);
    EXPECT_EQ(broken->FirstData(), nullptr);
    EXPECT_EQ(broken->LastData(), nullptr);
    EXPECT_EQ(broken->NextData(), nullptr);
    EXPECT_EQ(broken->Matches("X"), 0);

    Held<ISMSSession> unnamed(CreateSmsSession(Document("number=\"1\"", "<sms type=\"7\"/>").c_str()));
    EXPECT_STREQ(unnamed->GetName(), "");
    Held<ISMSData> odd(unnamed->FirstData());
    EXPECT_EQ(odd->GetType(), 0);
    EXPECT_EQ(odd->GetDate(), 0);
    EXPECT_EQ(odd->FirstItem(), nullptr);
}

TEST(SmsSessionTest, KeywordMatchesTextsNumberAndNameButNotFileNames) {
    Held<ISMSSession> session(CreateSmsSession(kThreeMessages.c_str()));
    EXPECT_EQ(session->Matches(nullptr), 1);
    EXPECT_EQ(session->Matches(""), 1);
    EXPECT_EQ(session->Matches("HELLO"), 1);
    EXPECT_EQ(session->Matches("CAPTION"), 1);
    EXPECT_EQ(session->Matches("ANN"), 1);
    EXPECT_EQ(session->Matches("5550001"), 1);
    EXPECT_EQ(session->Matches("PIC.JPG"), 0);
    EXPECT_EQ(session->Matches("ABSENT"), 0);

    Held<ISMSData> first(session->FirstData());
    EXPECT_EQ(first->Matches("HELLO"), 1);
    EXPECT_EQ(first->Matches("SECOND"), 0);
}

TEST(SmsSessionTest, MatchingLeavesTheCursorsWhereTheyWere) {
    Held<ISMSSession> session(CreateSmsSession(kThreeMessages.c_str()));
    Held<ISMSData> first(session->FirstData());
    EXPECT_EQ(session->Matches("CAPTION"), 1);
    Held<ISMSData> second(session->NextData());
    ASSERT_TRUE(second);
    EXPECT_EQ(second->GetDate(), 1700000100);

    Held<ISMSData> mms(session->NextData());
    Held<ISMSItem> caption(mms->FirstItem());
    EXPECT_EQ(mms->Matches("CAPTION"), 1);
    Held<ISMSItem> picture(mms->NextItem());
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->GetType(), 2);
}

TEST(SmsSessionTest, DatesKeepSixtyFourBitsAndClampAtTheInterface) {
    Held<ISMSSession> session(CreateSmsSession(
        Document("number=\"1\"", "<sms type=\"1\" date=\"4102444800\"/><sms type=\"1\" date=\"-5000000000\"/>")
            .c_str()));
    Held<ISMSData> future(session->FirstData());
    EXPECT_EQ(future->GetDate64(), 4102444800LL);
    EXPECT_EQ(future->GetDate(), INT_MAX);
    Held<ISMSData> past(session->NextData());
    EXPECT_EQ(past->GetDate(), INT_MIN);
}

TEST(SmsSessionTest, FileLengthIsWhatWasReallyDecoded) {
    const std::string four = Base64Encode("abcd", 4);
    Held<ISMSSession> session(CreateSmsSession(
        Document("number=\"1\"",
                 "<mms type=\"2\"><value type=\"3\" length=\"100\">" + four + "</value>"
                 "<value type=\"4\" length=\"2\">" + four + "</value>"
                 "<value type=\"5\" length=\"-4\">" + four + "</value><value type=\"2\" length=\"9\"/>"
                 "<value type=\"9\" length=\"4\">" + four + "</value></mms>")
            .c_str()));
    Held<ISMSData> mms(session->FirstData());
    Held<ISMSItem> longer(mms->FirstItem());
    EXPECT_EQ(longer->GetLength(), 4);
    EXPECT_EQ(std::string(longer->GetData(), 4), "abcd");
    Held<ISMSItem> shorter(mms->NextItem());
    EXPECT_EQ(shorter->GetLength(), 2);
    Held<ISMSItem> negative(mms->NextItem());
    EXPECT_EQ(negative->GetLength(), 0);
    EXPECT_EQ(negative->GetData(), nullptr);
    Held<ISMSItem> empty(mms->NextItem());
    EXPECT_EQ(empty->GetLength(), 0);
    Held<ISMSItem> unknown(mms->NextItem());
    EXPECT_EQ(unknown->GetType(), 9);
    EXPECT_EQ(unknown->GetLength(), 0);
    EXPECT_EQ(unknown->GetData(), nullptr);
}

TEST(SmsSessionTest, InterfacesConvertAtRunTime) {
    Held<ISMSSession> session(CreateSmsSession(kThreeMessages.c_str()));
    ICommon* common = session.get();
    EXPECT_NE(dynamic_cast<ISMSSession*>(common), nullptr);
    EXPECT_EQ(dynamic_cast<ISMSData*>(common), nullptr);
    auto* document = dynamic_cast<ISMSDocument*>(session.get());
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->DocumentText(), kThreeMessages);
}

// The document comes back byte for byte whether it is kept a message at a time or whole, and the
// texts read from it are those the parser gives.
TEST(SmsSessionTest, DocumentComesBackAsItStands) {
    const std::string sms = "<sms type=\"1\" date=\"1\" send=\"0\" failed=\"0\" deleted=\"0\">";
    const struct {
        std::string document;
        std::vector<std::string> texts;  // of each message's first item
    } cases[] = {
        {kThreeMessages, {"Hello Wörld", "second", "caption"}},
        {Document("number=\"1\"", "\n  " + sms + "<text type=\"1\">a &amp; b  &lt;c&gt;</text></sms>\n  " + sms +
                                      "<text type=\"1\">  two\n lines </text></sms>\n"),
         {"a & b  <c>", "  two\n lines "}},
        {Document("number=\"1\"", sms + "<text type=\"1\">x</text></sms><!-- a note --> " + sms +
                                      "<text type=\"1\">y</text></sms><sms type=\"1\"/>"),
         {"x", "y"}},
        {Document("number=\"1\"", ""), {}},
        {Document("number=\"1\"", sms + "<text type=\"1\">cut"), {}},
        {"<<< not xml", {}},
    };
    for (const auto& c : cases) {
        Held<ISMSSession> session(CreateSmsSession(c.document.c_str()));
        ASSERT_TRUE(session);
        EXPECT_EQ(dynamic_cast<ISMSDocument*>(session.get())->DocumentText(), c.document);
        Held<ISMSData> data(session->FirstData());
        for (const std::string& text : c.texts) {
            ASSERT_TRUE(data) << c.document;
            Held<ISMSItem> item(data->FirstItem());
            ASSERT_TRUE(item);
            EXPECT_EQ(std::string(item->GetData()), text);
            data.reset(session->NextData());
        }
    }
}
