#include "gui/shell/tests/ShellTestSupport.h"

#include <filesystem>

#include "gui/shell/BaseWnd.h"
#include "gui/shell/tests/GuiTestSupport.h"

namespace fs = std::filesystem;

ScratchTree MakeScratchTree() {
    ScratchTree tree;
    tree.root = MakeTempFolder();
    tree.bin = tree.root + "/bin";
    tree.res = tree.root + "/res";
    fs::create_directory(tree.bin);
    fs::copy(std::string(RK_BUILD_DIR) + "/res", tree.res, fs::copy_options::recursive);
    fs::create_directory_symlink(std::string(RK_BUILD_DIR) + "/share", tree.root + "/share");
    // No update server: a weekly check of the main window fails at once, without the network.
    for (const auto& entry : fs::directory_iterator(tree.res + "/MultiLang")) {
        std::string text = ReadText(entry.path());
        const size_t link = text.find("UpdateURL=");
        if (link == std::string::npos) continue;
        text.erase(link + 10, text.find('\n', link) - link - 10);
        WriteText(entry.path(), text);
    }
    return tree;
}

void DrawPending() {
    // Bounded: an idle that always comes back must not hold the test here.
    for (int round = 0; round < 50; ++round) {
        gdk_flush();  // the server has handled every request; the events it sent are queued
        if (!gtk_events_pending()) break;
        for (int turn = 0; turn < 1000 && gtk_events_pending(); ++turn) gtk_main_iteration_do(FALSE);
    }
    gdk_window_process_all_updates();
    gdk_flush();
}

bool SaveScreenshot(const std::string& name, int x, int y, int width, int height) {
    const char* folder = getenv("RK_SCREENS");
    const std::string screens = folder && *folder ? folder : std::string(RK_BUILD_DIR) + "/screens";
    fs::create_directories(screens);
    DrawPending();
    const std::string crop = std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" +
                             std::to_string(y);
    const std::string file = screens + "/" + name + ".png";
    const char* argv[] = {"import", "-window", "root", "-crop", crop.c_str(), "+repage", file.c_str(), nullptr};
    gint status = -1;
    if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                      nullptr, &status, nullptr))
        return false;
    return status == 0 && fs::exists(file);
}

bool SaveWindowScreenshot(const std::string& name, GtkWidget* window, int margin) {
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(window), &x, &y);
    GtkAllocation area;
    gtk_widget_get_allocation(window, &area);
    return SaveScreenshot(name, x - margin, y - margin, area.width + 2 * margin, area.height + 2 * margin);
}

guint32 ScreenPixel(int x, int y) {
    gdk_window_process_all_updates();
    gdk_flush();
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gdk_get_default_root_window(), nullptr, x, y, 0, 0, 1, 1);
    if (!shot) return 0xFFFFFFFF;
    const guchar* p = gdk_pixbuf_get_pixels(shot);
    const guint32 rgb = (p[0] << 16) | (p[1] << 8) | p[2];
    g_object_unref(shot);
    return rgb;
}

guint32 WindowPixel(GtkWidget* window, int x, int y) {
    gint ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(window), &ox, &oy);
    return ScreenPixel(ox + x, oy + y);
}

bool WaitShown(GtkWidget* window) {
    if (!PumpUntil([&] { return gtk_widget_get_mapped(window); })) return false;
    DrawPending();
    return true;
}

namespace {

struct ModalRun {
    CBaseWnd* dialog;
    std::function<void()> action;
    guint poll = 0;
    guint limit = 0;
};

gboolean OnPoll(gpointer data) {
    auto* run = static_cast<ModalRun*>(data);
    if (!gtk_widget_get_mapped(run->dialog->GetWidget())) return TRUE;
    run->poll = 0;
    gdk_window_process_all_updates();
    run->action();
    return FALSE;
}

gboolean OnLimit(gpointer data) {
    auto* run = static_cast<ModalRun*>(data);
    run->limit = 0;
    run->dialog->SetResult(-1);
    run->dialog->EndModal();
    return FALSE;
}

}  // namespace

int RunModal(CBaseWnd& dialog, bool showAll, const std::function<void()>& action) {
    ModalRun run{&dialog, action};
    run.poll = g_timeout_add(20, &OnPoll, &run);
    run.limit = g_timeout_add(60000, &OnLimit, &run);
    const int result = dialog.DoModal(showAll);
    if (run.poll) g_source_remove(run.poll);
    if (run.limit) g_source_remove(run.limit);
    return result;
}

GtkWidget* FindButton(GtkWidget* widget, const std::string& text) {
    if (GTK_IS_BUTTON(widget)) {
        const char* label = gtk_button_get_label(GTK_BUTTON(widget));
        if (label && text == label) return widget;
    }
    if (!GTK_IS_CONTAINER(widget)) return nullptr;
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    GtkWidget* found = nullptr;
    for (GList* item = children; item && !found; item = item->next) found = FindButton(GTK_WIDGET(item->data), text);
    g_list_free(children);
    return found;
}
