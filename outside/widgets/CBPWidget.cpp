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
