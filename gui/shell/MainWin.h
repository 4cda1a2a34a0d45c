#pragma once
#include "outside/widgets/CBPWindow.h"

class CBPBox;
class CBPCairoImgButton;
class CBPComboBoxMenu;
class CWindowTitle;

// Main-menu entries, by the index their selection reports.
enum : int {
    MAIN_MENU_LANGUAGE = 0,
    MAIN_MENU_ONLINE_HELP = 1,
    MAIN_MENU_CHECK_UPDATE = 2,
    MAIN_MENU_ABOUT = 3,
    MAIN_MENU_SERVICE = 4,
};

// The GUI's one top-level window: frameless with rounded corners, its own title bar with a "more"
// button that opens the main menu, and one page at a time (the connection page or the scan page).
// Closing it ends the process. Main thread only.
class CUIMainWin : public CBPWindow {
public:
    static CUIMainWin* Instance();
    // The main window a widget stands in, or null.
    static CUIMainWin* Holding(GtkWidget* widget);

    // Made by Instance; a test may make more.
    CUIMainWin();
    ~CUIMainWin() override;

    // The page swaps run from an idle callback, so that a page may ask for its own replacement
    // from one of its handlers. The new page is built before the controller is told.
    void ShowAnalysisPage();
    void ShowScanPage();
    void ToggleMaximize(bool maximise);
    void CheckUpdate(bool silent);
    void ChangeLanguage();
    void RefreshCaption();
    static void ShowWindowByTitle(const char* title, bool iconify);
    // Starts this program again with "-R" and ends this process; false (and this process goes on)
    // when it could not be started.
    static bool RestartApplication();
    // The outline of a rounded rectangle: 4m + 8 points (m the distinct points of a quarter arc
    // of n steps), g_free them; null when r reaches half the width or height.
    static GdkPoint* RoundRectPolygon(int x, int y, int width, int height, int r, int n, int* count);

    CWindowTitle* GetTitleBar() const { return title_; }
    CBPComboBoxMenu* GetMenu() const { return menu_; }
    CBPCairoImgButton* GetMoreButton() const { return more_; }
    CBPWidget* GetAnalysisPage() const { return analysisPage_; }
    CBPWidget* GetScanPage() const { return scanPage_; }
    bool IsShaped() const { return shaped_ != 0; }
    // Update checks started so far.
    int UpdateChecks() const { return updateChecks_; }
    // The weekly check as the "show" handler runs it, at the given time.
    void WeeklyUpdateCheck(gint64 now);

private:
    enum class Page { None, Analysis, Scan };

    void BuildTitleBar();
    void SwapPage(Page page);
    void RequestPage(Page page);
    static gboolean OnSwapIdle(gpointer self);
    static void OnMenuSelected(int index, void* self);
    static void Quit(CUIMainWin* window);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnConfigure(GtkWidget* widget, GdkEventConfigure* event, gpointer self);
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean OnWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
    static void OnShow(GtkWidget* widget, gpointer self);
    static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean OnCloseReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnMinimizeReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnMaximizeReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);

    CBPBox* pageBox_ = nullptr;
    CWindowTitle* title_ = nullptr;
    CBPWidget* analysisPage_ = nullptr;  // the connection page
    CBPWidget* scanPage_ = nullptr;
    int shaped_ = 0;
    int maximised_ = 0;
    CBPCairoImgButton* more_ = nullptr;
    CBPComboBoxMenu* menu_ = nullptr;
    Page pendingPage_ = Page::None;
    guint swapIdle_ = 0;
    int updateChecks_ = 0;
};
