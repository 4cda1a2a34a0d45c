#pragma once
#include "gui/shell/BaseWnd.h"

class CBPAlignment;
class CBPBox;
class CBPComboBoxEx;

// The language dialog: a combo box of English, French and German (ids 0, 1, 2) and OK.
class CLangWnd : public CBaseWnd {
public:
    CLangWnd(CBPWindow* parent, int languageId);
    ~CLangWnd() override;

    // Writes the chosen id; 1 when OK was pressed on another entry than the one shown at start.
    int GetSelection(int* id) const;
    CBPComboBoxEx* GetComboBox() const { return combo_; }

private:
    static int OnOk(void* self);

    CBPBox* box_ = nullptr;
    CBPComboBoxEx* combo_ = nullptr;
    CBPLabel* label_ = nullptr;
    int languageId_;
    int changed_ = 0;
    CBPAlignment* alignment_ = nullptr;
};
