#include "gui/shell/MainWin.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>

#include "gui/pages/AnalysisMain.h"
#include "gui/pages/AutoUpdateWnd.h"
#include "gui/pages/ScanMain.h"
#include "gui/shell/AboutWindow.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/LangWnd.h"
#include "gui/shell/PopTipWindow.h"
#include "gui/shell/UsageStats.h"
#include "gui/shell/WindowTitle.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPComboBoxMenu.h"
#include "outside/widgets/CBPDrawRoundRectangle.h"
#include "outside/widgets/CBPIniParser.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

namespace {

constexpr gint64 kWeekSeconds = 604800;
constexpr guint kKeyF1 = 65470;
constexpr double kBorderRadius = 6;
constexpr int kShapeRadius = 4;
constexpr int kShapeSteps = 50;
constexpr const char* kLanguageNames[] = {"English", "French", "German", "Chinese"};
constexpr const char* kWindowKey = "rk-main-window";

struct MenuEntry {
    int index;
    const char* icon;
    const char* key;
};
constexpr MenuEntry kMenu[] = {
    {MAIN_MENU_LANGUAGE, "Language_normal.png", "MENU_ITEM_LANGUAGE"},
    {MAIN_MENU_ONLINE_HELP, "help.png", "MENU_ITEM_ONLINE_HELP"},
    {MAIN_MENU_CHECK_UPDATE, "check_upgrade_normal.png", "MENU_ITEM_CHECK_UPDATE"},
    {MAIN_MENU_SERVICE, "icon_zaixiankefu.png", "MENU_ITEM_QQ_SERVICE"},
    {MAIN_MENU_ABOUT, "about.png", "MENU_ITEM_ABOUT"},
};

void ReadSize(const char* key, int* width, int* height) {
    CUIPublic::Instance()->GetConfig()->GetKeyIntPoint("MainWin", key, width, height);
}

}  // namespace

CUIMainWin* CUIMainWin::Instance() {
    static CUIMainWin window;
    return &window;
}

CUIMainWin* CUIMainWin::Holding(GtkWidget* widget) {
    if (!widget) return nullptr;
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    return top ? static_cast<CUIMainWin*>(g_object_get_data(G_OBJECT(top), kWindowKey)) : nullptr;
}

CUIMainWin::CUIMainWin() : CBPWindow(GTK_WINDOW_TOPLEVEL) {
    CUIPublic* services = CUIPublic::Instance();
    GtkWindow* window = GetWindow();
    int width = 1000, height = 620;
    ReadSize("WinSize", &width, &height);
    gtk_window_set_default_size(window, width, height);
    gtk_widget_set_size_request(GetWidget(), width, height);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_widget_set_events(GetWidget(), GDK_STRUCTURE_MASK | GDK_BUTTON1_MOTION_MASK);
    gtk_window_set_title(window, services->GetTitleText().c_str());
    gtk_window_set_icon_from_file(window, services->GetIconPath().c_str(), nullptr);
    ShowWindowTitle(0);
    g_signal_connect(GetWidget(), "key-press-event", G_CALLBACK(&CUIMainWin::OnKeyPress), this);
    g_signal_connect(GetWidget(), "configure-event", G_CALLBACK(&CUIMainWin::OnConfigure), this);
    g_signal_connect_after(GetWidget(), "expose-event", G_CALLBACK(&CUIMainWin::OnExpose), this);
    g_signal_connect(GetWidget(), "window-state-event", G_CALLBACK(&CUIMainWin::OnWindowState), this);
    g_signal_connect(GetWidget(), "show", G_CALLBACK(&CUIMainWin::OnShow), this);
    g_signal_connect(GetWidget(), "delete-event", G_CALLBACK(&CUIMainWin::OnDelete), this);
    gtk_widget_set_name(GetWidget(), "StepFlowWin");
    g_object_set_data(G_OBJECT(GetWidget()), kWindowKey, this);

    pageBox_ = new CBPBox(true, false, 0);
    pageBox_->Show();
    gtk_container_set_border_width(GTK_CONTAINER(pageBox_->GetWidget()), 2);
    Add(pageBox_->GetWidget());
    BuildTitleBar();
    // Nothing runs inside a page yet: the first page comes at once.
    SwapPage(Page::Analysis);
}

CUIMainWin::~CUIMainWin() {
    if (swapIdle_) g_source_remove(swapIdle_);
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    g_object_set_data(G_OBJECT(GetWidget()), kWindowKey, nullptr);
    delete analysisPage_;
    delete scanPage_;
    delete menu_;
    delete more_;
    delete title_;
    delete pageBox_;
}

void CUIMainWin::BuildTitleBar() {
    CUIPublic* services = CUIPublic::Instance();
    const std::string& res = services->ResFolder();
    title_ = new CWindowTitle(this);
    title_->Show();
    int width = 1000, height = -1;
    ReadSize("WinTitleSize", &width, &height);
    gtk_widget_set_size_request(title_->GetWidget(), width, height);
    title_->RegisterButtonCallback(TITLE_BUTTON_CLOSE, "button-release-event", G_CALLBACK(&CUIMainWin::OnCloseReleased),
                                   this);
    title_->RegisterButtonCallback(TITLE_BUTTON_MINIMIZE, "button-release-event",
                                   G_CALLBACK(&CUIMainWin::OnMinimizeReleased), this);
    title_->RegisterButtonCallback(TITLE_BUTTON_MAXIMIZE | TITLE_BUTTON_RESTORE, "button-release-event",
                                   G_CALLBACK(&CUIMainWin::OnMaximizeReleased), this);

    more_ = CUIPublic::MakeImageButton((res + "more.png").c_str(), (res + "more_hover.png").c_str(),
                                       (res + "more_click.png").c_str(), (res + "more_disable.png").c_str());
    more_->SetTip(GetLangString("MORE_MENU_TIP"), " ");
    menu_ = new CBPComboBoxMenu(more_, 0);
    // The configured size is the least an entry takes: a longer text ("Rechercher des mises à jour")
    // widens the menu rather than being cut.
    int itemWidth = -1, itemHeight = -1;
    ReadSize("TitleMoreButSize", &itemWidth, &itemHeight);
    const bool chinese = services->GetLanguageId() == LANGUAGE_CHINESE;
    for (const MenuEntry& entry : kMenu) {
        if (entry.index == MAIN_MENU_LANGUAGE && chinese) continue;
        if (entry.index == MAIN_MENU_SERVICE && !chinese) continue;
        const char* text = GetLangString(entry.key);
        if (!*text) continue;
        CBPComboBoxMenuItem* item = menu_->AppendMenuItem(text, entry.index);
        CUIPublic::SetSizeAtLeast(item->GetWidget(), itemWidth, itemHeight);
        item->RegisterSelFP(&CUIMainWin::OnMenuSelected, this);
        const std::string icon = res + entry.icon;
        item->SetIcon(icon.c_str(), icon.c_str(), icon.c_str(), icon.c_str());
    }
    more_->Show();
    title_->PackButton(more_, 0);
    pageBox_->PackStart(title_, false, false, 0);
}

void CUIMainWin::ShowAnalysisPage() { RequestPage(Page::Analysis); }

void CUIMainWin::ShowScanPage() { RequestPage(Page::Scan); }

void CUIMainWin::RequestPage(Page page) {
    pendingPage_ = page;
    if (!swapIdle_) swapIdle_ = g_idle_add(&CUIMainWin::OnSwapIdle, this);
}

gboolean CUIMainWin::OnSwapIdle(gpointer self) {
    auto* window = static_cast<CUIMainWin*>(self);
    window->swapIdle_ = 0;
    const Page page = window->pendingPage_;
    window->pendingPage_ = Page::None;
    window->SwapPage(page);
    return FALSE;
}

void CUIMainWin::SwapPage(Page page) {
    if (page == Page::None) return;
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    delete analysisPage_;
    analysisPage_ = nullptr;
    delete scanPage_;
    scanPage_ = nullptr;
    CBPWidget* box = page == Page::Analysis ? static_cast<CBPWidget*>(new CAnalysisMain()) : new CScanMain();
    box->Show();
    pageBox_->PackStart(box, true, true, 0);
    title_->HideButtons(TITLE_BUTTON_RESTORE);
    title_->ShowButtons(TITLE_BUTTON_MAXIMIZE);
    // The page stands (and listens) before the controller is told, so that no message is lost.
    if (page == Page::Analysis) {
        analysisPage_ = box;
        title_->DisableButtons(TITLE_BUTTON_MAXIMIZE | TITLE_BUTTON_RESTORE);
        if (controller) controller->EnterConnectStage();
    } else {
        scanPage_ = box;
        title_->EnableButtons(TITLE_BUTTON_MAXIMIZE | TITLE_BUTTON_RESTORE);
        if (controller) controller->StartScan();
    }
}

void CUIMainWin::ToggleMaximize(bool maximise) {
    // Whoever asks (the title bar, Back), the next press of the title bar's button does the other.
    maximised_ = maximise ? 1 : 0;
    if (maximise) {
        MaximizeWindow();
    } else {
        UnMaximizaWindow();
    }
}

void CUIMainWin::CheckUpdate(bool silent) {
    CUIPublic* services = CUIPublic::Instance();
    if (services->GetLanguageId() == LANGUAGE_CHINESE) {
        CUIPublic::OpenUrl(services->GetUpdateLink());
        return;
    }
    ++updateChecks_;
    CAutoUpdateWnd window(this);
    window.CreateFrame();
    window.SetSilent(silent ? 1 : 0);
    window.StartCheck();
    // A silent check shows its window only when a newer version exists.
    if (silent) {
        window.DlgRun(0);
    } else {
        window.DoModal(false);
    }
}

void CUIMainWin::WeeklyUpdateCheck(gint64 now) {
    CBPIniParser* config = CUIPublic::Instance()->GetConfig();
    const gint64 last = config->GetKeyValueInt64("MainWin", "UpdateTime");
    const gint64 age = now - last;
    if (age < 0 || age <= kWeekSeconds) return;
    config->SetKeyValueInt64("MainWin", "UpdateTime", now);
    CheckUpdate(true);
}

void CUIMainWin::ChangeLanguage() {
    CUIPublic* services = CUIPublic::Instance();
    const int current = services->GetLanguageId();
    int chosen = current;
    {
        CLangWnd dialog(this, current);
        dialog.DoModal(false);
        if (!dialog.GetSelection(&chosen)) return;
    }
    CPopTipWindow prompt(this, TIP_INFORMATION, GetLangString("CHANGE_LANGUAGE_PROMPT"),
                         BASE_BUTTON_OK | BASE_BUTTON_CANCEL);
    prompt.SetFocusButton(BASE_BUTTON_CANCEL);
    prompt.SetButtonText(BASE_BUTTON_OK, GetLangString("LANGUAGE_PROMPT_RESTART"));
    prompt.Resize(450, 180);
    if (prompt.DoModal(true) != BASE_RESULT_OK) return;
    const char* name = chosen >= 0 && chosen <= 3 ? kLanguageNames[chosen] : kLanguageNames[0];
    services->GetConfig()->SetKeyValueStr("Public", "Language", name);
    RestartApplication();
}

void CUIMainWin::RefreshCaption() {
    title_->SetCaption(CUIPublic::Instance()->GetTitleText());
    if (title_->GetWidget() && GTK_IS_WIDGET(title_->GetWidget())) gtk_widget_queue_draw(title_->GetWidget());
}

void CUIMainWin::ShowWindowByTitle(const char* title, bool iconify) {
    if (!title) return;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        GtkWindow* window = GTK_WINDOW(item->data);
        const char* name = gtk_window_get_title(window);
        if (!name || std::string(name) != title) continue;
        if (iconify) {
            gtk_window_iconify(window);
        } else {
            gtk_window_present(window);
        }
        break;
    }
    g_list_free(windows);
}

bool CUIMainWin::RestartApplication() {
    // The running program itself, wherever it lies: the new one waits for this one to end.
    const std::string self = platform::GetExecutablePath();
    if (self.empty() || !platform::StartProcess(self, {"-R"})) return false;
    std::exit(0);
}

GdkPoint* CUIMainWin::RoundRectPolygon(int x, int y, int width, int height, int r, int n, int* count) {
    if (r >= width / 2 || r >= height / 2 || n <= 0) return nullptr;
    GdkPoint* arc = g_new0(GdkPoint, n);
    int m = 0;
    for (int i = 0; i < n; ++i) {
        const double angle = i * 3.141592653589793 * 90 / (n * 180.0);
        const GdkPoint point{static_cast<gint>(std::sin(angle) * r), static_cast<gint>(std::cos(angle) * r)};
        if (m > 0 && arc[m - 1].x == point.x && arc[m - 1].y == point.y) continue;
        arc[m++] = point;
    }
    GdkPoint* points = static_cast<GdkPoint*>(g_malloc0(sizeof(GdkPoint) * (4 * m + 8)));
    int k = 0;
    const auto add = [&](int px, int py) { points[k++] = GdkPoint{px, py}; };
    for (int i = m - 1; i >= 0; --i) add(x + r - arc[i].x, y + r - arc[i].y);
    add(x + r, y);
    add(x + width - r, y);
    for (int i = 0; i < m; ++i) add(x + width + arc[i].x - r, y + r - arc[i].y);
    add(x + width, y + r);
    add(x + width, y + height - r);
    for (int i = m - 1; i >= 0; --i) add(x + width + arc[i].x - r, y + height + arc[i].y - r);
    add(x + width - r, y + height);
    add(x + r, y + height);
    for (int i = 0; i < m; ++i) add(x + r - arc[i].x, y + height + arc[i].y - r);
    add(x, y + height - r);
    add(x, y + r);
    g_free(arc);
    if (count) *count = k;
    return points;
}

void CUIMainWin::OnMenuSelected(int index, void* self) {
    auto* window = static_cast<CUIMainWin*>(self);
    CUIPublic* services = CUIPublic::Instance();
    switch (index) {
        case MAIN_MENU_LANGUAGE: window->ChangeLanguage(); break;
        case MAIN_MENU_ONLINE_HELP:
            services->ReportEvent(USAGE_EVENT_SUPPORT_MENU);
            CUIPublic::OpenUrl(services->GetSupportUrl());
            break;
        case MAIN_MENU_CHECK_UPDATE: window->CheckUpdate(false); break;
        case MAIN_MENU_SERVICE: CUIPublic::OpenUrl(services->GetServiceUrl()); break;
        case MAIN_MENU_ABOUT: {
            CAboutWindow about(window);
            about.DoModal(false);
            break;
        }
        default: break;
    }
}

void CUIMainWin::Quit(CUIMainWin* window) {
    CUIPublic* services = CUIPublic::Instance();
    window->HideAll();
    services->ReleaseLogicalController();
    services->ReportValue(USAGE_VALUE_QUIT, 1);
    services->ReportCounters();
    services->ReportShutdown();
    std::exit(0);
}

gboolean CUIMainWin::OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer) {
    if (event && event->type == GDK_KEY_PRESS && event->keyval == kKeyF1)
        CUIPublic::OpenUrl(CUIPublic::Instance()->GetSupportUrl());
    return FALSE;
}

gboolean CUIMainWin::OnConfigure(GtkWidget* widget, GdkEventConfigure*, gpointer self) {
    static_cast<CUIMainWin*>(self)->shaped_ = 0;
    gtk_widget_queue_draw(widget);
    return FALSE;
}

gboolean CUIMainWin::OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* window = static_cast<CUIMainWin*>(self);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    CBPCairoPaths(&cairo).SetPathRgb(67, 67, 67);
    CBPDrawRoundRectangle(&cairo).DrawRoundRectangle(0, 0, a.width, a.height, kBorderRadius, 0);
    if (!window->shaped_) {
        int count = 0;
        if (GdkPoint* points = RoundRectPolygon(0, 0, a.width, a.height, kShapeRadius, kShapeSteps, &count)) {
            GdkRegion* region = gdk_region_polygon(points, count, GDK_WINDING_RULE);
            gdk_window_shape_combine_region(gtk_widget_get_window(widget), region, 0, 0);
            gdk_region_destroy(region);
            g_free(points);
            window->shaped_ = 1;
        }
    }
    return FALSE;
}

gboolean CUIMainWin::OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self) {
    if (!GTK_IS_WINDOW(widget)) return FALSE;
    if (event && (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED))
        ShowWindowByTitle(CUIPublic::Instance()->GetTitleText().c_str(), true);
    static_cast<CUIMainWin*>(self)->shaped_ = 0;
    return FALSE;
}

void CUIMainWin::OnShow(GtkWidget*, gpointer self) {
    static_cast<CUIMainWin*>(self)->WeeklyUpdateCheck(static_cast<gint64>(time(nullptr)));
}

gboolean CUIMainWin::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    Quit(static_cast<CUIMainWin*>(self));
    return TRUE;
}

gboolean CUIMainWin::OnCloseReleased(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event && event->button == 1) Quit(static_cast<CUIMainWin*>(self));
    return FALSE;
}

gboolean CUIMainWin::OnMinimizeReleased(GtkWidget*, GdkEventButton* event, gpointer self) {
    if (event && event->button == 1) static_cast<CUIMainWin*>(self)->MinizeWindow();
    return FALSE;
}

gboolean CUIMainWin::OnMaximizeReleased(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* window = static_cast<CUIMainWin*>(self);
    if (!event || event->button != 1) return FALSE;
    window->ToggleMaximize(window->maximised_ == 0);
    return FALSE;
}
