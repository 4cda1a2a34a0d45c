#include "outside/widgets/CBPCairoFont.h"

#include <pango/pangocairo.h>

namespace {

PangoLayout* MakeLayout(cairo_t* cr, const std::string& text, const char* font) {
    PangoLayout* layout = pango_cairo_create_layout(cr);
    pango_layout_set_text(layout, text.c_str(), -1);
    if (font) {
        PangoFontDescription* description = pango_font_description_from_string(font);
        pango_layout_set_font_description(layout, description);
        pango_font_description_free(description);
    }
    return layout;
}

}  // namespace

void CBPCairoFont::DrawEllipsizeFontEx(const std::string& text, const char* font, double x, double y, double width,
                                       GdkColor colour, int align, int wrap, double alpha) {
    if (!cairo_ || !cairo_->IsValid()) return;
    cairo_t* cr = cairo_->GetCairo();
    PangoLayout* layout = MakeLayout(cr, text, font);
    if (width > 0) {
        pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
        if (wrap) {
            pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
        } else {
            pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
        }
        pango_layout_set_alignment(layout, align == 1   ? PANGO_ALIGN_CENTER
                                           : align == 2 ? PANGO_ALIGN_RIGHT
                                                        : PANGO_ALIGN_LEFT);
    }
    cairo_set_source_rgba(cr, (colour.red & 0xFF) / 255.0, (colour.green & 0xFF) / 255.0,
                          (colour.blue & 0xFF) / 255.0, alpha < 0 ? 1.0 : alpha);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
}

int CBPCairoFont::DrawLineFeedFont(const std::string& text, const char* font, double x, double y, double width,
                                   GdkColor colour, bool measureOnly) {
    if (!cairo_ || !cairo_->IsValid() || text.empty()) return 0;
    cairo_t* cr = cairo_->GetCairo();
    PangoLayout* layout = MakeLayout(cr, text, font);
    if (width > 0) {
        pango_layout_set_width(layout, static_cast<int>(width * PANGO_SCALE));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout, &w, &h);
    if (!measureOnly) {
        cairo_set_source_rgb(cr, (colour.red & 0xFF) / 255.0, (colour.green & 0xFF) / 255.0,
                             (colour.blue & 0xFF) / 255.0);
        cairo_move_to(cr, x, y);
        pango_cairo_show_layout(cr, layout);
    }
    g_object_unref(layout);
    return h;
}
