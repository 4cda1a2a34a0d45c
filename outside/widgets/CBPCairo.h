#pragma once
#include <gtk/gtk.h>

// A cairo context on a widget's window (for a widget without a window of its own, its parent's,
// where it draws at its allocation) or on a drawable. Invalid when there is nothing to draw on.
class CBPCairo {
public:
    explicit CBPCairo(GtkWidget* widget);
    explicit CBPCairo(GdkDrawable* drawable);
    ~CBPCairo();
    CBPCairo(const CBPCairo&) = delete;
    CBPCairo& operator=(const CBPCairo&) = delete;

    cairo_t* GetCairo() const { return cr_; }
    bool IsValid() const { return cr_ != nullptr; }

private:
    cairo_t* cr_ = nullptr;
};
