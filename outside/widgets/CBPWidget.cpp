#include "outside/widgets/CBPWidget.h"

CBPWidget::CBPWidget(GtkWidget* widget) { SetWidget(widget); }

CBPWidget::~CBPWidget() { SetWidget(nullptr); }

void CBPWidget::SetWidget(GtkWidget* widget) {
    if (widget) g_object_ref_sink(widget);
    if (widget_) {
        if (destroyWidgetWhenDelete_) gtk_widget_destroy(widget_);
        g_object_unref(widget_);
    }
    widget_ = widget;
}

GtkWidget* CBPWidget::GetWidget() const { return widget_; }

void CBPWidget::Show() {
    if (widget_) gtk_widget_show(widget_);
}

void CBPWidget::Hide() {
    if (widget_) gtk_widget_hide(widget_);
}

void CBPWidget::ShowAll() {
    if (widget_) gtk_widget_show_all(widget_);
}

void CBPWidget::HideAll() {
    if (widget_) gtk_widget_hide_all(widget_);
}

void CBPWidget::NoShowAll(int noShowAll) {
    if (widget_) gtk_widget_set_no_show_all(widget_, noShowAll ? TRUE : FALSE);
}

void CBPWidget::SetWidgetOpacity(double opacity) {
    if (!widget_ || !GTK_IS_WINDOW(widget_)) return;
    gtk_window_set_opacity(GTK_WINDOW(widget_), opacity < 0.0 ? 0.0 : opacity > 1.0 ? 1.0 : opacity);
}

void CBPWidget::GetWidgetSize(int* width, int* height) const {
    int w = -1, h = -1;
    if (widget_) gtk_widget_get_size_request(widget_, &w, &h);
    if (width) *width = w;
    if (height) *height = h;
}

gulong CBPWidget::RegisterCallBack(const char* signal, GCallback handler, gpointer data, bool after) {
    if (!widget_ || !signal || !handler) return 0;
    return after ? g_signal_connect_after(widget_, signal, handler, data)
                 : g_signal_connect(widget_, signal, handler, data);
}

void CBPWidget::Add(GtkWidget* child) {
    if (widget_ && child && GTK_IS_CONTAINER(widget_)) gtk_container_add(GTK_CONTAINER(widget_), child);
}
