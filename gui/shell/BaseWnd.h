#pragma once
#include "outside/widgets/CBPWindow.h"

class CBPAlignment;
class CBPBox;
class CBPButton;
class CBPEventBox;
class CBPImage;
class CBPLabel;
class CWindowTitle;

// Bottom-bar buttons, and the results that end a dialog.
enum : unsigned {
    BASE_BUTTON_OK = 0x1,
    BASE_BUTTON_CANCEL = 0x2,
    BASE_BUTTON_NEXT = 0x4,
    BASE_BUTTON_CONTINUE = 0x8,
    BASE_BUTTON_YES = 0x10,
    BASE_BUTTON_NO = 0x20,
};
enum : int {
    BASE_RESULT_OK = 1,
    BASE_RESULT_CANCEL = 2,  // Cancel, the close button or the window deleted
    BASE_RESULT_CONTINUE = 8,
    BASE_RESULT_YES = 16,
    BASE_RESULT_NO = 32,
};

// The base of every pop-up dialog: a frameless window with a rounded grey border, its own title
// bar with a close button, an optional logo strip, a content area and a bottom bar of standard
// buttons. It runs modally in a nested main loop and returns the result of the button that ended
// it. Main thread only.
class CBaseWnd : public CBPWindow {
public:
    // A gate runs before its button acts; non-zero lets the button act.
    using Gate = int (*)(void* data);

    // kind non-zero puts the buttons at 0.9 of the width, zero centres them.
    CBaseWnd(CBPWindow* parent, unsigned buttons, int kind);
    ~CBaseWnd() override;

    // 0 on success, 1 when a part of the frame could not be made.
    int CreateFrame(const char* title, const char* caption, int hasLogoStrip, int compactButtons);
    // OK and Continue share one gate: the last set for either holds for both.
    void SetButtonCallback(unsigned flags, Gate gate, void* data);
    // OK, Continue, Cancel and Next only.
    void ShowButtons(unsigned flags, bool show);
    void HideOkButton();
    void ShowOkButton();
    void HideCancelButton();
    void HideBottomBar();
    void ShowBottomBar();

    int DoModal(bool showAll);
    int EndModal();
    int GetResult() const { return result_; }
    void SetResult(int result) { result_ = result; }
    bool IsRunning() const { return running_ != 0; }

    void ContainerAdd(GtkWidget* widget);
    void AddContent(CBPWidget* widget);
    void ClearContent();
    void SetAlignment(double xalign, double yalign, double xscale, double yscale);

    CWindowTitle* GetTitleBar() const { return title_; }
    CBPButton* GetButton(unsigned flag) const;
    CBPImage* GetBottomImage() const { return bottomImage_; }
    CBPLabel* GetBottomLabel() const { return bottomLabel_; }

    // Emits "button-press-event" (type 4) or "button-release-event" (type 7) of button 1 on the
    // widget; other types do nothing.
    static void SimulateButtonEvent(GtkWidget* widget, int type);

private:
    struct GateSlot {
        Gate gate = nullptr;
        void* data = nullptr;
        bool Passes() const { return !gate || gate(data) != 0; }
    };

    int CreateBottomBar(int compact);
    CBPButton* AddBottomButton(GtkWidget* row, const char* key, GCallback handler, bool aligned);
    static gboolean OnDelete(GtkWidget* widget, GdkEvent* event, gpointer self);
    static gboolean OnClose(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnOkOrContinue(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnCancel(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnNext(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnYesOrNo(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static gboolean OnBorderExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean OnBottomExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean OnLogoExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    void EndWith(int result);

    CBPButton* next_ = nullptr;
    CBPButton* ok_ = nullptr;
    CBPButton* cancel_ = nullptr;
    CBPButton* continue_ = nullptr;
    CBPButton* yes_ = nullptr;
    CBPButton* no_ = nullptr;
    CBPEventBox* bottomBar_ = nullptr;
    int result_ = BASE_RESULT_CANCEL;
    CWindowTitle* title_ = nullptr;
    int kind_;
    CBPBox* frame_ = nullptr;
    CBPEventBox* content_ = nullptr;
    CBPEventBox* logoStrip_ = nullptr;
    CBPImage* bottomImage_ = nullptr;
    CBPLabel* bottomLabel_ = nullptr;
    int hasLogoStrip_ = 0;
    unsigned buttons_;
    int running_ = 0;
    GateSlot okGate_, cancelGate_, nextGate_, yesGate_, noGate_;
    CBPWindow* parent_;
    CBPAlignment* bottomAlignment_ = nullptr;
};
