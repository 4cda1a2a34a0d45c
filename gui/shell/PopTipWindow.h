#pragma once
#include <string>

#include "gui/shell/BaseWnd.h"

// Kinds of message box, each with its icon.
enum : int { TIP_FAILED = 0, TIP_WARNING = 1, TIP_SUCCESS = 2, TIP_INFORMATION = 3 };

// The GUI's modal message box: an icon for the kind, the wrapped text (markup) beside it and the
// caller's bottom buttons. Run it with DoModal; the result tells the button (1 OK, 2 Cancel or
// closed, 16 Yes, 32 No).
class CPopTipWindow : public CBaseWnd {
public:
    CPopTipWindow(CBPWindow* parent, int kind, const std::string& text, unsigned buttons);
    ~CPopTipWindow() override;

    // The window's size; the text wraps inside what the icon leaves.
    void Resize(int width, int height);
    void SetFocusButton(unsigned flag);
    void SetButtonText(unsigned flag, const char* text);
    int GetKind() const { return kind_; }
    const std::string& GetText() const { return text_; }
    // The icon's file for a kind.
    static std::string IconFor(int kind);

private:
    void CreateContent();

    CBPImage* icon_ = nullptr;
    CBPLabel* label_ = nullptr;
    int kind_;
    std::string text_;
};
