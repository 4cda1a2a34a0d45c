#include "gui/shell/MarkupHelpers.h"

#include <gio/gio.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <cstdio>

#include "gui/shell/CLanguageTable.h"

namespace {

void AppendAttribute(std::string& span, const char* name, const std::string& value) {
    span += std::string(" ") + name + "=\"" + value + "\"";
}

// The translation of a printf format, unless it takes other conversions than the original.
const char* TranslatedFormat(const char* format) {
    const char* translated = GetTextInDomain(format);
    return CLanguageTable::Conversions(translated) == CLanguageTable::Conversions(format) ? translated : format;
}

}  // namespace

std::string ColorToHex(GdkColor colour, bool withHash) {
    char hex[8];
    const int n = std::snprintf(hex, sizeof hex, "%02X%02X%02X", colour.red & 0xFF, colour.green & 0xFF,
                                colour.blue & 0xFF);
    if (n != 6) return "";
    return withHash ? std::string("#") + hex : std::string(hex);
}

std::string MakeSpanMarkup(const std::string& text, const GdkColor* colour, const char* font, const char* underline,
                           bool checkText) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return "";
    std::string span = "<span";
    if (font) {
        std::string value = font;
        if (checkText && !IsPlainText(text)) ReplaceString(value, GetTextInDomain("Arial"), "", false);
        AppendAttribute(span, "font_desc", value);
    }
    if (colour) AppendAttribute(span, "color", ColorToHex(*colour, true));
    if (underline) AppendAttribute(span, "underline", underline);
    return span + ">" + text + "</span>";
}

std::string MakeLinkMarkup(const std::string& text, const std::string& url, const char* font) {
    // An '&' or '"' left bare in the address would make the whole markup invalid (an empty label).
    std::string href = EscapeMarkup(url);
    ReplaceString(href, "\"", "&quot;", false);
    return MakeSpanMarkup("<a href=\"" + href + "\">" + text + "</a>", nullptr, font, nullptr, true);
}

std::string EscapeMarkup(const std::string& text) {
    std::string escaped = text;
    ReplaceString(escaped, "&", "&amp;", false);
    ReplaceString(escaped, "<", "&lt;", false);
    ReplaceString(escaped, ">", "&gt;", false);
    return escaped;
}

std::string& ReplaceString(std::string& text, const std::string& pattern, const std::string& replacement,
                           bool firstOnly) {
    if (pattern.empty()) return text;
    std::string output;
    size_t from = 0;
    for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, from)) {
        output.append(text, from, at - from).append(replacement);
        from = at + pattern.size();
        if (firstOnly) break;
    }
    text = output + text.substr(from);
    return text;
}

bool IsPlainText(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        const signed char s = static_cast<signed char>(c);
        return s >= 0x21 && s <= 0x7E;
    });
}

std::string FormatSizeText(uint64_t size) {
    const double value = static_cast<double>(static_cast<int64_t>(size));
    struct Unit {
        double divisor;
        const char* format;
    };
    static const Unit units[] = {{1099511627776.0, "%.2f TB"}, {1073741824.0, "%.2f GB"}, {1048576.0, "%.2f MB"},
                                 {1024.0, "%.2f KB"}};
    gchar* text = nullptr;
    for (const Unit& unit : units) {
        if (value / unit.divisor > 1.0) {
            text = g_strdup_printf(TranslatedFormat(unit.format), value / unit.divisor);
            break;
        }
    }
    if (!text) text = g_strdup_printf(TranslatedFormat("%d Byte(s)"), static_cast<int>(static_cast<uint32_t>(size)));
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

std::string WithoutHyphens(const std::string& markup) {
#if PANGO_VERSION_CHECK(1, 44, 0)
    return "<span insert_hyphens=\"false\">" + markup + "</span>";
#else
    return markup;  // no Pango before 1.44 inserts hyphens
#endif
}

void MeasureMarkup(const char* markup, int* width, int* height, int wrapWidth) {
    if (!markup) return;
    GtkWidget* label = gtk_label_new("");
    g_object_ref_sink(label);
    gtk_label_set_use_markup(GTK_LABEL(label), TRUE);
    gtk_label_set_markup_with_mnemonic(GTK_LABEL(label), markup);
    PangoLayout* layout = gtk_widget_create_pango_layout(label, nullptr);
    if (layout) {
        if (wrapWidth != -1) {
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
            pango_layout_set_width(layout, wrapWidth * PANGO_SCALE);
        }
        pango_layout_set_markup(layout, markup, -1);
        pango_layout_get_pixel_size(layout, width, height);
        g_object_unref(layout);
    }
    gtk_widget_destroy(label);
    g_object_unref(label);
}

void GetMarkupPixelSize(const char* text, const char* font, int* width, int* height, int wrapWidth) {
    if (!text || !font) return;
    MeasureMarkup(MakeSpanMarkup(text, nullptr, font, nullptr, true).c_str(), width, height, wrapWidth);
}

GdkPixbuf* LoadScaledPixbuf(const void* bytes, size_t length, const std::string& path, int maxWidth, int maxHeight) {
    GdkPixbuf* source = nullptr;
    if (bytes) {
        GInputStream* stream = g_memory_input_stream_new_from_data(bytes, static_cast<gssize>(length), nullptr);
        source = gdk_pixbuf_new_from_stream(stream, nullptr, nullptr);
        g_input_stream_close(stream, nullptr, nullptr);
        g_object_unref(stream);
    }
    if (!source) source = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    if (!source || !GDK_IS_PIXBUF(source)) return nullptr;
    const int width = gdk_pixbuf_get_width(source), height = gdk_pixbuf_get_height(source);
    const double scale =
        std::min({static_cast<double>(maxWidth) / width, static_cast<double>(maxHeight) / height, 1.0});
    // A thin picture keeps at least one pixel on its short side.
    const int newWidth = std::max(1, static_cast<int>(width * scale));
    const int newHeight = std::max(1, static_cast<int>(height * scale));
    GdkPixbuf* scaled =
        gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, gdk_pixbuf_get_bits_per_sample(source), newWidth, newHeight);
    if (scaled) {
        gdk_pixbuf_scale(source, scaled, 0, 0, newWidth, newHeight, 0, 0, scale, scale, GDK_INTERP_NEAREST);
    }
    g_object_unref(source);
    return scaled;
}

bool GetImageFileSize(const std::string& path, int* width, int* height) {
    if (path.empty()) return false;
    GdkPixbuf* image = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    if (!image) return false;
    if (width) *width = gdk_pixbuf_get_width(image);
    if (height) *height = gdk_pixbuf_get_height(image);
    g_object_unref(image);
    return true;
}

bool PointInRect(int x, int y, int left, int top, int width, int height) {
    return left < x && x <= left + width && top < y && y <= top + height;
}

bool IsPointInRect(int x, int y, int left, int top, int width, int height) {
    return PointInRect(x, y, left, top, width, height);
}

guint ReplaceTimeoutSource(guint* id, guint interval, GSourceFunc function, gpointer data) {
    if (*id != 0) {
        g_source_remove(*id);
        *id = 0;
    }
    *id = g_timeout_add(interval, function, data);
    return *id;
}
