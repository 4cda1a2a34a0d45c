#include "outside/widgets/CBPDrawRoundRectangle.h"

#include <algorithm>
#include <cmath>

void CBPDrawRoundRectangle::AddPath(cairo_t* cr, double x, double y, double width, double height, double radius) {
    radius = std::max(0.0, std::min(radius, std::min(width, height) / 2));
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + width - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + width - radius, y + height - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + height - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

void CBPDrawRoundRectangle::DrawRoundRectangle(double x, double y, double width, double height, double radius,
                                               int fill) {
    if (!cairo_ || !cairo_->IsValid() || width <= 0 || height <= 0) return;
    cairo_t* cr = cairo_->GetCairo();
    cairo_new_path(cr);
    if (fill) {
        AddPath(cr, x, y, width, height, radius);
        cairo_fill(cr);
    } else {
        AddPath(cr, x + 0.5, y + 0.5, width - 1, height - 1, radius);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
}
