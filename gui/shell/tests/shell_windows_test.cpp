// The shell's windows on a display of their own, over a scratch copy of the resources: painters,
// the base dialog and message box, About and language dialogs, title bar, main window, splash.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/shell/AboutWindow.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/LangWnd.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/Painters.h"
#include "gui/shell/PopTipWindow.h"
#include "gui/shell/SplashWin.h"
#include "gui/shell/WindowTitle.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/QuietController.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPComboBoxEx.h"
#include "outside/widgets/CBPComboBoxMenu.h"
#include "outside/widgets/CBPHProgressBar.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLinkLabel.h"
// Last: its X11 macros (None, Bool) would clash with names in the headers above.
#include <gdk/gdkx.h>

namespace {

// Every test runs in bin/ of a scratch tree, so that "../res/" is a copy of its own.
class ScratchEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        tree_ = MakeScratchTree();
        ASSERT_EQ(chdir(tree_.bin.c_str()), 0);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
        // Its 80 ms delivery keeps the main loop turning, as in the program (the splash makes it).
        CNotifyCentor::Instance();
    }

private:
    ScratchTree tree_;
};
const auto* g_environment = ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);

// Whether every picture placed in the widget (at a place of its own) lies between 0 and height.
bool PicturesInside(GtkWidget* widget, int height) {
    if (GTK_IS_IMAGE(widget) && GTK_IS_FIXED(gtk_widget_get_parent(widget))) {
        gint y = 0;
        gtk_container_child_get(GTK_CONTAINER(gtk_widget_get_parent(widget)), widget, "y", &y, nullptr);
        GtkRequisition size;
        gtk_widget_size_request(widget, &size);
        return y >= 0 && y + size.height <= height;
    }
    if (!GTK_IS_CONTAINER(widget)) return true;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    bool inside = true;
    for (GList* item = children; item && inside; item = item->next)
        inside = PicturesInside(GTK_WIDGET(item->data), height);
    g_list_free(children);
    return inside;
}

constexpr guint32 Rgb(int r, int g, int b) { return (r << 16) | (g << 8) | b; }
int Red(guint32 rgb) { return rgb >> 16; }
int Green(guint32 rgb) { return (rgb >> 8) & 0xFF; }
int Blue(guint32 rgb) { return rgb & 0xFF; }

void Release(CBPWidget* widget, guint button = 1) {
    GdkEventButton event{};
    event.type = GDK_BUTTON_RELEASE;
    event.button = button;
    gboolean handled = FALSE;
    g_signal_emit_by_name(widget->GetWidget(), "button-release-event", &event, &handled);
}

int CountingGate(void* count) {
    ++*static_cast<int*>(count);
    return 1;
}
int ClosedGate(void* count) {
    ++*static_cast<int*>(count);
    return 0;
}

// The maximise and unmaximise requests a window sends the window manager (as the root window's
// client messages), in order: true asks to maximise.
class MaximiseRequests {
public:
    MaximiseRequests() {
        GdkWindow* root = gdk_get_default_root_window();
        gdk_window_set_events(root, GdkEventMask(gdk_window_get_events(root) | GDK_SUBSTRUCTURE_MASK));
        gdk_window_add_filter(nullptr, &MaximiseRequests::Filter, this);
    }
    ~MaximiseRequests() { gdk_window_remove_filter(nullptr, &MaximiseRequests::Filter, this); }
    std::vector<bool> seen;

private:
    static GdkFilterReturn Filter(GdkXEvent* xevent, GdkEvent*, gpointer self) {
        const XEvent* event = static_cast<XEvent*>(xevent);
        if (event->type != ClientMessage ||
            event->xclient.message_type != gdk_x11_get_xatom_by_name("_NET_WM_STATE") ||
            static_cast<Atom>(event->xclient.data.l[1]) != gdk_x11_get_xatom_by_name("_NET_WM_STATE_MAXIMIZED_VERT"))
            return GDK_FILTER_CONTINUE;
        static_cast<MaximiseRequests*>(self)->seen.push_back(event->xclient.data.l[0] == 1);
        return GDK_FILTER_CONTINUE;
    }
};

// A controller that notes which page stood when it was called.
class ScriptedController : public QuietController {
public:
    std::vector<std::string> calls;
    CUIMainWin* window = nullptr;

    ResultCode EnterConnectStage() override {
        calls.push_back(window->GetAnalysisPage() ? "EnterConnectStage after the page" : "EnterConnectStage");
        return RK_OK;
    }
    ResultCode StartScan() override {
        calls.push_back(window->GetScanPage() ? "StartScan after the page" : "StartScan");
        return RK_OK;
    }
};

}  // namespace

TEST(PaintersTest, ProgressBarsAndCalloutsShowTheirColours) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* fixed = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), fixed);
    CBPHProgressBar normal(14), error(14);
    for (CBPHProgressBar* bar : {&normal, &error}) {
        bar->SetPaintCB(&PaintProgressBar);
        gtk_widget_set_size_request(bar->GetWidget(), 200, 14);
    }
    error.SetError(true);
    gtk_fixed_put(GTK_FIXED(fixed), normal.GetWidget(), 10, 10);
    gtk_fixed_put(GTK_FIXED(fixed), error.GetWidget(), 10, 40);
    // Without a window of its own, as the callouts' widgets are: drawn at its allocation.
    GtkWidget* area = gtk_event_box_new();
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(area), FALSE);
    gtk_widget_set_size_request(area, 120, 60);
    g_signal_connect(area, "expose-event", G_CALLBACK(+[](GtkWidget* widget, GdkEventExpose*, gpointer) -> gboolean {
                         DrawCallout(widget, CALLOUT_BOTTOM_CENTRE, GdkColor{0, 255, 240, 200},
                                     GdkColor{0, 200, 150, 0}, nullptr, 1.0, 0, 6, 10);
                         return TRUE;
                     }),
                     nullptr);
    gtk_fixed_put(GTK_FIXED(fixed), area, 10, 70);
    gtk_widget_show_all(window);
    ASSERT_TRUE(WaitShown(window));

    // Fraction 0 still shows a 10-pixel fill: green in it, the grey track beside it.
    const guint32 fill = WindowPixel(window, 10 + 5, 10 + 7), track = WindowPixel(window, 10 + 40, 10 + 7);
    EXPECT_GT(Green(fill), Red(fill) + 20) << std::hex << fill;
    EXPECT_GT(Green(fill), Blue(fill) + 60) << std::hex << fill;
    EXPECT_EQ(track, Rgb(207, 211, 201)) << std::hex << track;
    const guint32 orange = WindowPixel(window, 10 + 5, 40 + 7);
    EXPECT_GE(Red(orange), 250) << std::hex << orange;
    EXPECT_LT(Green(orange), 200) << std::hex << orange;
    EXPECT_LT(Blue(orange), 60) << std::hex << orange;
    normal.SetFraction(0.5);
    EXPECT_TRUE(PumpUntil([&] { return WindowPixel(window, 10 + 60, 10 + 7) != track; }));
    EXPECT_EQ(WindowPixel(window, 10 + 150, 10 + 7), Rgb(207, 211, 201));

    // The callout's box is filled; its pointer hangs from the bottom edge.
    EXPECT_EQ(WindowPixel(window, 10 + 60, 70 + 20), Rgb(255, 240, 200));
    EXPECT_EQ(WindowPixel(window, 10 + 60, 70 + 56), Rgb(255, 240, 200));  // inside the pointer
    EXPECT_NE(WindowPixel(window, 10 + 20, 70 + 56), Rgb(255, 240, 200));  // beside it
    SaveWindowScreenshot("painters", window);
    gtk_widget_destroy(window);
}

TEST(BaseDialogTest, EachButtonEndsTheDialogWithItsResult) {
    struct Case {
        unsigned buttons;
        unsigned clicked;  // 0: the title bar's close button
        int result;
    } cases[] = {{BASE_BUTTON_OK, BASE_BUTTON_OK, 1},
                 {BASE_BUTTON_OK | BASE_BUTTON_CANCEL, BASE_BUTTON_CANCEL, 2},
                 {BASE_BUTTON_OK | BASE_BUTTON_CONTINUE, BASE_BUTTON_CONTINUE, 8},
                 {BASE_BUTTON_YES | BASE_BUTTON_NO, BASE_BUTTON_YES, 16},
                 {BASE_BUTTON_YES | BASE_BUTTON_NO, BASE_BUTTON_NO, 32},
                 {BASE_BUTTON_YES | BASE_BUTTON_NO, 0, 2}};
    for (const Case& c : cases) {
        CPopTipWindow box(nullptr, TIP_INFORMATION, "Choose", c.buttons);
        box.Resize(400, 180);
        const int result = RunModal(box, true, [&] {
            Release(c.clicked ? static_cast<CBPWidget*>(box.GetButton(c.clicked))
                              : box.GetTitleBar()->GetButton(TITLE_BUTTON_CLOSE));
        });
        EXPECT_EQ(result, c.result) << c.buttons << " " << c.clicked;
        EXPECT_FALSE(box.IsRunning());
        EXPECT_FALSE(gtk_widget_get_visible(box.GetWidget()));
    }
}

TEST(BaseDialogTest, GatesKeysAndTheButtonsThatExist) {
    // A Cancel gate of 0 keeps the dialog open for Cancel and the close button; deleting it by the
    // window system ends it all the same.
    int cancelCalls = 0, okCalls = 0;
    {
        CPopTipWindow box(nullptr, TIP_WARNING, "Stay", BASE_BUTTON_OK | BASE_BUTTON_CANCEL);
        box.SetButtonCallback(BASE_BUTTON_CANCEL, &ClosedGate, &cancelCalls);
        bool stillRunning = false;
        const int result = RunModal(box, true, [&] {
            Release(box.GetButton(BASE_BUTTON_CANCEL));
            Release(box.GetTitleBar()->GetButton(TITLE_BUTTON_CLOSE));
            stillRunning = box.IsRunning();
            GdkEvent* event = gdk_event_new(GDK_DELETE);
            gboolean handled = FALSE;
            g_signal_emit_by_name(box.GetWidget(), "delete-event", event, &handled);
            gdk_event_free(event);
        });
        EXPECT_TRUE(stillRunning);
        EXPECT_EQ(cancelCalls, 2);
        EXPECT_EQ(result, 2);
    }
    // A right-button release on OK runs the gate only; Return and space on the focused OK end it.
    for (guint key : {guint(GDK_Return), guint(GDK_space)}) {
        CPopTipWindow box(nullptr, TIP_SUCCESS, "Keys", BASE_BUTTON_OK);
        box.SetButtonCallback(BASE_BUTTON_OK, &CountingGate, &okCalls);
        bool openAfterRightClick = false;
        const int result = RunModal(box, true, [&] {
            Release(box.GetButton(BASE_BUTTON_OK), 3);
            openAfterRightClick = box.IsRunning();
            gtk_window_present(box.GetWindow());
            gtk_widget_grab_focus(box.GetButton(BASE_BUTTON_OK)->GetWidget());
            PumpUntil([&] { return gtk_window_has_toplevel_focus(box.GetWindow()); }, 3000);
            gdk_test_simulate_key(gtk_widget_get_window(box.GetWidget()), -1, -1, key, GdkModifierType(0),
                                  GDK_KEY_PRESS);
        });
        EXPECT_TRUE(openAfterRightClick);
        EXPECT_EQ(result, 1) << key;
    }
    EXPECT_EQ(okCalls, 4);

    // Yes alone makes no buttons at all; with OK and Continue, the gate set last holds for both.
    CBaseWnd yesOnly(nullptr, BASE_BUTTON_YES, 0);
    EXPECT_EQ(yesOnly.CreateFrame("t", nullptr, 0, 0), 0);
    for (unsigned flag : {BASE_BUTTON_OK, BASE_BUTTON_CANCEL, BASE_BUTTON_YES, BASE_BUTTON_NO})
        EXPECT_EQ(yesOnly.GetButton(flag), nullptr);
    CBaseWnd both(nullptr, BASE_BUTTON_OK | BASE_BUTTON_CONTINUE | BASE_BUTTON_NEXT, 0);
    ASSERT_EQ(both.CreateFrame("t", "Both", 0, 0), 0);
    int first = 0, last = 0, next = 0;
    both.SetButtonCallback(BASE_BUTTON_OK, &ClosedGate, &first);
    both.SetButtonCallback(BASE_BUTTON_CONTINUE, &CountingGate, &last);
    both.SetButtonCallback(BASE_BUTTON_NEXT, &CountingGate, &next);
    const int result = RunModal(both, false, [&] {
        Release(both.GetButton(BASE_BUTTON_NEXT));  // Next never ends the dialog
        Release(both.GetButton(BASE_BUTTON_OK));
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 1);
    EXPECT_EQ(next, 1);
    EXPECT_EQ(RunModal(both, false, [&] { Release(both.GetButton(BASE_BUTTON_CONTINUE)); }), 8);  // run again
}

TEST(MessageBoxTest, EachKindShowsItsIconAndWrappedText) {
    const char* names[] = {"message_failed", "message_warning", "message_success", "message_information"};
    const char* texts[] = {"The device could not be connected. Check the USB cable and try again.",
                           "Some files could not be read; they are left out of the results.",
                           "All the chosen items were recovered into the folder you chose.",
                           "Relikorda for Android is already running. Close it before starting it again."};
    for (int kind = TIP_FAILED; kind <= TIP_INFORMATION; ++kind) {
        CPopTipWindow box(nullptr, kind, texts[kind],
                          kind == TIP_WARNING ? BASE_BUTTON_YES | BASE_BUTTON_NO : BASE_BUTTON_OK | BASE_BUTTON_CANCEL);
        box.Resize(500, 240);
        EXPECT_EQ(CPopTipWindow::IconFor(kind), "../res/" + std::string(kind == TIP_FAILED    ? "tip_failed.png"
                                                                     : kind == TIP_WARNING ? "tip_warnning.png"
                                                                     : kind == TIP_SUCCESS ? "tip_suc.png"
                                                                                           : "tip_info.png"));
        RunModal(box, true, [&] {
            // The border and the rounded corner it shapes.
            EXPECT_EQ(WindowPixel(box.GetWidget(), 0, 120), Rgb(102, 103, 104));
            EXPECT_TRUE(SaveWindowScreenshot(names[kind], box.GetWidget()));
            box.EndModal();
        });
        GtkAllocation area;
        gtk_widget_get_allocation(box.GetWidget(), &area);
        EXPECT_EQ(area.width, 500);
        EXPECT_EQ(area.height, 240);
    }
    EXPECT_EQ(CPopTipWindow::IconFor(7), "../res/tip_warnning.png");
}

TEST(AboutAndLanguageTest, AboutShowsVersionAndLinkTheLanguageDialogReportsAChange) {
    CBPIniParser* config = CUIPublic::Instance()->GetConfig();
    EXPECT_EQ(CAboutWindow::VersionLine(), "Version 5.1.0.9 (Build 2024.1)");
    {
        CAboutWindow about(nullptr);
        const int result = RunModal(about, false, [&] {
            EXPECT_TRUE(SaveWindowScreenshot("about", about.GetWidget()));
            Release(about.GetButton(BASE_BUTTON_OK));
        });
        EXPECT_EQ(result, 1);
        const std::string markup = gtk_label_get_label(GTK_LABEL(about.GetLinkLabel()->GetWidget()));
        EXPECT_NE(markup.find("href=\"https://relikorda.example/\""), std::string::npos) << markup;
    }
    // An address with a query keeps its label.
    CBPLinkLabel link(MakeLinkMarkup("Site", "https://relikorda.example/?a=1&b=\"2\"", "Arial 12px").c_str());
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(link.GetWidget())), "Site");
    struct Case {
        int start, chosen;
        bool ok;
        int id, changed;
    } cases[] = {{0, 1, true, 1, 1}, {0, 0, true, 0, 0}, {2, 1, false, 2, 0}};
    for (const Case& c : cases) {
        CLangWnd dialog(nullptr, c.start);
        RunModal(dialog, false, [&] {
            dialog.GetComboBox()->SetActive(c.chosen);
            if (c.start == 0 && c.chosen == 1) {
                EXPECT_TRUE(SaveWindowScreenshot("language", dialog.GetWidget()));
            }
            Release(c.ok ? static_cast<CBPWidget*>(dialog.GetButton(BASE_BUTTON_OK))
                         : dialog.GetTitleBar()->GetButton(TITLE_BUTTON_CLOSE));
        });
        int id = -1;
        EXPECT_EQ(dialog.GetSelection(&id), c.changed);
        EXPECT_EQ(id, c.id);
    }
    // Without a build number the parenthesis holds the label, a blank and nothing more.
    ASSERT_TRUE(config->SetKeyValueStr("AboutWindow", "BuildNo", ""));
    EXPECT_EQ(CAboutWindow::VersionLine(), "Version 5.1.0.9 (Build )");
    config->SetKeyValueStr("AboutWindow", "BuildNo", "2024.1");
}

TEST(TitleBarTest, DraggingMovesTheWindowUnlessItStartsOverTheButtons) {
    CBaseWnd dialog(nullptr, BASE_BUTTON_OK, 0);
    ASSERT_EQ(dialog.CreateFrame("Drag", "Drag me", 0, 0), 0);
    gtk_widget_set_size_request(dialog.GetWidget(), 400, 200);
    dialog.Show();
    ASSERT_TRUE(WaitShown(dialog.GetWidget()));
    CWindowTitle* title = dialog.GetTitleBar();
    EXPECT_EQ(WindowPixel(dialog.GetWidget(), 200, 12), Rgb(9, 162, 210));
    title->SetCaption("");
    EXPECT_EQ(title->GetCaption(), "Drag me");
    gtk_window_move(dialog.GetWindow(), 100, 100);
    PumpUntil([&] {
        gint x = 0, y = 0;
        gtk_window_get_position(dialog.GetWindow(), &x, &y);
        return x == 100 && y == 100;
    });
    GtkAllocation buttons;
    gtk_widget_get_allocation(title->GetButton(TITLE_BUTTON_CLOSE)->GetWidget(), &buttons);

    auto send = [&](GdkEventType type, double x, double y, double rootX, double rootY) {
        gboolean handled = FALSE;
        if (type == GDK_MOTION_NOTIFY) {
            GdkEventMotion event{};
            event.type = type;
            event.x = x, event.y = y, event.x_root = rootX, event.y_root = rootY;
            g_signal_emit_by_name(title->GetWidget(), "motion-notify-event", &event, &handled);
        } else {
            GdkEventButton event{};
            event.type = type;
            event.button = 1;
            event.x = x, event.y = y;
            g_signal_emit_by_name(title->GetWidget(),
                                  type == GDK_BUTTON_RELEASE ? "button-release-event" : "button-press-event", &event,
                                  &handled);
        }
    };
    // First motion over the buttons: no drag at all.
    send(GDK_BUTTON_PRESS, 50, 10, 0, 0);
    send(GDK_MOTION_NOTIFY, 60, 10, 100 + buttons.x + 5, 100 + buttons.y + 5);
    EXPECT_FALSE(title->IsPressed());
    send(GDK_MOTION_NOTIFY, 80, 30, 180, 130);
    EXPECT_FALSE(title->IsDragging());
    // Away from the buttons the window follows; passing over them later does not stop it.
    send(GDK_BUTTON_PRESS, 50, 10, 0, 0);
    send(GDK_MOTION_NOTIFY, 80, 30, 180, 130);
    EXPECT_TRUE(title->IsDragging());
    EXPECT_TRUE(PumpUntil([&] {
        gint x = 0, y = 0;
        gtk_window_get_position(dialog.GetWindow(), &x, &y);
        return x == 130 && y == 120;
    }));
    send(GDK_MOTION_NOTIFY, 50, 10, 130 + buttons.x + 5, 120 + buttons.y + 5);
    EXPECT_TRUE(title->IsDragging());
    send(GDK_BUTTON_RELEASE, 50, 10, 0, 0);
    EXPECT_FALSE(title->IsPressed());
    EXPECT_FALSE(title->IsDragging());
}

TEST(MainWindowTest, FrameMenuPagesAndTheWeeklyCheck) {
    CUIPublic* services = CUIPublic::Instance();
    CUIMainWin window;
    ScriptedController controller;
    controller.window = &window;
    services->SetLogicalController(&controller);
    window.Show();
    ASSERT_TRUE(WaitShown(window.GetWidget()));
    GtkAllocation area;
    gtk_widget_get_allocation(window.GetWidget(), &area);
    EXPECT_EQ(area.width, 1000);
    EXPECT_EQ(area.height, 620);
    EXPECT_TRUE(PumpUntil([&] { return window.IsShaped(); }));
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(window.GetWidget()), &x, &y);
    EXPECT_EQ(WindowPixel(window.GetWidget(), 300, 15), Rgb(9, 162, 210));   // the title bar
    EXPECT_EQ(WindowPixel(window.GetWidget(), 0, 300), Rgb(67, 67, 67));     // the border
    EXPECT_EQ(ScreenPixel(x, y), ScreenPixel(0, 0));                          // a shaped corner: the root
    EXPECT_NE(WindowPixel(window.GetWidget(), 4, 4), ScreenPixel(0, 0));

    // English: Language, help, update, About; the connection page cannot be maximised.
    std::vector<int> indexes;
    for (const auto& item : window.GetMenu()->Items()) indexes.push_back(item->GetIndex());
    EXPECT_EQ(indexes, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_FALSE(gtk_widget_get_sensitive(window.GetTitleBar()->GetButton(TITLE_BUTTON_MAXIMIZE)->GetWidget()));
    window.GetMenu()->Popup();
    GtkWidget* menu = window.GetMenu()->GetWidget();
    ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(menu); }));
    WaitShown(gtk_widget_get_toplevel(menu));
    EXPECT_TRUE(SaveWindowScreenshot("main_window_menu", window.GetWidget(), 0));
    gtk_menu_popdown(GTK_MENU(menu));

    // Pages swap at the next idle; the new page stands before the controller is told.
    window.ShowScanPage();
    EXPECT_NE(window.GetAnalysisPage(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return window.GetScanPage() != nullptr; }));
    EXPECT_EQ(window.GetAnalysisPage(), nullptr);
    EXPECT_TRUE(gtk_widget_get_sensitive(window.GetTitleBar()->GetButton(TITLE_BUTTON_MAXIMIZE)->GetWidget()));
    // Maximised, then Back (which restores the window): the next page's first press maximises.
    MaximiseRequests requests;
    CWindowTitle* title = window.GetTitleBar();
    Release(title->GetButton(TITLE_BUTTON_MAXIMIZE));
    ASSERT_TRUE(PumpUntil([&] { return requests.seen.size() == 1; }));
    window.ToggleMaximize(false);
    window.ShowAnalysisPage();
    ASSERT_TRUE(PumpUntil([&] { return window.GetAnalysisPage() != nullptr; }));
    window.ShowScanPage();
    ASSERT_TRUE(PumpUntil([&] { return window.GetScanPage() != nullptr; }));
    EXPECT_TRUE(gtk_widget_get_visible(title->GetButton(TITLE_BUTTON_MAXIMIZE)->GetWidget()));
    Release(title->GetButton(TITLE_BUTTON_MAXIMIZE));
    ASSERT_TRUE(PumpUntil([&] { return requests.seen.size() == 3; }));
    EXPECT_EQ(requests.seen, (std::vector<bool>{true, false, true}));
    window.ToggleMaximize(false);
    window.ShowAnalysisPage();
    ASSERT_TRUE(PumpUntil([&] { return window.GetAnalysisPage() != nullptr; }));
    EXPECT_EQ(controller.calls,
              (std::vector<std::string>{"StartScan after the page", "EnterConnectStage after the page",
                                        "StartScan after the page", "EnterConnectStage after the page"}));

    // The weekly update check: more than 604800 seconds since the last, stored before it runs.
    CBPIniParser* config = services->GetConfig();
    const gint64 now = 1700000000;
    struct Age {
        gint64 last;
        bool checks;
    } ages[] = {{now - 604800, false}, {now + 1, false}, {now - 604801, true}};
    for (const Age& age : ages) {
        config->SetKeyValueInt64("MainWin", "UpdateTime", age.last);
        const int before = window.UpdateChecks();
        window.WeeklyUpdateCheck(now);
        EXPECT_EQ(window.UpdateChecks() - before, age.checks ? 1 : 0) << age.last;
        EXPECT_EQ(config->GetKeyValueInt64("MainWin", "UpdateTime"), age.checks ? now : age.last);
    }
    services->SetLogicalController(nullptr);

    // Chinese: no Language entry, the customer service instead.
    ASSERT_TRUE(config->SetKeyValueStr("Public", "Language", "Chinese"));
    CUIMainWin chinese;
    indexes.clear();
    for (const auto& item : chinese.GetMenu()->Items()) indexes.push_back(item->GetIndex());
    EXPECT_EQ(indexes, (std::vector<int>{1, 2, 4, 3}));
    config->SetKeyValueStr("Public", "Language", "English");
}

TEST(SplashTest, EndsAfter39TicksRecordingTheDeviceStateThenTheMainWindowComes) {
    CUIPublic* services = CUIPublic::Instance();
    services->SetCurrentMsg(0);
    // Once its pictures have slid in: a screenshot, and the logic's device-state message.
    bool shot = false;
    g_timeout_add(20, +[](gpointer shot) -> gboolean {
        GList* windows = gtk_window_list_toplevels();
        GtkWidget* splash = nullptr;
        for (GList* item = windows; item; item = item->next) {
            GtkWidget* window = GTK_WIDGET(item->data);
            GtkAllocation area;
            gtk_widget_get_allocation(window, &area);
            if (gtk_widget_get_mapped(window) && area.width == 520) splash = window;
        }
        g_list_free(windows);
        if (!splash || !PicturesInside(splash, splash->allocation.height)) return TRUE;
        *static_cast<bool*>(shot) = SaveWindowScreenshot("splash", splash, 0);
        CNotifyCentor::Instance()->Notify(0x01010001, nullptr, 0);
        return FALSE;
    }, &shot);
    const gint64 start = g_get_monotonic_time();
    CSplashWin splash(services->ResFolder() + "statr-bg.png");
    const double seconds = (g_get_monotonic_time() - start) / 1e6;
    EXPECT_TRUE(shot);
    EXPECT_EQ(splash.TicksDone(), 39);
    EXPECT_GE(seconds, 3.0);
    EXPECT_LT(seconds, 60.0);  // 39 x 80 ms, however loaded the machine
    EXPECT_EQ(services->GetCurrentMsg(), 0x01010001u);
    EXPECT_FALSE(gtk_widget_get_visible(splash.GetWidget()));

    CUIMainWin* window = CUIMainWin::Instance();
    window->Show();
    ASSERT_TRUE(WaitShown(window->GetWidget()));
    GtkAllocation area;
    gtk_widget_get_allocation(window->GetWidget(), &area);
    EXPECT_EQ(area.width, 1000);
    EXPECT_EQ(area.height, 620);
    EXPECT_TRUE(SaveWindowScreenshot("main_window", window->GetWidget()));
}
