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

private:
    CBPCairo* cairo_;
};
