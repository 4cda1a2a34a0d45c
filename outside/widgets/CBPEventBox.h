#pragma once
#include "outside/widgets/CBPWidget.h"

// A container that receives pointer events; with an invisible event window it draws on its
// parent's window, at its allocation.
class CBPEventBox : public CBPWidget {
public:
    CBPEventBox();
    void SetVisibleWindow(bool visible);
};
