#pragma once
#include <string>

#include "outside/widgets/CBPEventBox.h"

class CBPBox;
class CBPCairoImgButton;
class CBPWindow;

// Title-bar button flags.
enum : unsigned {
    TITLE_BUTTON_MINIMIZE = 0x2,
    TITLE_BUTTON_MAXIMIZE = 0x4,
    TITLE_BUTTON_CLOSE = 0x8,
    TITLE_BUTTON_RESTORE = 0x10,
};

// The title bar every window of the GUI draws instead of the system's: a blue bar with the logo,
// the caption and image buttons (minimise, restore, maximise, close) at its right end. Dragging
// the bar moves its owner window.
class CWindowTitle : public CBPEventBox {
public:
    explicit CWindowTitle(CBPWindow* owner);
    ~CWindowTitle() override;

    virtual void OnMinimize() {}
    // Swaps the maximise and restore buttons.
    virtual void OnMaximize();
    virtual void OnClose() {}

    void HideButtons(unsigned flags);
    void ShowButtons(unsigned flags);
    void EnableButtons(unsigned flags);
    void DisableButtons(unsigned flags);
    // Connects handler to signal on each named button: minimise, maximise, restore, close.
    void RegisterButtonCallback(unsigned flags, const char* signal, GCallback handler, gpointer data);
    // A further button at the end of the button box (left of those packed before); it never
    // takes the focus.
    void PackButton(CBPWidget* button, int padding);
    // An empty text keeps the caption.
    void SetCaption(const std::string& caption);
    const std::string& GetCaption() const { return caption_; }
    CBPCairoImgButton* GetButton(unsigned flag) const;
    // The drag state: for tests and the owner's own checks.
    bool IsPressed() const { return pressed_ != 0; }
    bool IsDragging() const { return dragging_ != 0; }

private:
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean OnPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnRelease(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnMotion(GtkWidget* widget, GdkEventMotion* event, gpointer self);
    static gboolean OnButtonReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    template <class F>
    void ForEachButton(unsigned flags, F action);

    CBPCairoImgButton* minimize_ = nullptr;
    CBPCairoImgButton* maximize_ = nullptr;
    CBPCairoImgButton* close_ = nullptr;
    CBPCairoImgButton* restore_ = nullptr;
    CBPWindow* owner_ = nullptr;
    CBPBox* buttonBox_ = nullptr;
    std::string caption_;
    double pressX_ = 0;
    double pressY_ = 0;
    int pressed_ = 0;
    int dragging_ = 0;
};
