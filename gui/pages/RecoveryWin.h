#pragma once
#include <cstdint>
#include <ctime>
#include <map>
#include <string>

#include "gui/shell/BaseWnd.h"
#include "gui/shell/CMsgReceiver.h"
#include "sqlite_recovery/framework/IProgress.h"

class CBPBox;
class CBPCairoImgButton;
class CBPHProgressBar;
class CBPLabel;
class CBPLinkLabel;

// Share buttons by their click counter.
enum : int { SHARE_FACEBOOK = 0, SHARE_GOOGLE = 1, SHARE_TWITTER = 2 };

// The recovery window: the file being recovered and a progress bar while the logic writes the
// ticked items into the export folder, Cancel to stop it; at the end a result page, success with
// a link to the folder and three share buttons, or failure with the reason. Fed by the recovery
// progress message; the device going off line stops the recovery. Not modal. Main thread only.
class CRecoveryWin : public CBaseWnd, public CMsgReceiver {
public:
    explicit CRecoveryWin(CBPWindow* parent);
    ~CRecoveryWin() override;

    // The export folder, in the system's code page.
    void SetDestination(const std::string& dir);
    void OnMessage(int group, int code) override;
    // Stop of the logic's recovery object, when there is one.
    void StopRecovery();

    const std::string& GetDestination() const { return destination_; }
    const PROGRESS_INFO& GetProgress() const { return progress_; }
    CBPLabel* GetProgressLabel() const { return progressLabel_; }
    CBPHProgressBar* GetProgressBar() const { return progressBar_; }
    CBPBox* GetResultPage() const { return resultPage_; }
    CBPLinkLabel* GetLocationLabel() const { return locationLabel_; }
    CBPLinkLabel* GetReasonLabel() const { return reasonLabel_; }
    CBPCairoImgButton* GetShareButton(int share) const;
    int ShareClicks(int share) const;

private:
    void CreateProgressPage();
    void CreateResultPage();
    void CreateShareRow(CBPBox* column);
    static int OnStopClicked(void* self);
    static void OpenFolder(GtkLabel* label, const gchar* url, gint x, gint y, gpointer self);
    static gboolean OnShareReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);

    CBPBox* progressPage_ = nullptr;
    CBPLabel* progressLabel_ = nullptr;
    CBPHProgressBar* progressBar_ = nullptr;
    PROGRESS_INFO progress_;
    CBPBox* resultPage_ = nullptr;
    CBPCairoImgButton* facebookButton_ = nullptr;
    CBPCairoImgButton* twitterButton_ = nullptr;
    CBPCairoImgButton* googleButton_ = nullptr;
    std::string destination_;
    std::map<int, int> shareClicks_;
    int64_t startTime_ = 0;
    int64_t stopTime_ = 0;
    // Labels of the result page, held for their signals; owned by the page.
    CBPLinkLabel* titleLabel_ = nullptr;
    CBPLinkLabel* locationLabel_ = nullptr;
    CBPLinkLabel* reasonLabel_ = nullptr;
};
