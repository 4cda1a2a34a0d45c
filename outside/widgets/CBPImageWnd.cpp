#include "outside/widgets/CBPImageWnd.h"

CBPImageWnd::CBPImageWnd(CBPWindow* parent, const char* background, int flags) {
    (void)flags;
    GtkWindow* window = GetWindow();
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_resizable(window, FALSE);
    if (parent) BindParentWindow(parent);
    gtk_widget_set_app_paintable(GetWidget(), TRUE);
    g_signal_connect(GetWidget(), "expose-event", G_CALLBACK(&CBPImageWnd::OnExpose), this);

    fixed_ = gtk_fixed_new();
    if (background && *background) background_ = gdk_pixbuf_new_from_file(background, nullptr);
    if (background_)
        gtk_widget_set_size_request(fixed_, gdk_pixbuf_get_width(background_), gdk_pixbuf_get_height(background_));
    gtk_container_add(GTK_CONTAINER(window), fixed_);
    gtk_widget_show(fixed_);
}

CBPImageWnd::~CBPImageWnd() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    if (background_) g_object_unref(background_);
}

void CBPImageWnd::MoveWidget(CBPWidget* widget, int x, int y) {
    if (widget) MoveWidget(widget->GetWidget(), x, y);
}

void CBPImageWnd::MoveWidget(GtkWidget* widget, int x, int y) {
    if (!widget) return;
    if (gtk_widget_get_parent(widget) == fixed_) {
        gtk_fixed_move(GTK_FIXED(fixed_), widget, x, y);
    } else {
        gtk_fixed_put(GTK_FIXED(fixed_), widget, x, y);
    }
}

gboolean CBPImageWnd::OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self) {
    auto* wnd = static_cast<CBPImageWnd*>(self);
    if (!wnd->background_) return FALSE;
    cairo_t* cr = gdk_cairo_create(gtk_widget_get_window(widget));
    gdk_cairo_region(cr, event->region);
    cairo_clip(cr);
    gdk_cairo_set_source_pixbuf(cr, wnd->background_, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    // The widgets over the picture are drawn by the default handler.
    return FALSE;
}
