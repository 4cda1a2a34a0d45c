#pragma once
#include "outside/widgets/CBPWidget.h"

// A row (horizontal) or column (vertical) of widgets.
class CBPBox : public CBPWidget {
public:
    CBPBox(bool vertical, bool homogeneous, int spacing);

    void PackStart(GtkWidget* child, bool expand, bool fill, int padding);
    void PackEnd(GtkWidget* child, bool expand, bool fill, int padding);
    void PackStart(CBPWidget* child, bool expand, bool fill, int padding);
    void PackEnd(CBPWidget* child, bool expand, bool fill, int padding);
};
