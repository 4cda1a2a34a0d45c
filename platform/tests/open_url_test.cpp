#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/OpenUrl.h"
#include "testing/FakeDesktop.h"
#include "testing/TempFolder.h"

using namespace platform;

namespace {

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream out(path);
    out << text;
}

}  // namespace

TEST(OpenUrlTest, OnlyWebAddressesAndExistingFoldersAreOpened) {
    const TempFolder scratch("rk_open_url");
    const std::string& base = scratch.Path();
    ASSERT_FALSE(base.empty());
    ASSERT_TRUE(CreateDirectories(base + "/A&B folder"));
    WriteFile(base + "/file.txt", "x");

    struct Case {
        std::string target;
        std::string expected;
    } cases[] = {
        {"https://relikorda.example/support?a=1&b=2", "https://relikorda.example/support?a=1&b=2"},
        {"HTTP://relikorda.example", "HTTP://relikorda.example"},
        {base + "/A&B folder", "file://" + base + "/A&B%20folder"},
        {base + "/A&B folder/../A&B folder", "file://" + base + "/A&B%20folder"},
        {"file://" + base, ""},
        {"javascript:alert(1)", ""},
        {"ftp://relikorda.example/x", ""},
        {"https://", ""},
        {"http://relikorda.example/\nx", ""},
        {base + "/file.txt", ""},
        {base + "/missing", ""},
        {"", ""},
        {"--help", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UrlToOpen(c.target), c.expected) << c.target;
        // A link in a window opens web addresses only.
        EXPECT_EQ(IsWebAddress(c.target), !c.expected.empty() && c.expected == c.target) << c.target;
    }
    EXPECT_FALSE(OpenUrl("javascript:alert(1)"));
}

TEST(OpenUrlTest, TheDesktopsDefaultHandlerGetsTheAddress) {
    // A desktop of our own: one application handles web addresses and folders by writing them down.
    FakeDesktop desktop;
    const std::string base = desktop.Folder();
    ASSERT_TRUE(OpenUrl("https://relikorda.example/a?b=1&c=2"));
    ASSERT_TRUE(OpenUrl(base + "/data"));
    auto lines = [&] {
        std::vector<std::string> result = desktop.Opened();
        std::sort(result.begin(), result.end());  // the two starts run side by side
        return result;
    };
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (lines().size() < 2 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // A handler of local files gets the folder as a path.
    EXPECT_EQ(lines(), (std::vector<std::string>{base + "/data", "https://relikorda.example/a?b=1&c=2"}));
}
