#include "outside/widgets/CBPWindow.h"

CBPWindow::CBPWindow(GtkWindowType type) : CBPWidget(gtk_window_new(type)) {}

CBPWindow::~CBPWindow() { DlgUnRun(0); }

void CBPWindow::ShowWindowTitle(int show) { gtk_window_set_decorated(GetWindow(), show ? TRUE : FALSE); }

void CBPWindow::SetWinowModal(int modal) { gtk_window_set_modal(GetWindow(), modal ? TRUE : FALSE); }

void CBPWindow::BindParentWindow(CBPWindow* parent) {
    gtk_window_set_transient_for(GetWindow(), parent ? parent->GetWindow() : nullptr);
}

int CBPWindow::DlgRun(int flags) {
    (void)flags;
    if (loop_) return -1;
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    loop_ = loop;
    g_main_loop_run(loop);
    // The window may be gone by now (deleted from inside the loop): touch only the loop.
    g_main_loop_unref(loop);
    return 0;
}

void CBPWindow::DlgUnRun(int flags) {
    (void)flags;
    if (!loop_) return;
    g_main_loop_quit(loop_);
    loop_ = nullptr;
}

void CBPWindow::MaximizeWindow() { gtk_window_maximize(GetWindow()); }

void CBPWindow::UnMaximizaWindow() { gtk_window_unmaximize(GetWindow()); }

void CBPWindow::MinizeWindow() { gtk_window_iconify(GetWindow()); }

bool CBPWindow::IsNormalState() const {
    GdkWindow* window = gtk_widget_get_window(GetWidget());
    if (!window) return true;
    const GdkWindowState odd =
        GdkWindowState(GDK_WINDOW_STATE_MAXIMIZED | GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_FULLSCREEN);
    return (gdk_window_get_state(window) & odd) == 0;
}

void CBPWindow::MoveWindow(int x, int y, int stepMs, int steps) {
    (void)stepMs;
    (void)steps;
    gtk_window_move(GetWindow(), x, y);
}
