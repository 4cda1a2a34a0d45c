#include "outside/widgets/CBPLinkButton.h"

#include "platform/OpenUrl.h"

namespace {
constexpr const char* kLinkColour = "#0A6EBD";
}  // namespace

CBPLinkButton::CBPLinkButton(const char* text, int underline, int wrap)
    : CBPWidget(gtk_button_new()), underline_(underline != 0) {
    GtkWidget* button = GetWidget();
    gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
    gtk_button_set_focus_on_click(GTK_BUTTON(button), FALSE);
    label_ = gtk_label_new("");
    gtk_label_set_line_wrap(GTK_LABEL(label_), wrap ? TRUE : FALSE);
    // Not wrapped, a text longer than the button's room ends in an ellipsis.
    if (!wrap) gtk_label_set_ellipsize(GTK_LABEL(label_), PANGO_ELLIPSIZE_END);
    gtk_container_add(GTK_CONTAINER(button), label_);
    gtk_widget_show(label_);
    g_signal_connect(button, "clicked", G_CALLBACK(&CBPLinkButton::OnClicked), this);
    g_signal_connect(button, "enter-notify-event", G_CALLBACK(&CBPLinkButton::OnCrossing), this);
    g_signal_connect(button, "leave-notify-event", G_CALLBACK(&CBPLinkButton::OnCrossing), this);
    SetBtnTxt(text);
}

CBPLinkButton::~CBPLinkButton() {
    if (GetWidget()) g_signal_handlers_disconnect_by_data(GetWidget(), this);
}

void CBPLinkButton::ModifyBtnLabel(const char* font) {
    PangoFontDescription* description = pango_font_description_from_string(font ? font : "");
    gtk_widget_modify_font(label_, description);
    pango_font_description_free(description);
}

void CBPLinkButton::SetBtnTxt(const char* text) {
    text_ = text ? text : "";
    gchar* escaped = g_markup_escape_text(text_.c_str(), -1);
    gchar* markup = g_strdup_printf("<span color=\"%s\"%s>%s</span>", kLinkColour,
                                    underline_ ? " underline=\"single\"" : "", escaped);
    gtk_label_set_markup(GTK_LABEL(label_), markup);
    g_free(markup);
    g_free(escaped);
}

std::string CBPLinkButton::GetBtnTxt() const { return text_; }

void CBPLinkButton::BindUrl(const char* url) {
    url_ = url ? url : "";
    gtk_widget_set_tooltip_text(GetWidget(), url_.empty() ? nullptr : url_.c_str());
}

void CBPLinkButton::OnClicked(GtkButton*, gpointer self) {
    auto* link = static_cast<CBPLinkButton*>(self);
    if (!platform::IsWebAddress(link->url_)) return;
    if (platform::OpenUrl(link->url_)) ++link->opened_;
}

gboolean CBPLinkButton::OnCrossing(GtkWidget* widget, GdkEventCrossing* event, gpointer) {
    // The hand over the link; the button's input window carries the cursor.
    GdkWindow* input = GTK_BUTTON(widget)->event_window;
    if (!input) return FALSE;
    GdkCursor* hand = event->type == GDK_ENTER_NOTIFY ? gdk_cursor_new(GDK_HAND2) : nullptr;
    gdk_window_set_cursor(input, hand);
    if (hand) gdk_cursor_unref(hand);
    return FALSE;
}
