// The environment the pages' display tests share: every test runs in bin/ of a scratch tree whose
// language file names the test's update server, with a desktop of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>

#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"

namespace {

PagesWorld g_world;

class PagesEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const ScratchTree tree = MakeScratchTree();
        g_world.bin = tree.bin;
        ASSERT_EQ(chdir(tree.bin.c_str()), 0);
        g_world.desktop = new FakeDesktop;
        g_world.server = new TestHttpServer;
        const std::string language = tree.res + "/MultiLang/English.ini";
        const std::string text = std::regex_replace(ReadText(language), std::regex("UpdateURL=[^\n]*"),
                                                    "UpdateURL=" + g_world.server->Url("/update.ini"));
        WriteText(language, text);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
        // Its 80 ms delivery keeps the main loop turning, as in the program.
        CNotifyCentor::Instance();
    }
    void TearDown() override {
        delete g_world.server;
        g_world.server = nullptr;
    }
};
const auto* g_environment = ::testing::AddGlobalTestEnvironment(new PagesEnvironment);

}  // namespace

PagesWorld& World() { return g_world; }
