// The update window over the test's HTTP server: checking, a newer version, the latest, failures,
// the silent weekly check, and the main window's menu entry that opens it.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "gui/pages/AutoUpdateWnd.h"
#include "gui/pages/UpdateChecker.h"
#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLinkButton.h"

namespace {

TestHttpServer::Reply Answer(const std::string& body) { return TestHttpServer::Reply{200, body, false}; }

void Serve(const TestHttpServer::Reply& reply) {
    World().server->SetHandler([reply](const std::string&) { return reply; });
}

bool WaitChecked() {
    return PumpUntil([] { return !UpdateChecker::Instance()->IsRunning(); }, 20000);
}

bool Shown(CBPWidget* widget) { return gtk_widget_get_visible(widget->GetWidget()); }

// Runs a visible update window; once it is shown, during runs, then the window is left to end
// (after done, once the check ended, when it still runs).
int RunVisible(CAutoUpdateWnd& window, const std::function<void()>& during, const std::function<void()>& done) {
    window.CreateFrame();
    window.SetSilent(0);
    window.StartCheck();
    return RunModal(window, false, [&] {
        if (during) during();
        WaitChecked();
        PumpUntil([&] { return !window.IsPolling(); });
        DrawPending();
        if (done) done();
        if (window.IsRunning()) CBaseWnd::SimulateButtonEvent(window.GetButton(BASE_BUTTON_OK)->GetWidget(),
                                                             GDK_BUTTON_RELEASE);
    });
}

const std::string kNewer = "Product Version=5.1.0.12\r\nURL=";

}  // namespace

TEST(UpdateWindowTest, ChecksThenOffersTheNewerVersionWhoseLinkOpens) {
    // A stalled server first: the waiting mark, then the failure once it gives up.
    Serve(TestHttpServer::Reply{200, "Product Vers", true});
    {
        CAutoUpdateWnd window(nullptr);
        const int result = RunVisible(
            window,
            [&] {
                ASSERT_TRUE(PumpUntil([] { return World().server->Requests() > 0; }));
                EXPECT_TRUE(UpdateChecker::Instance()->IsRunning());
                EXPECT_TRUE(Shown(window.GetButton(BASE_BUTTON_CANCEL)));
                EXPECT_FALSE(Shown(window.GetButton(BASE_BUTTON_OK)));
                EXPECT_TRUE(SaveWindowScreenshot("update_checking", window.GetWidget()));
                World().server->Release();
            },
            [&] {
                EXPECT_EQ(UpdateChecker::Instance()->GetResult(), UpdateChecker::RESULT_FAILED);
                EXPECT_TRUE(Shown(window.GetButton(BASE_BUTTON_OK)));
                EXPECT_FALSE(Shown(window.GetButton(BASE_BUTTON_CANCEL)));
                EXPECT_FALSE(Shown(window.GetBox()));
                EXPECT_TRUE(SaveWindowScreenshot("update_failed", window.GetWidget()));
            });
        EXPECT_EQ(result, BASE_RESULT_OK);
    }

    const std::string download = World().server->Url("/download/Relikorda-5.1.0.12.run");
    Serve(Answer(kNewer + download + "\r\n"));
    CAutoUpdateWnd window(nullptr);
    RunVisible(window, nullptr, [&] {
        EXPECT_EQ(UpdateChecker::Instance()->GetResult(), UpdateChecker::RESULT_NEWER);
        EXPECT_TRUE(Shown(window.GetBox()));
        EXPECT_EQ(std::string(window.GetLabel()->GetLabelText()),
                  "A new version of Relikorda for Android is available: 5.1.0.12\n"
                  "Click the link below to download it.");
        EXPECT_EQ(window.GetLinkButton()->GetBtnTxt(), download);
        EXPECT_EQ(window.GetLinkButton()->GetUrl(), download);
        EXPECT_TRUE(SaveWindowScreenshot("update_newer", window.GetWidget()));
        const size_t opened = World().desktop->Opened().size();
        gtk_button_clicked(GTK_BUTTON(window.GetLinkButton()->GetWidget()));
        EXPECT_TRUE(WaitOpened(*World().desktop, opened + 1));
        EXPECT_EQ(World().desktop->Opened().back(), download);
    });
}

TEST(UpdateWindowTest, TheLatestVersionAnErrorPageAndAVersionInMarkupShowAsTheyAre) {
    struct Case {
        TestHttpServer::Reply reply;
        int result;
    } cases[] = {
        {Answer("Product Version=5.1.0.9\nURL=http://127.0.0.1/x\n"), UpdateChecker::RESULT_LATEST},
        {TestHttpServer::Reply{404, kNewer + "http://127.0.0.1/x\n", false}, UpdateChecker::RESULT_FAILED},
        {Answer("Product Version=5.2 <b>&amp;\nURL=http://127.0.0.1/x"), UpdateChecker::RESULT_NEWER},
    };
    for (const Case& c : cases) {
        Serve(c.reply);
        CAutoUpdateWnd window(nullptr);
        RunVisible(window, nullptr, [&] {
            EXPECT_EQ(UpdateChecker::Instance()->GetResult(), c.result) << c.reply.body;
            EXPECT_EQ(Shown(window.GetBox()), c.result == UpdateChecker::RESULT_NEWER);
        });
        if (c.result == UpdateChecker::RESULT_NEWER) {
            const std::string text = window.GetLabel()->GetLabelText();
            EXPECT_NE(text.find("available: 5.2 <b>&amp;\n"), std::string::npos) << text;
        }
    }
}

TEST(UpdateWindowTest, LinksOtherThanWebAddressesAreShownButNeverOpened) {
    const std::string folder = MakeTempFolder();
    for (const std::string& link : {std::string("file:///etc/passwd"), folder, std::string("javascript:x()")}) {
        Serve(Answer(kNewer + link));
        CAutoUpdateWnd window(nullptr);
        RunVisible(window, nullptr, [&] {
            EXPECT_EQ(window.GetLinkButton()->GetUrl(), link);
            const size_t opened = World().desktop->Opened().size();
            gtk_button_clicked(GTK_BUTTON(window.GetLinkButton()->GetWidget()));
            PumpUntil([] { return false; }, 300);
            EXPECT_EQ(World().desktop->Opened().size(), opened) << link;
            EXPECT_EQ(window.GetLinkButton()->OpenedCount(), 0);
        });
    }
}

TEST(UpdateWindowTest, ASilentCheckStaysHiddenUnlessANewerVersionExists) {
    for (bool newer : {false, true}) {
        Serve(Answer(newer ? kNewer + "https://relikorda.example/dl" : "Product Version=5.1.0.9\r\n"));
        CAutoUpdateWnd window(nullptr);
        window.CreateFrame();
        window.SetSilent(1);
        window.StartCheck();
        bool everShown = false;
        std::pair<CAutoUpdateWnd*, bool*> watched(&window, &everShown);
        guint watch = g_timeout_add(20, +[](gpointer data) -> gboolean {
            auto* pair = static_cast<std::pair<CAutoUpdateWnd*, bool*>*>(data);
            if (gtk_widget_get_mapped(pair->first->GetWidget())) {
                *pair->second = true;
                CBaseWnd::SimulateButtonEvent(pair->first->GetButton(BASE_BUTTON_OK)->GetWidget(), GDK_BUTTON_RELEASE);
            }
            return TRUE;
        }, &watched);
        const gint64 start = g_get_monotonic_time();
        window.DlgRun(0);
        g_source_remove(watch);
        EXPECT_EQ(everShown, newer);
        EXPECT_LT(g_get_monotonic_time() - start, 15 * G_USEC_PER_SEC);
    }
}

TEST(UpdateWindowTest, ACheckStartedWhileOneRunsSharesIt) {
    Serve(TestHttpServer::Reply{200, "", true});
    const int before = World().server->Requests();
    CAutoUpdateWnd first(nullptr), second(nullptr);
    first.CreateFrame();
    second.CreateFrame();
    first.StartCheck();
    ASSERT_TRUE(PumpUntil([&] { return World().server->Requests() == before + 1; }));
    second.StartCheck();
    PumpUntil([] { return false; }, 300);
    World().server->Release();
    ASSERT_TRUE(WaitChecked());
    EXPECT_EQ(World().server->Requests(), before + 1);
    ASSERT_TRUE(PumpUntil([&] { return !first.IsPolling() && !second.IsPolling(); }));
}

TEST(UpdateWindowTest, TheMainWindowsMenuEntryOpensTheUpdateWindow) {
    Serve(Answer("Product Version=5.1.0.9\n"));
    CUIMainWin* main = CUIMainWin::Instance();
    bool seen = false;
    const int before = main->UpdateChecks();
    guint watch = g_timeout_add(50, +[](gpointer data) -> gboolean {
        GtkWidget* window = FindShownWindow(CUIPublic::Instance()->GetTitleText());
        if (!window || UpdateChecker::Instance()->IsRunning()) return TRUE;
        GtkWidget* ok = FindButton(window, "OK");
        if (!ok || !gtk_widget_get_visible(ok)) return TRUE;
        *static_cast<bool*>(data) = true;
        CBaseWnd::SimulateButtonEvent(ok, GDK_BUTTON_RELEASE);
        return TRUE;
    }, &seen);
    main->CheckUpdate(false);
    g_source_remove(watch);
    EXPECT_TRUE(seen);
    EXPECT_EQ(main->UpdateChecks(), before + 1);
    EXPECT_EQ(UpdateChecker::Instance()->GetResult(), UpdateChecker::RESULT_LATEST);
}
