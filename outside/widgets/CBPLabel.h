#pragma once
#include "outside/widgets/CBPWidget.h"

// A text label, plain or Pango markup.
class CBPLabel : public CBPWidget {
public:
    explicit CBPLabel(const char* text = "");

    void SetLabelText(const char* text);
    // Markup as given.
    void SetLabelMarkText(const char* markup);
    // markup in a span of the font description and colour ("#RRGGBB"); either may be null.
    void SetLabelMarkup(const char* markup, const char* font, const char* colour);
    const char* GetLabelText() const;

protected:
    // For labels of a type of their own.
    explicit CBPLabel(GtkWidget* label);
};
