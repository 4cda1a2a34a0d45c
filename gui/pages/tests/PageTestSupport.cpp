#include "gui/pages/tests/PageTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPLinkLabel.h"

namespace {

// Every test runs in bin/ of a scratch tree, so that "../res/" is a copy of its own.
class ScratchEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        tree_ = MakeScratchTree();
        ASSERT_EQ(chdir(tree_.bin.c_str()), 0);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
    }

private:
    ScratchTree tree_;
};
const auto* g_environment = ::testing::AddGlobalTestEnvironment(new ScratchEnvironment);

// Pointer releases that reached this program.
int g_releases = 0;
void CountingHandler(GdkEvent* event, gpointer) {
    if (event->type == GDK_BUTTON_RELEASE) ++g_releases;
    gtk_main_do_event(event);
}

struct Question {
    std::string text, shot;
};

gboolean OnQuestionPoll(gpointer data) {
    auto* question = static_cast<Question*>(data);
    GList* windows = gtk_window_list_toplevels();
    GtkWidget* button = nullptr;
    GtkWidget* dialog = nullptr;
    for (GList* item = windows; item && !button; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (!gtk_widget_get_mapped(window) || g_object_get_data(G_OBJECT(window), "rk-main-window")) continue;
        button = FindButton(window, question->text);
        dialog = window;
    }
    g_list_free(windows);
    if (!button) return TRUE;
    gdk_window_process_all_updates();
    if (!question->shot.empty()) SaveWindowScreenshot(question->shot, dialog);
    GdkEventButton release{};
    release.type = GDK_BUTTON_RELEASE;
    release.button = 1;
    gboolean handled = FALSE;
    g_signal_emit_by_name(button, "button-release-event", &release, &handled);
    delete question;
    return FALSE;
}

}  // namespace

void Settle() { DrawPending(); }

guint32 PixelAt(GtkWidget* widget, int x, int y) {
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    gint ox = 0, oy = 0;
    gdk_window_get_origin(gtk_widget_get_window(widget), &ox, &oy);
    if (gtk_widget_get_has_window(widget)) area.x = area.y = 0;
    return ScreenPixel(ox + area.x + x, oy + area.y + y);
}

bool IsNearColour(guint32 pixel, guint32 rgb, int tolerance) {
    for (int shift : {16, 8, 0}) {
        const int a = static_cast<int>(pixel >> shift & 0xFF), b = static_cast<int>(rgb >> shift & 0xFF);
        if (std::abs(a - b) > tolerance) return false;
    }
    return true;
}

bool AreaHasColour(GtkWidget* widget, guint32 rgb, int tolerance) {
    gdk_window_process_all_updates();
    gdk_flush();
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    if (gtk_widget_get_has_window(widget)) area.x = area.y = 0;
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(widget), nullptr, area.x, area.y, 0,
                                                   0, area.width, area.height);
    if (!shot) return false;
    const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* pixels = gdk_pixbuf_get_pixels(shot);
    bool found = false;
    for (int y = 0; y < area.height && !found; ++y) {
        for (int x = 0; x < area.width && !found; ++x) {
            const guchar* p = pixels + y * stride + x * channels;
            found = IsNearColour(static_cast<guint32>((p[0] << 16) | (p[1] << 8) | p[2]), rgb, tolerance);
        }
    }
    g_object_unref(shot);
    return found;
}

bool ClickLink(CBPLinkLabel* label, const std::string& linkText) {
    static const bool installed = (gdk_event_handler_set(&CountingHandler, nullptr, nullptr), true);
    (void)installed;
    GtkLabel* text = GTK_LABEL(label->GetWidget());
    PangoLayout* layout = gtk_label_get_layout(text);
    const char* shown = pango_layout_get_text(layout);
    const char* found = shown ? std::strstr(shown, linkText.c_str()) : nullptr;
    if (!found) return false;
    PangoRectangle letter;
    pango_layout_index_to_pos(layout, static_cast<int>(found - shown) + 2, &letter);
    gint lx = 0, ly = 0, ox = 0, oy = 0;
    gtk_label_get_layout_offsets(text, &lx, &ly);
    gdk_window_get_origin(gtk_widget_get_window(label->GetWidget()), &ox, &oy);
    const int x = ox + lx + PANGO_PIXELS(letter.x) + 2;
    const int y = oy + ly + PANGO_PIXELS(letter.y + letter.height / 2);
    const int before = g_releases;
    // From a corner: a synchronous move to where the pointer already stands would wait.
    const std::string sx = std::to_string(x), sy = std::to_string(y);
    const char* argv[] = {"xdotool", "mousemove", "0", "0", "mousemove", "--sync", sx.c_str(), sy.c_str(), "click", "1",
                          nullptr};
    gint status = -1;
    if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                      nullptr, &status, nullptr) ||
        status != 0)
        return false;
    return PumpUntil([&] { return g_releases > before; });
}

void AnswerNextQuestion(const std::string& text, const std::string& shot) {
    g_timeout_add(50, &OnQuestionPoll, new Question{text, shot});
}


GtkWidget* ShowDetailWindow(CScanSelectedDetail* detail, CScanSelectedBottom* bar) {
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    detail->SetBottomBar(bar);
    gtk_window_set_default_size(GTK_WINDOW(window), 900, 560);
    gtk_window_move(GTK_WINDOW(window), 0, 0);
    gtk_box_pack_start(GTK_BOX(box), detail->GetWidget(), TRUE, TRUE, 0);
    gtk_box_pack_start(GTK_BOX(box), bar->GetWidget(), FALSE, FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_widget_show_all(window);
    if (WaitShown(window)) return window;
    gtk_widget_destroy(window);
    return nullptr;
}
