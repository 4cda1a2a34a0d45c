#pragma once
#include "outside/widgets/CBPWidget.h"

// A drop-down list of texts.
class CBPComboBoxEx : public CBPWidget {
public:
    CBPComboBoxEx();
    void AppendText(const char* text);
    // The entry at index becomes the shown one (-1: none).
    void SetActive(int index);
    int GetActive() const;
};
