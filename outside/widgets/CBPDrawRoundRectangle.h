#pragma once
#include "outside/widgets/CBPCairo.h"

// A rectangle with rounded corners in the current colour or shade: filled (fill 1) or outlined
// one pixel wide (fill 0).
class CBPDrawRoundRectangle {
public:
    explicit CBPDrawRoundRectangle(CBPCairo* cairo) : cairo_(cairo) {}
    void DrawRoundRectangle(double x, double y, double width, double height, double radius, int fill);
    // The path alone.
    static void AddPath(cairo_t* cr, double x, double y, double width, double height, double radius);

private:
    CBPCairo* cairo_;
};
