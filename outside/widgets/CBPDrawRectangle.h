#pragma once
#include "outside/widgets/CBPCairo.h"

// A rectangle in the current colour or shade: filled (fill 1) or outlined one pixel wide.
class CBPDrawRectangle {
public:
    explicit CBPDrawRectangle(CBPCairo* cairo) : cairo_(cairo) {}
    void DrawRectangle(double x, double y, double width, double height, int fill);

private:
    CBPCairo* cairo_;
};
