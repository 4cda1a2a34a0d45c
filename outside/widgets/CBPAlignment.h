#pragma once
#include "outside/widgets/CBPWidget.h"

// Places its one child inside its area: alignment 0 (start) to 1 (end), scale 0 (natural size)
// to 1 (all the room).
class CBPAlignment : public CBPWidget {
public:
    CBPAlignment(double xalign, double yalign, double xscale, double yscale);
    void Set(double xalign, double yalign, double xscale, double yscale);
};
