#pragma once
#include "outside/widgets/CBPCairo.h"

// A circle in the current colour or shade: a filled disc (fill 1) or an outline of the line width
// (fill 0), centred on (cx, cy).
class CBPDrawCircle {
public:
    explicit CBPDrawCircle(CBPCairo* cairo) : cairo_(cairo) {}
    void DrawCircle(double cx, double cy, double radius, int fill, double lineWidth = 1.0);

private:
    CBPCairo* cairo_;
};
