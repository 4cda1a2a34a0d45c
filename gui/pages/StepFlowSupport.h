#pragma once
// What the connection steps' two source files share.
#include <gdk/gdk.h>
#include <glib.h>

#include <cmath>
#include <string>

#include "gui/pages/StepFlowWidget.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/MarkupHelpers.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPWidget.h"

namespace step_flow {

constexpr const char* kLinkFont = "Arial 14px";

inline GdkColor Colour(int red, int green, int blue) { return RgbColour(red, green, blue); }

// The label of a round button (white, in the link font) made smaller, down to 8 units, until it
// fits on a line across the middle of the button's disc; fits says whether it did.
inline std::string RoundButtonMarkup(const std::string& label, bool* fits) {
    const GdkColor white = Colour(255, 255, 255);
    const double radius = CBPButton::RoundRadius(CStepFlowWidget::kHostedButtonSide, CStepFlowWidget::kHostedButtonSide);
    PangoFontDescription* font = pango_font_description_from_string(GetTextInDomain(kLinkFont));
    const bool absolute = pango_font_description_get_size_is_absolute(font);
    std::string markup;
    for (int size = pango_font_description_get_size(font) / PANGO_SCALE;; --size) {
        if (absolute) pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
        else pango_font_description_set_size(font, size * PANGO_SCALE);
        gchar* description = pango_font_description_to_string(font);
        markup = MakeSpanMarkup(label, &white, description, nullptr, true);
        g_free(description);
        int width = 0, height = 0;
        MeasureMarkup(markup.c_str(), &width, &height, -1);
        const double half = height / 2.0;
        // A pixel of room on either side of the text.
        *fits = half < radius && width + 2 <= 2 * std::sqrt(radius * radius - half * half);
        if (*fits || size <= 8) break;
    }
    pango_font_description_free(font);
    return markup;
}

// format (a language text taking one "%s") filled with text; a translation that does not take
// exactly one "%s" gives the text alone, so it cannot mislead printf.
inline std::string FormatWithText(const std::string& format, const std::string& text) {
    const char* safe = CLanguageTable::Conversions(format.c_str()) == "%s" ? format.c_str() : "%s";
    gchar* filled = g_strdup_printf(safe, text.c_str());
    std::string result = filled ? filled : "";
    g_free(filled);
    return result;
}

// Deletes the wrapper now and lets the widget go at the next idle: a button may be deleted from
// its own "clicked" handler, whose emission still uses it.
inline void DeleteWrapperLater(CBPWidget* wrapper) {
    if (!wrapper) return;
    GtkWidget* widget = wrapper->GetWidget();
    if (widget) g_object_ref(widget);
    delete wrapper;
    if (widget) g_idle_add_full(G_PRIORITY_DEFAULT_IDLE, +[](gpointer) -> gboolean { return FALSE; }, widget,
                                g_object_unref);
}

}  // namespace step_flow
