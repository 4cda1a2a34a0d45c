#pragma once
// What the connection steps' two source files share.
#include <gdk/gdk.h>
#include <glib.h>

#include <string>

#include "gui/shell/CLanguageTable.h"
#include "outside/widgets/CBPWidget.h"

namespace step_flow {

constexpr const char* kLinkFont = "Arial 14px";

inline GdkColor Colour(int red, int green, int blue) {
    return GdkColor{0, static_cast<guint16>(red), static_cast<guint16>(green), static_cast<guint16>(blue)};
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
