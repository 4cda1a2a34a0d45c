#pragma once
#include "outside/widgets/CBPWidget.h"

// A top-level window. A dialog runs it in a nested main loop of its own (DlgRun) until DlgUnRun.
class CBPWindow : public CBPWidget {
public:
    explicit CBPWindow(GtkWindowType type = GTK_WINDOW_TOPLEVEL);
    // Ends a nested loop that still runs.
    ~CBPWindow() override;

    GtkWindow* GetWindow() const { return GTK_WINDOW(GetWidget()); }
    // 0: no system title bar or border.
    void ShowWindowTitle(int show);
    void SetWinowModal(int modal);
    // Keeps the window above its parent.
    void BindParentWindow(CBPWindow* parent);

    // Runs a nested main loop until DlgUnRun; 0 when it ran, -1 when one already runs.
    int DlgRun(int flags);
    // Ends the nested loop; nothing when none runs.
    void DlgUnRun(int flags);
    bool IsDlgRunning() const { return loop_ != nullptr; }

    void MaximizeWindow();
    void UnMaximizaWindow();
    void MinizeWindow();
    // Neither maximised, minimised nor full screen.
    bool IsNormalState() const;
    // Moves the window's top-left corner to (x, y) on the screen.
    void MoveWindow(int x, int y, int stepMs, int steps);

private:
    GMainLoop* loop_ = nullptr;
};
