#pragma once
#include "outside/widgets/CBPWidget.h"

// A one-line text entry. Texts are UTF-8.
class CBPEntry : public CBPWidget {
public:
    CBPEntry();

    void SetText(const char* text);
    // Never null.
    const char* GetText() const;
    // The cursor at a character position; -1 is the end of the text.
    void SetPosition(int position);
    int GetPosition() const;
    // Without the toolkit's own frame, for entries drawn inside a frame of the caller's.
    void SetHasFrame(bool frame);
    void SetMaxLength(int characters);
};
