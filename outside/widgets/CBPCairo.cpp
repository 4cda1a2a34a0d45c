#include "outside/widgets/CBPCairo.h"

CBPCairo::CBPCairo(GtkWidget* widget) {
    GdkWindow* window = widget && GTK_IS_WIDGET(widget) ? gtk_widget_get_window(widget) : nullptr;
    if (window) cr_ = gdk_cairo_create(window);
}

CBPCairo::CBPCairo(GdkDrawable* drawable) {
    if (drawable) cr_ = gdk_cairo_create(drawable);
}

CBPCairo::~CBPCairo() {
    if (cr_) cairo_destroy(cr_);
}
