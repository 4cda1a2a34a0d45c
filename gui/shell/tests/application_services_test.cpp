#include <gtest/gtest.h>

#include <libintl.h>
#include <locale.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/CategoryTable.h"
#include "gui/shell/UsageStats.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "outside/widgets/CBPIniParser.h"
#include "platform/FileSystem.h"

namespace {
std::string MakeRes(const std::string& config) {
    const std::string res = MakeTempFolder() + "/res/";
    platform::CreateDirectories(res + "MultiLang");
    WriteText(res + "UIConfig.ini", config);
    WriteText(res + "MultiLang/Chinese.ini", "[Language]\nPRODUCT_NAME_VER_ITUNES=\"Relikorda CN\"\n");
    return res;
}
}  // namespace

TEST(UsageStatsTest, ValuesCountersAndClosingCallsReachTheLibraryInOrder) {
    StatsLog stats;
    CUIPublic services(MakeRes("[Public]\nTable2Url=https://relikorda.example/t2\n"), false);
    services.ReportValue(4095, 1);
    services.ReportValue(4096, -1);
    services.ReportEvent(12301);
    services.ReportCounters();  // nothing set yet: zeros
    services.SetCounters(1, 2, 3, 4, 5, 6, 7, 8, 11, 12, 9, 10);
    services.ReportCounters();
    services.ReportPageEnd();
    services.ReportShutdown();
    services.ReportValue(12364, 1);  // after the last call the object is not used again

    std::vector<std::string> expected = {"GetSmartSpy", "Value 4096 -1", "Event 12301"};
    for (int id : {12330, 12331, 12332, 12333, 12334, 12335, 12336, 12337, 12340, 12341, 12338, 12339})
        expected.push_back("Value " + std::to_string(id) + " 0");
    // Categories 1 to 4, then 6, then 5: deleted and total of each.
    const char* counters[] = {"12330 1", "12331 2", "12332 3",  "12333 4",  "12334 5",  "12335 6",
                              "12336 7", "12337 8", "12340 11", "12341 12", "12338 9", "12339 10"};
    for (const char* counter : counters) expected.push_back(std::string("Value ") + counter);
    // Back: the page event only. Quitting: the page event, then the last call.
    for (const char* line : {"Text 3584 https://relikorda.example/t2", "Pair 3 5", "Text 3584 https://relikorda.example/t2",
                             "Pair 3 5", "Finish"})
        expected.push_back(line);
    EXPECT_EQ(stats.Lines(), expected);

    stats.Clear();
    EXPECT_EQ(SendTextEvent(12366, "French"), 1);
    CUsageStats missing([]() -> platform::LibraryHandle { return nullptr; });
    missing.SendEvent(12300);
    missing.SendValue(12324, 1);
    missing.SendShutdown("x");
    EXPECT_EQ(stats.Lines(), std::vector<std::string>{"SpySetTextExA 12366 French"});
}

TEST(ApplicationServicesTest, ConfigurationLanguageAndProductName) {
    struct Case {
        const char* language;
        int id;
    } cases[] = {{"French", 1}, {"German", 2}, {"Chinese", 3}, {"English", 0}, {"french", 0}, {"", 0}, {nullptr, 0}};
    for (const Case& c : cases) EXPECT_EQ(CUIPublic::LanguageIdOf(c.language), c.id) << (c.language ? c.language : "null");

    const std::string res = MakeRes("; kept\n[Public]\nAddConfigIni=extra.ini; missing.ini\nproductName=Relikorda for Android\n"
                                    "Version=5.1.0.9\n");
    WriteText(res + "extra.ini", "[MainWin]\nWinSize=1000,620\n[Public]\nVersion=0\n");
    {
        CUIPublic services(res, false);
        int w = 0, h = 0;
        ASSERT_TRUE(services.GetConfig()->GetKeyIntPoint("MainWin", "WinSize", &w, &h));
        EXPECT_EQ(w, 1000);
        EXPECT_EQ(services.GetVersion(), "5.1.0.9");  // the main file's value stays
        EXPECT_EQ(services.GetLanguageId(), LANGUAGE_ENGLISH);
        EXPECT_EQ(services.GetProductName(), "Relikorda for Android");
        EXPECT_EQ(services.GetTitleText(), "Relikorda for Android ");
        EXPECT_EQ(services.GetTitleLogoPath(), res + "title_logo.png");
        EXPECT_STREQ(services.GetPageName(), "Begin");

        // The product name passes through the GUI's text domain.
        bindtextdomain("RelikordaUI", "../share/locale/");
        bind_textdomain_codeset("RelikordaUI", "UTF-8");
        setenv("LANGUAGE", "de", 1);
        const char* previous = setlocale(LC_ALL, "C.UTF-8");
        EXPECT_EQ(services.GetProductName(), "Relikorda für Android");
        EXPECT_STREQ(GetTextInDomain("Arial 12px"), "Arial 12px");
        unsetenv("LANGUAGE");
        setlocale(LC_ALL, previous ? previous : "C");
        EXPECT_EQ(CUIPublic::Translate(nullptr), "");
    }
    ASSERT_TRUE(CUIPublic(res, false).GetConfig()->SetKeyValueStr("Public", "Language", "Chinese"));
    CUIPublic chinese(res, false);
    EXPECT_EQ(chinese.GetLanguageId(), LANGUAGE_CHINESE);
    EXPECT_EQ(chinese.GetProductName(), "Relikorda CN");
    EXPECT_EQ(ReadText(res + "UIConfig.ini").rfind("; kept\n", 0), 0u);
}

TEST(ApplicationServicesTest, TimersAreReplacedAndRemoved) {
    int fired[2] = {0, 0};
    auto tick = [](gpointer count) -> gboolean {
        ++*static_cast<int*>(count);
        return TRUE;
    };
    guint id = 0;
    CUIPublic::SetTimer(&id, 5, tick, &fired[0]);
    const guint first = id;
    CUIPublic::SetTimer(&id, 5, tick, &fired[1]);
    EXPECT_NE(id, first);
    EXPECT_EQ(g_main_context_find_source_by_id(nullptr, first), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return fired[1] >= 2; }));
    EXPECT_EQ(fired[0], 0);
    CUIPublic::RemoveTimer(&id);
    EXPECT_EQ(id, 0u);
    CUIPublic::RemoveTimer(&id);  // nothing to remove
    CUIPublic::RemoveTimer(nullptr);
}

TEST(ApplicationServicesTest, CheckImagesAndCategoryTable) {
    CUIPublic services("../res/", false);
    GdkPixbuf* images[3] = {nullptr, nullptr, nullptr};
    services.FillCheckImages(images, 1);
    ASSERT_NE(images[0], nullptr);
    EXPECT_EQ(images[0], services.GetCheckImage(0));
    EXPECT_EQ(images[1], services.GetCheckImage(2));  // selected
    EXPECT_EQ(images[2], nullptr);
    services.FillCheckImages(images, 2);
    EXPECT_EQ(images[2], services.GetCheckImage(1));  // half-selected
    EXPECT_EQ(gdk_pixbuf_get_width(images[2]), 16);
    EXPECT_EQ(services.GetCheckImage(3), nullptr);

    const char* labels[] = {"", "Contacts", "Messages", "Gallery", "Videos", "Audio", "Documents"};
    const char* icons[] = {"icon_tesk", "icon_contacts", "icon_messaging", "icon_gallery",
                           "icon_videos", "icon_music", "icon_documents"};
    for (int id = 0; id < CATEGORY_COUNT; ++id) {
        const _CATEGORY_ITEM* item = GetCategoryItem(id);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->id, id);
        EXPECT_STREQ(item->label, labels[id]);
        EXPECT_EQ(std::string(item->icon), std::string("../res/") + icons[id] + ".png");
        EXPECT_TRUE(platform::FileSize(item->icon) > 0) << item->icon;
    }
    EXPECT_EQ(GetCategoryItem(7), nullptr);
    EXPECT_EQ(GetCategoryItem(-1), nullptr);
}
