#include "outside/widgets/CBPDrawRectangle.h"

void CBPDrawRectangle::DrawRectangle(double x, double y, double width, double height, int fill) {
    if (!cairo_ || !cairo_->IsValid()) return;
    cairo_t* cr = cairo_->GetCairo();
    cairo_new_path(cr);
    if (fill) {
        cairo_rectangle(cr, x, y, width, height);
        cairo_fill(cr);
    } else {
        cairo_rectangle(cr, x + 0.5, y + 0.5, width - 1, height - 1);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
    }
}
