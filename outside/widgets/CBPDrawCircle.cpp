#include "outside/widgets/CBPDrawCircle.h"

#include <cmath>

void CBPDrawCircle::DrawCircle(double cx, double cy, double radius, int fill, double lineWidth) {
    if (!cairo_ || !cairo_->IsValid() || radius <= 0) return;
    cairo_t* cr = cairo_->GetCairo();
    cairo_new_path(cr);
    cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
    if (fill) {
        cairo_fill(cr);
    } else {
        cairo_set_line_width(cr, lineWidth);
        cairo_stroke(cr);
    }
}
