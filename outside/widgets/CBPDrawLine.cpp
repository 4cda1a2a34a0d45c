#include "outside/widgets/CBPDrawLine.h"

#include <cmath>

void CBPDrawLine::DrawLine(double x0, double y0, double x1, double y1, double width) {
    if (!cairo_ || !cairo_->IsValid()) return;
    cairo_t* cr = cairo_->GetCairo();
    // Odd widths on whole coordinates are shifted half a pixel so that they stay sharp.
    const double shift = std::fmod(width, 2.0) == 1.0 ? 0.5 : 0.0;
    const bool horizontal = y0 == y1, vertical = x0 == x1;
    cairo_new_path(cr);
    cairo_move_to(cr, x0 + (vertical ? shift : 0), y0 + (horizontal ? shift : 0));
    cairo_line_to(cr, x1 + (vertical ? shift : 0), y1 + (horizontal ? shift : 0));
    cairo_set_line_width(cr, width);
    cairo_stroke(cr);
}
