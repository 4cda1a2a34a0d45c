#include "outside/widgets/CBPCairoPaths.h"

void CBPCairoPaths::SetPathRgb(int red, int green, int blue) { SetPathRgba(red, green, blue, 1.0); }

void CBPCairoPaths::SetPathRgba(int red, int green, int blue, double alpha) {
    if (!cairo_ || !cairo_->IsValid()) return;
    cairo_set_source_rgba(cairo_->GetCairo(), red / 255.0, green / 255.0, blue / 255.0, alpha);
}

void CBPCairoPaths::SetLinearShade(double x0, double y0, double x1, double y1, const std::vector<ShadeStop>& stops) {
    SetPattern(cairo_pattern_create_linear(x0, y0, x1, y1), stops);
}

void CBPCairoPaths::SetRadialShade(double cx, double cy, double r0, double r1, const std::vector<ShadeStop>& stops) {
    SetPattern(cairo_pattern_create_radial(cx, cy, r0, cx, cy, r1), stops);
}

void CBPCairoPaths::SetPattern(cairo_pattern_t* pattern, const std::vector<ShadeStop>& stops) {
    for (const ShadeStop& stop : stops)
        cairo_pattern_add_color_stop_rgba(pattern, stop.offset, stop.red / 255.0, stop.green / 255.0,
                                          stop.blue / 255.0, stop.alpha);
    if (cairo_ && cairo_->IsValid()) cairo_set_source(cairo_->GetCairo(), pattern);
    cairo_pattern_destroy(pattern);
}
