#include "outside/widgets/CBPCairoButton.h"

#include <glib.h>

CBPCairoButton::CBPCairoButton() {
    GtkWidget* button = gtk_button_new();
    gtk_widget_set_app_paintable(button, TRUE);
    g_signal_connect(button, "expose-event", G_CALLBACK(&CBPCairoButton::OnExpose), this);
    SetWidget(button);
}

CBPCairoButton::~CBPCairoButton() {
    if (GetWidget()) g_signal_handlers_disconnect_by_data(GetWidget(), this);
}

void CBPCairoButton::SetTip(const char* text, const char* extra) {
    tip_ = text ? text : "";
    std::string second = extra ? extra : "";
    if (!second.empty() && second.find_first_not_of(" \t") != std::string::npos) tip_ += "\n" + second;
    gtk_widget_set_tooltip_text(GetWidget(), tip_.empty() ? nullptr : tip_.c_str());
}

gboolean CBPCairoButton::OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self) {
    GdkWindow* window = gtk_widget_get_window(widget);
    if (!window || !self) return FALSE;
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    cairo_t* cr = gdk_cairo_create(window);
    gdk_cairo_region(cr, event->region);
    cairo_clip(cr);
    // A button has no window of its own: it paints on its parent's, at its allocation.
    cairo_translate(cr, area.x, area.y);
    static_cast<CBPCairoButton*>(self)->Paint(cr, gtk_widget_get_state(widget), area.width, area.height);
    cairo_destroy(cr);
    // The child (none here) still gets its expose.
    return TRUE;
}
