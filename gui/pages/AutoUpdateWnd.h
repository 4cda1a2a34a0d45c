#pragma once
#include <glib.h>

#include "gui/shell/BaseWnd.h"

class CBPBox;
class CBPLabel;
class CBPLineWaiter;
class CBPLinkButton;

// The update dialog: a waiting mark while the update check runs (polled every 80 ms), then the
// result: the newer version with a link to it, the latest-version text or the check-failed text.
// A silent dialog stays hidden unless a newer version exists. Main thread only.
class CAutoUpdateWnd : public CBaseWnd {
public:
    explicit CAutoUpdateWnd(CBPWindow* parent);
    ~CAutoUpdateWnd() override;

    void CreateFrame();
    void SetSilent(int silent) { silent_ = silent; }
    void StartCheck();

    CBPLinkButton* GetLinkButton() const { return linkButton_; }
    CBPLabel* GetLabel() const { return label_; }
    CBPBox* GetBox() const { return box_; }
    bool IsPolling() const { return pollTimer_ != 0; }

private:
    static gboolean OnPoll(gpointer self);
    static gboolean DrawStatus(GtkWidget* widget, GdkEventExpose* event, gpointer pThis);
    void ShowNewVersion();
    void DrawResult(GtkWidget* widget, int result);

    CBPLineWaiter* waiter_ = nullptr;
    CBPLinkButton* linkButton_ = nullptr;
    CBPLabel* label_ = nullptr;
    CBPBox* box_ = nullptr;
    guint pollTimer_ = 0;
    int width_ = 0;
    int height_ = 0;
    int silent_ = 0;
};
