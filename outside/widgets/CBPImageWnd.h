#pragma once
#include <string>

#include "outside/widgets/CBPWindow.h"

// A borderless window that shows a picture as its background, sized to it and centred on the
// screen; widgets are placed over the picture at fixed positions.
class CBPImageWnd : public CBPWindow {
public:
    CBPImageWnd(CBPWindow* parent, const char* background, int flags);
    ~CBPImageWnd() override;

    // Places the widget at (x, y) over the picture (adding it on first use); positions outside
    // the picture are clipped.
    void MoveWidget(CBPWidget* widget, int x, int y);
    void MoveWidget(GtkWidget* widget, int x, int y);
    CBPWidget* GetMainWindow() { return this; }

private:
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);

    GtkWidget* fixed_ = nullptr;
    GdkPixbuf* background_ = nullptr;
};
