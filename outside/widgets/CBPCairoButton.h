#pragma once
#include <string>

#include "outside/widgets/CBPWidget.h"

// A GTK button that paints itself with cairo: the button's behaviour (focus, states, signals such
// as "clicked" and "button-release-event") with a look of the subclass's making.
class CBPCairoButton : public CBPWidget {
public:
    ~CBPCairoButton() override;
    // The tooltip: text, and a second line when extra is not blank.
    void SetTip(const char* text, const char* extra);
    const std::string& Tip() const { return tip_; }

protected:
    CBPCairoButton();
    // Paints the button at (0, 0) in a width x height box for the given state.
    virtual void Paint(cairo_t* cr, GtkStateType state, int width, int height) = 0;

private:
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    std::string tip_;
};
