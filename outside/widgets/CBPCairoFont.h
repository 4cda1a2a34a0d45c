#pragma once
#include <string>

#include "outside/widgets/CBPCairo.h"

// Text drawn onto a CBPCairo with Pango.
class CBPCairoFont {
public:
    explicit CBPCairoFont(CBPCairo* cairo) : cairo_(cairo) {}

    // Plain text in the font description and colour (0..255 in each field), its top-left at
    // (x, y), cut with an ellipsis at the end when wider than width (no limit when width <= 0).
    // align 0 left, 1 centre, 2 right within width; wrap non-zero breaks lines instead of
    // cutting; alpha below 0 means opaque.
    void DrawEllipsizeFontEx(const std::string& text, const char* font, double x, double y, double width,
                             GdkColor colour, int align, int wrap, double alpha);
    // Plain text in the font and colour, its top-left at (x, y), broken into lines at width
    // pixels (by words, or by characters inside a word too long for a line). Returns the pixel
    // height of the lines; with measureOnly nothing is drawn.
    int DrawLineFeedFont(const std::string& text, const char* font, double x, double y, double width,
                         GdkColor colour, bool measureOnly = false);

private:
    CBPCairo* cairo_;
};
