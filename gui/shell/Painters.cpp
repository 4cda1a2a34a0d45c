#include "gui/shell/Painters.h"

#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPDrawRectangle.h"
#include "outside/widgets/CBPDrawRoundRectangle.h"
#include "outside/widgets/CBPProgressBar.h"

namespace {

constexpr int kLeastFill = 10;     // a started bar never looks empty
constexpr int kStripeStep = 6;

struct Box {
    double x, y, w, h;
    Box Shrunk() const { return {x + 1, y + 1, w - 2, h - 2}; }
};

void RoundBox(CBPCairo& cairo, const Box& box, int fill) {
    CBPDrawRoundRectangle(&cairo).DrawRoundRectangle(box.x, box.y, box.w, box.h, static_cast<int>(box.h) / 2, fill);
}

void DrawStripes(CBPCairo& cairo, const Box& inner, bool error) {
    cairo_t* cr = cairo.GetCairo();
    cairo_save(cr);
    CBPDrawRoundRectangle::AddPath(cr, inner.x, inner.y, inner.w, inner.h, static_cast<int>(inner.h) / 2);
    cairo_clip(cr);
    CBPCairoPaths paths(&cairo);
    CBPDrawLine line(&cairo);
    const double top = inner.y, bottom = inner.y + inner.h, right = inner.x + inner.w;
    for (double sx = inner.x + inner.h / 2; sx + kStripeStep <= right; sx += kStripeStep) {
        // Leaning right, from the bottom edge to the top edge.
        const double x0 = sx - inner.h / 2, x1 = sx + inner.h / 2;
        if (error) {
            paths.SetLinearShade(x0, bottom, x1, top, {{0.0, 255, 172, 0, 1.0}, {1.0, 255, 88, 0, 0.5}});
        } else {
            paths.SetLinearShade(x0, bottom, x1, top, {{0.0, 121, 171, 24, 1.0}, {1.0, 185, 214, 90, 1.0}});
        }
        line.DrawLine(x0, bottom, x1, top, kStripeStep);
    }
    cairo_restore(cr);
}

}  // namespace

int PaintProgressBar(CBPProgressBar* bar) {
    if (!bar || !bar->GetWidget() || !GTK_IS_WIDGET(bar->GetWidget())) return 0;
    GtkAllocation area;
    gtk_widget_get_allocation(bar->GetWidget(), &area);
    CBPCairo cairo(bar->GetWidget());
    if (!cairo.IsValid()) return 1;
    CBPCairoPaths paths(&cairo);
    const bool error = bar->IsError();

    const Box outer{double(area.x), double(area.y), double(area.width), double(area.height)};
    paths.SetPathRgb(188, 192, 183);
    RoundBox(cairo, outer, 1);
    paths.SetPathRgb(207, 211, 201);
    RoundBox(cairo, outer.Shrunk(), 1);
    paths.SetPathRgb(217, 221, 211);
    RoundBox(cairo, outer.Shrunk().Shrunk(), 0);

    const double share = bar->GetFraction() * area.width;
    const double fill = share > kLeastFill ? share : kLeastFill;
    const Box filled{outer.x + 1, outer.y + 1, fill, outer.h - 2};
    if (error) {
        paths.SetPathRgb(255, 194, 0);
    } else {
        paths.SetPathRgb(136, 174, 32);
    }
    RoundBox(cairo, filled, 1);
    const Box inner = filled.Shrunk();
    const double top = inner.y, bottom = inner.y + inner.h;
    if (error) {
        paths.SetLinearShade(0, top, 0, bottom, {{0.0, 255, 194, 0, 0.5}, {1.0, 255, 121, 0, 1.0}});
    } else {
        paths.SetLinearShade(0, top, 0, bottom,
                             {{0.0, 202, 225, 114, 1.0}, {0.3, 204, 226, 116, 1.0}, {1.0, 150, 191, 42, 1.0}});
    }
    RoundBox(cairo, inner, 1);
    DrawStripes(cairo, inner, error);
    return 1;
}

void DrawCallout(GtkWidget* widget, unsigned position, GdkColor fill, GdkColor stroke, const GdkRectangle* rect,
                 double alpha, double offset, double radius, double arrow) {
    if (!widget || !GTK_IS_WIDGET(widget)) return;
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    const GdkRectangle box = rect ? *rect : GdkRectangle{area.x, area.y, area.width, area.height};
    double x = box.x + 0.5, y = box.y + 0.5, w = box.width - 1, h = box.height + 1;
    const double r = radius, F = arrow, L = offset;
    // The box gives way to the pointer.
    if (position <= 2) {
        y += F;
        h -= F;
    } else if (position <= 5) {
        x += F;
        w -= F;
    } else if (position <= 8) {
        w -= F;
    } else if (position <= 11) {
        h -= F;
    }
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return;
    cairo_t* cr = cairo.GetCairo();
    cairo_new_path(cr);
    // The pointer of an edge: base start S, tip T, base end E, walked in path order.
    double sx = 0, sy = 0, tx = 0, ty = 0, ex = 0, ey = 0;
    switch (position) {
        case 0: sx = x + r + L; sy = y; tx = sx - F / 2; ty = y - F; break;
        case 1: sx = x + (w - F) / 2 + L; sy = y; tx = sx + F / 2; ty = y - F; break;
        case 2: sx = x + w - 2 * r - L; sy = y; tx = sx + 3 * F / 2; ty = y - F; break;
        case 6: sx = x + w; sy = y + r + L; tx = x + w + F; ty = sy - F / 2; break;
        case 7: sx = x + w; sy = y + (h - F) / 2 + L; tx = x + w + F; ty = sy + F / 2; break;
        case 8: sx = x + w; sy = y + h - r - F; tx = x + w + F; ty = sy + 3 * F / 2; break;
        case 9: sx = x + r + L + F; sy = y + h; tx = sx - 3 * F / 2; ty = y + h + F; break;
        case 10: sx = x + w / 2 + F / 2 + L; sy = y + h; tx = sx - F / 2; ty = y + h + F; break;
        case 11: sx = x + w - r - L; sy = y + h; tx = sx + F / 2; ty = y + h + F; break;
        case 3: sx = x; sy = y + r + L + F; tx = x - F; ty = sy - 3 * F / 2; break;
        case 4: sx = x; sy = y + h / 2 + F / 2 + L; tx = x - F; ty = sy - F / 2; break;
        case 5: sx = x; sy = y + h - r - L; tx = x - F; ty = sy + F / 2; break;
        default: break;
    }
    if (position <= 2) { ex = sx + F; ey = y; }
    else if (position <= 5) { ex = x; ey = sy - F; }
    else if (position <= 8) { ex = x + w; ey = sy + F; }
    else if (position <= 11) { ex = sx - F; ey = y + h; }
    const auto pointer = [&](unsigned first, unsigned last) {
        if (position < first || position > last) return;
        cairo_line_to(cr, sx, sy);
        cairo_line_to(cr, tx, ty);
        cairo_line_to(cr, ex, ey);
    };

    cairo_move_to(cr, x, y + r);
    cairo_curve_to(cr, x, y, x, y, x + r, y);
    pointer(0, 2);
    cairo_line_to(cr, x + w - r, y);
    cairo_curve_to(cr, x + w, y, x + w, y, x + w, y + r);
    pointer(6, 8);
    cairo_line_to(cr, x + w, y + h - r);
    cairo_curve_to(cr, x + w, y + h, x + w, y + h, x + w - r, y + h);
    pointer(9, 11);
    cairo_line_to(cr, x + r, y + h);
    cairo_curve_to(cr, x, y + h, x, y + h, x, y + h - r);
    pointer(3, 5);
    cairo_close_path(cr);

    CBPCairoPaths paths(&cairo);
    paths.SetPathRgba(fill.red & 0xFF, fill.green & 0xFF, fill.blue & 0xFF, alpha);
    cairo_fill_preserve(cr);
    paths.SetPathRgba(stroke.red & 0xFF, stroke.green & 0xFF, stroke.blue & 0xFF, alpha);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

void PaintStripWithTopLine(GtkWidget* widget, guint32 fill, guint32 line) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    CBPCairoPaths paths(&cairo);
    paths.SetPathRgb((fill >> 16) & 0xFF, (fill >> 8) & 0xFF, fill & 0xFF);
    CBPDrawRectangle(&cairo).DrawRectangle(a.x, a.y, a.width, a.height, 1);
    paths.SetPathRgb((line >> 16) & 0xFF, (line >> 8) & 0xFF, line & 0xFF);
    CBPDrawLine(&cairo).DrawLine(a.x, a.y, a.x + a.width, a.y, 1);
}
