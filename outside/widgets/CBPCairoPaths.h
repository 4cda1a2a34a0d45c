#pragma once
#include <vector>

#include "outside/widgets/CBPCairo.h"

// One colour stop of a shade: offset 0..1, colour 0..255, alpha 0..1.
struct ShadeStop {
    double offset;
    int red, green, blue;
    double alpha;
};

// Sets what the next fill or stroke on a CBPCairo paints with: a colour or a shade.
class CBPCairoPaths {
public:
    explicit CBPCairoPaths(CBPCairo* cairo) : cairo_(cairo) {}

    void SetPathRgb(int red, int green, int blue);
    void SetPathRgba(int red, int green, int blue, double alpha);
    // Along the line from (x0, y0) to (x1, y1).
    void SetLinearShade(double x0, double y0, double x1, double y1, const std::vector<ShadeStop>& stops);
    // From the circle (cx, cy, r0) outwards to radius r1.
    void SetRadialShade(double cx, double cy, double r0, double r1, const std::vector<ShadeStop>& stops);

private:
    void SetPattern(cairo_pattern_t* pattern, const std::vector<ShadeStop>& stops);
    CBPCairo* cairo_;
};
