#include "outside/widgets/CBPLinkLabel.h"

namespace {

// A GtkLabel with the signal "url-activated".
struct RkLinkLabel {
    GtkLabel parent;
};
struct RkLinkLabelClass {
    GtkLabelClass parent;
};

G_DEFINE_TYPE(RkLinkLabel, rk_link_label, GTK_TYPE_LABEL)

guint g_urlActivated = 0;

gboolean OnActivateLink(GtkLabel* label, const gchar* uri, gpointer) {
    gint x = 0, y = 0;
    gtk_widget_get_pointer(GTK_WIDGET(label), &x, &y);
    g_signal_emit(label, g_urlActivated, 0, uri, x, y);
    return TRUE;  // never opened by the toolkit itself
}

void rk_link_label_class_init(RkLinkLabelClass* klass) {
    g_urlActivated = g_signal_new("url-activated", G_TYPE_FROM_CLASS(klass), G_SIGNAL_RUN_LAST, 0, nullptr, nullptr,
                                  g_cclosure_marshal_generic, G_TYPE_NONE, 3, G_TYPE_STRING, G_TYPE_INT, G_TYPE_INT);
}

void rk_link_label_init(RkLinkLabel* label) {
    g_signal_connect(label, "activate-link", G_CALLBACK(OnActivateLink), nullptr);
}

}  // namespace

CBPLinkLabel::CBPLinkLabel(const char* markup) : CBPLabel(GTK_WIDGET(g_object_new(rk_link_label_get_type(), nullptr))) {
    SetLabelMarkText(markup);
}

void CBPLinkLabel::SetLabelEllipsize(PangoEllipsizeMode mode) { gtk_label_set_ellipsize(GTK_LABEL(GetWidget()), mode); }
