#pragma once
#include "outside/widgets/CBPLabel.h"

// A label whose markup holds links (<a href="...">). Activating a link emits "url-activated"
// (const gchar* url, gint x, gint y: the pointer within the label) instead of opening it.
class CBPLinkLabel : public CBPLabel {
public:
    explicit CBPLinkLabel(const char* markup = "");
    void SetLabelEllipsize(PangoEllipsizeMode mode);
};
