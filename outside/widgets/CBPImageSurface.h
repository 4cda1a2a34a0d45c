#pragma once
#include "outside/widgets/CBPCairo.h"

// A picture from a file, drawn onto a CBPCairo; width and height 0 when it could not be read.
class CBPImageSurface {
public:
    explicit CBPImageSurface(const char* path);
    ~CBPImageSurface();
    CBPImageSurface(const CBPImageSurface&) = delete;
    CBPImageSurface& operator=(const CBPImageSurface&) = delete;

    int Width() const;
    int Height() const;
    void Draw(CBPCairo* cairo, double x, double y) const;

private:
    GdkPixbuf* image_ = nullptr;
};
