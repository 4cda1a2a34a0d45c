#include "outside/widgets/CBPLabel.h"

#include <string>

CBPLabel::CBPLabel(const char* text) : CBPWidget(gtk_label_new(text ? text : "")) {}

CBPLabel::CBPLabel(GtkWidget* label) : CBPWidget(label) {}

void CBPLabel::SetLabelText(const char* text) { gtk_label_set_text(GTK_LABEL(GetWidget()), text ? text : ""); }

void CBPLabel::SetLabelMarkText(const char* markup) {
    gtk_label_set_markup(GTK_LABEL(GetWidget()), markup ? markup : "");
}

void CBPLabel::SetLabelMarkup(const char* markup, const char* font, const char* colour) {
    std::string span = "<span";
    if (font) {
        gchar* value = g_markup_escape_text(font, -1);
        span += std::string(" font_desc=\"") + value + "\"";
        g_free(value);
    }
    if (colour) {
        gchar* value = g_markup_escape_text(colour, -1);
        span += std::string(" color=\"") + value + "\"";
        g_free(value);
    }
    span += std::string(">") + (markup ? markup : "") + "</span>";
    SetLabelMarkText(span.c_str());
}

const char* CBPLabel::GetLabelText() const { return gtk_label_get_text(GTK_LABEL(GetWidget())); }
