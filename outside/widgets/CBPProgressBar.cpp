#include "outside/widgets/CBPProgressBar.h"

CBPProgressBar::CBPProgressBar() : CBPWidget(gtk_event_box_new()) {
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(GetWidget()), FALSE);
    g_signal_connect(GetWidget(), "expose-event", G_CALLBACK(&CBPProgressBar::OnExpose), this);
}

CBPProgressBar::~CBPProgressBar() { g_signal_handlers_disconnect_by_data(GetWidget(), this); }

void CBPProgressBar::SetPaintCB(PaintFn paint) {
    paint_ = paint;
    gtk_widget_queue_draw(GetWidget());
}

void CBPProgressBar::SetFraction(double fraction) {
    fraction_ = fraction < 0.0 ? 0.0 : fraction > 1.0 ? 1.0 : fraction;
    gtk_widget_queue_draw(GetWidget());
}

void CBPProgressBar::SetError(bool error) {
    error_ = error;
    gtk_widget_queue_draw(GetWidget());
}

gboolean CBPProgressBar::OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* bar = static_cast<CBPProgressBar*>(self);
    if (bar->paint_) return bar->paint_(bar) ? TRUE : FALSE;
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    cairo_t* cr = gdk_cairo_create(gtk_widget_get_window(widget));
    cairo_rectangle(cr, area.x, area.y, area.width, area.height);
    cairo_set_source_rgb(cr, 0.85, 0.85, 0.85);
    cairo_fill(cr);
    cairo_rectangle(cr, area.x, area.y, area.width * bar->fraction_, area.height);
    cairo_set_source_rgb(cr, bar->error_ ? 1.0 : 0.4, bar->error_ ? 0.5 : 0.7, 0.1);
    cairo_fill(cr);
    cairo_destroy(cr);
    return TRUE;
}
