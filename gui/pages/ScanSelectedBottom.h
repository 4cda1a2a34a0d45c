#pragma once
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "gui/shell/CMsgReceiver.h"
#include "outside/widgets/CBPBox.h"

class CBPButton;
class CBPLabel;
class CRecoveryWin;

// The bar at the bottom of the result page: how many items of the current category are ticked,
// Back (to the connection page) and Recover. Recover asks for a destination folder on a worker
// thread, makes a fresh export folder in it and starts the logic's recovery of the ticked items
// with the recovery window. The worker hands the folder back through the notification centre
// (MSG_DESTINATION_READY). Main thread only, but for the worker.
class CScanSelectedBottom : public CBPBox, public CMsgReceiver {
public:
    CScanSelectedBottom();
    ~CScanSelectedBottom() override;

    // The detail view's ticked count and category (1 to 6).
    void UpdateSelectedTip(int count, int category);
    void SetScanFinished(int finished) { scanFinished_ = finished; }
    // The scan has ended: Back may be used.
    void EnableBack();
    void OnMessage(int group, int code) override;

    CBPButton* GetBackButton() const { return backButton_; }
    CBPButton* GetRecoverButton() const { return recoverButton_; }
    CBPLabel* GetSelectedTip() const { return selectedTip_; }
    CRecoveryWin* GetRecoveryWindow() const { return recoveryWindow_; }
    const std::string& GetDestination() const { return destination_; }
    int GetSelectedCount() const { return selectedCount_; }
    int GetCategory() const { return category_; }
    int GetRecoveryCount() const { return recoveryCount_; }
    // True from a Recover press until the folder has been chosen or the choice cancelled.
    bool IsChoosing() const { return choosing_; }

    // The export folder for a chosen folder at a local time: chosen without one trailing '/', the
    // export text (which brings its own separator), then "/YYYY-MM-DD-hh-mm-ss".
    static std::string ExportFolderOf(const std::string& chosen, const std::string& exportText, const struct tm& now);
    // Makes the export folder new, with its parent when missing: the stamped name, else that name
    // followed by "-2", "-3", ... where a recovery started in the same second took it, so that
    // nothing an earlier recovery wrote is written into. The folder's path; when it cannot be made,
    // the name it failed with, which is not there (the recovery then cannot write and says so).
    static std::string MakeExportFolder(const std::string& stamped);
    // Where the folder dialog opens: destination up to the export text, all of it without one.
    static std::string BaseOfDestination(const std::string& destination, const std::string& exportText);

    // What the worker and the bar share; the bar may go before the worker ends.
    struct Handover;

private:
    static void OnRecoverClicked(GtkButton* button, gpointer self);
    static void OnBackClicked(GtkButton* button, gpointer self);
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gpointer RecoverThreadProc(gpointer data);
    static void ChooseOutputFolder(const std::shared_ptr<Handover>& handover);
    void StartRecovery();
    void RestoreButtons();

    CBPButton* backButton_ = nullptr;
    CBPButton* recoverButton_ = nullptr;
    CBPLabel* selectedTip_ = nullptr;
    std::string destination_;
    CRecoveryWin* recoveryWindow_ = nullptr;
    int selectedCount_ = 0;
    int category_ = 0;
    int scanFinished_ = 0;
    int recoveryCount_ = 0;
    bool backEnabled_ = false;
    bool choosing_ = false;
    std::shared_ptr<Handover> handover_;
};

// _localtime64 of *time: the local calendar time, in storage of this thread; null when it cannot
// be broken down.
struct tm* LocalTime64(const int64_t* time);
