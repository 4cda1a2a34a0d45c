#pragma once
#include "outside/widgets/CBPWidget.h"

// A push button with a text.
class CBPButton : public CBPWidget {
public:
    explicit CBPButton(const char* text);
    void SetText(const char* text);
    const char* GetText() const;
};
