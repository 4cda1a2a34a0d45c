#pragma once
#include "outside/widgets/CBPCairo.h"

// A straight line in the current colour or shade. A one-pixel line along whole pixel
// coordinates covers exactly the pixels below and right of it.
class CBPDrawLine {
public:
    explicit CBPDrawLine(CBPCairo* cairo) : cairo_(cairo) {}
    void DrawLine(double x0, double y0, double x1, double y1, double width);

private:
    CBPCairo* cairo_;
};
