#pragma once
#include "outside/widgets/CBPCairo.h"

// The waiting mark: lines set round a centre like the spokes of a wheel, one of them dark and the
// others fading behind it; the dark one moves on by one every 80 ms. Not a widget: the owner draws
// it at a point of its own surface and redraws it while it waits.
class CBPLineWaiter {
public:
    // count lines (at least 2); clockwise non-zero turns clockwise.
    CBPLineWaiter(int count, int clockwise);

    // The length of each line in pixels, from its outer end inwards.
    void SetLineLength(int length);
    // The square the mark fills; the lines end at its edge.
    void SetSize(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return count_; }
    // The line drawn darkest at the given time (microseconds of g_get_monotonic_time).
    int HeadAt(gint64 microseconds) const;

    // Draws the mark with its top-left corner at (x, y).
    void Draw(CBPCairo* cairo, double x, double y) const;

private:
    int count_;
    bool clockwise_;
    int lineLength_ = 7;
    int width_ = 50;
    int height_ = 50;
};
