// The update check against an HTTP server on 127.0.0.1 run by the test; version numbers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "gui/pages/UpdateChecker.h"
#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/tests/GuiTestSupport.h"

namespace fs = std::filesystem;

TEST(UpdateCheckTest, VersionNumbersWeighTheirFourParts) {
    struct Case {
        const char* text;
        int64_t number;
    } cases[] = {
        {"5.1.0.12", 5010012},
        {"5.1.0.9", 5010009},
        {"5.1", 5010000},
        {"", 0},
        {"abc", 0},
        {" 7.x.3", 7000300},
        {"5..1", 5000100},
        {"1.2.3.4.5", 1020304},
        {"-1.0", -1000000},
        {"99999999999.1", static_cast<int64_t>(INT_MAX) * 1000000 + 10000},  // no overflow
        {"2147483647.2147483647.2147483647.2147483647", static_cast<int64_t>(INT_MAX) * 1010101},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseVersion(c.text), c.number) << c.text;
    EXPECT_EQ(ParseVersion(nullptr), 0);
    EXPECT_GT(ParseVersion("5.1.0.12"), ParseVersion("5.1.0.9"));
}

TEST(UpdateCheckTest, OnlyAFoundNewerAnswerWithALinkIsAnUpdate) {
    TestHttpServer server;
    UpdateChecker* checker = UpdateChecker::Instance();
    const std::string folder = MakeTempFolder();
    checker->SetAnswerFile(folder + "/update.ini");
    UpdateLimits limits;
    limits.connectSeconds = 2;
    limits.stallSeconds = 1;
    limits.totalSeconds = 4;
    limits.largestAnswer = 4096;
    checker->SetLimits(limits);
    const std::string newer = "Product Version=5.1.0.12\r\n";
    using Reply = TestHttpServer::Reply;
    struct Case {
        const char* name;
        Reply reply;
        int result;
        std::string url, version;
    } cases[] = {
        {"newer", Reply{200, newer + "URL=http://h/dl\r\n", false}, 0, "http://h/dl", "5.1.0.12"},
        {"no final line break", Reply{200, "URL=http://h/a\nProduct Version=5.1.0.12", false}, 0, "http://h/a",
         "5.1.0.12"},
        {"the later line wins", Reply{200, newer + "URL=http://h/1\rURL=http://h/2", false}, 0, "http://h/2",
         "5.1.0.12"},
        {"equal", Reply{200, "Product Version=5.1.0.9\nURL=http://h/dl\n", false}, 2, "", ""},
        {"older", Reply{200, "Product Version=5.0\nURL=http://h/dl\n", false}, 2, "", ""},
        {"no URL", Reply{200, newer, false}, 1, "", ""},
        {"keys with blanks", Reply{200, "Product Version = 5.1.0.12\nURL =http://h/dl\n", false}, 2, "", ""},
        {"an empty answer", Reply{200, "", false}, 2, "", ""},
        {"404", Reply{404, newer + "URL=http://h/dl\n", false}, 1, "", ""},
        {"500", Reply{500, newer + "URL=http://h/dl\n", false}, 1, "", ""},
        {"a redirect", Reply{301, newer + "URL=http://h/dl\n", false}, 1, "", ""},
        {"the link beyond 255 bytes", Reply{200, newer + std::string(300, '#') + "\nURL=http://h/dl\n", false}, 1,
         "", ""},
        {"an answer too long", Reply{200, newer + "URL=http://h/dl\n" + std::string(5000, '#'), false}, 1, "", ""},
        {"a stalled server", Reply{200, newer, true}, 1, "", ""},
    };
    for (const Case& c : cases) {
        server.SetHandler([&](const std::string&) { return c.reply; });
        const gint64 start = g_get_monotonic_time();
        EXPECT_EQ(checker->Check(server.Url("/update.ini"), "5.1.0.9"), c.result) << c.name;
        EXPECT_LT(g_get_monotonic_time() - start, 8 * G_USEC_PER_SEC) << c.name;
        if (c.result == 0) {
            EXPECT_EQ(checker->GetUrl(), c.url) << c.name;
            EXPECT_EQ(checker->GetVersion(), c.version) << c.name;
        }
        EXPECT_FALSE(fs::exists(folder + "/update.ini")) << c.name;
        server.Release();
    }

    // Not configured, not reachable, nowhere to put the answer.
    server.SetHandler([&](const std::string&) { return Reply{200, newer + "URL=http://h/dl\n", false}; });
    EXPECT_EQ(checker->Check("", "5.1.0.9"), 1);
    EXPECT_EQ(checker->Check(server.Url("/u"), nullptr), 1);
    EXPECT_EQ(checker->Check("http://127.0.0.1:" + std::to_string(UnusedPort()) + "/u", "5.1.0.9"), 1);
    EXPECT_EQ(checker->Check("ftp://127.0.0.1/u", "5.1.0.9"), 1);
    checker->SetAnswerFile(folder + "/missing/update.ini");
    EXPECT_EQ(checker->Check(server.Url("/u"), "5.1.0.9"), 1);
    checker->SetAnswerFile("update.ini");
    fs::remove_all(folder);
}
