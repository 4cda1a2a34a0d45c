#include "gui/shell/AppMain.h"

#include <gtk/gtk.h>
#include <libintl.h>

#include <cstring>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/CatchExeception.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/PopTipWindow.h"
#include "gui/shell/SplashWin.h"
#include "gui/shell/UsageStats.h"
#include "platform/NamedObjects.h"

namespace {
constexpr const char* kInstanceName = "KVRN_Mutex_473192_Tamsk";
constexpr unsigned kRestartWaitMs = 10000;
constexpr const char* kTextDomain = "RelikordaUI";
}  // namespace

bool IsRestartSwitch(int argc, char** argv) { return argc == 2 && argv && argv[1] && std::strcmp(argv[1], "-R") == 0; }

bool IsAnotherInstanceRunning(bool restarted) {
    static platform::NamedMutex instance;
    platform::NamedMutex::Open opened = instance.Create(kInstanceName);
    if (opened == platform::NamedMutex::Open::Owned || opened == platform::NamedMutex::Open::Failed) return false;
    if (opened == platform::NamedMutex::Open::AccessDenied) return true;
    // Held by another: a restarted instance goes on once the old one has ended.
    const bool running = restarted ? !instance.Wait(kRestartWaitMs) : true;
    instance.Close();
    return running;
}

int AppMain(int argc, char** argv) {
    gtk_init(&argc, &argv);
    gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
    bindtextdomain(kTextDomain, "../share/locale/");
    bind_textdomain_codeset(kTextDomain, "UTF-8");
    textdomain(kTextDomain);
    CatchExeception::Instance().Install();

    const bool restarted = IsRestartSwitch(argc, argv);
    if (IsAnotherInstanceRunning(restarted)) {
        {
            CPopTipWindow notice(nullptr, TIP_INFORMATION, GetLangString("SOFTWARE_IS_ALREAD_RUNNING"), BASE_BUTTON_OK);
            notice.Resize(500, 240);
            notice.DoModal(true);
        }
        // The notice's title brought the services up, and with them the logic library.
        CUIPublic::Instance()->ReleaseLogicalController();
        return 0;
    }

    static CUsageStats stats;
    stats.SendEvent(USAGE_EVENT_START);
    CUIPublic* services = CUIPublic::Instance();
    services->SetPageName("Begin");
    CSplashWin splash(services->ResFolder() + "statr-bg.png");
    CUIMainWin::Instance()->Show();
    gtk_main();
    return 0;
}
