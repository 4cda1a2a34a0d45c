#include "outside/widgets/CBPLineWaiter.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr gint64 kStepMicroseconds = 80000;
constexpr double kLineWidth = 3.0;
}  // namespace

CBPLineWaiter::CBPLineWaiter(int count, int clockwise) : count_(std::max(count, 2)), clockwise_(clockwise != 0) {}

void CBPLineWaiter::SetLineLength(int length) { lineLength_ = std::max(length, 1); }

void CBPLineWaiter::SetSize(int width, int height) {
    width_ = std::max(width, 1);
    height_ = std::max(height, 1);
}

int CBPLineWaiter::HeadAt(gint64 microseconds) const {
    const int step = static_cast<int>((microseconds / kStepMicroseconds) % count_);
    return clockwise_ ? step : (count_ - step) % count_;
}

void CBPLineWaiter::Draw(CBPCairo* cairo, double x, double y) const {
    if (!cairo || !cairo->IsValid()) return;
    cairo_t* cr = cairo->GetCairo();
    const double outer = std::min(width_, height_) / 2.0 - kLineWidth / 2;
    const double inner = std::max(outer - lineLength_, 0.0);
    const double cx = x + width_ / 2.0, cy = y + height_ / 2.0;
    const int head = HeadAt(g_get_monotonic_time());
    cairo_save(cr);
    cairo_set_line_width(cr, kLineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (int i = 0; i < count_; ++i) {
        // Lines behind the head fade towards the tail.
        const int behind = clockwise_ ? (head - i + count_) % count_ : (i - head + count_) % count_;
        const double alpha = 1.0 - 0.85 * behind / (count_ - 1);
        const double angle = 2 * M_PI * i / count_ - M_PI / 2;
        cairo_set_source_rgba(cr, 0x3C / 255.0, 0x3C / 255.0, 0x3C / 255.0, alpha);
        cairo_move_to(cr, cx + inner * std::cos(angle), cy + inner * std::sin(angle));
        cairo_line_to(cr, cx + outer * std::cos(angle), cy + outer * std::sin(angle));
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}
