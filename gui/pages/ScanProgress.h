#pragma once
#include <gtk/gtk.h>

#include <map>
#include <string>

#include "gui/shell/CMsgReceiver.h"
#include "outside/widgets/CBPBox.h"
#include "sqlite_recovery/framework/IProgress.h"

class CBPCairoImgButton;
class CBPEntry;
class CBPEventBox;
class CBPHProgressBar;
class CBPImage;
class CBPLabel;
class CScanSelectedBottom;
class CTimerLable;

// The strip above the scan page's detail pane. While the phone is scanned: an animation, the
// title, the remaining time, the progress bar and Stop, fed by the logic's progress record. Once
// the scan has finished it gives way to the result toolbar: the only-deleted switch and the
// search box, both kept per category and handed to the result containers. Main thread only.
class CScanProgress : public CBPBox, public CMsgReceiver {
public:
    CScanProgress();
    ~CScanProgress() override;

    void OnMessage(int group, int code) override;
    // The tree's row choice: the switch shows the category's own state.
    void SetCategory(int category);
    // The category's remembered search text into the entry, the cursor at its end.
    void RestoreSearchText();
    // The entry's text as the category's keyword; a change has the detail pane rebuild it.
    void ApplySearch(int category);
    void SetOffline();
    void SetBottomBar(CScanSelectedBottom* bar) { bottomBar_ = bar; }

    CBPBox* GetProgressPane() const { return progressPane_; }
    CBPBox* GetToolbar() const { return toolbar_; }
    CBPLabel* GetTitle() const { return title_; }
    CTimerLable* GetTimeLabel() const { return timeLabel_; }
    CBPHProgressBar* GetProgressBar() const { return progressBar_; }
    CBPCairoImgButton* GetStopButton() const { return stopButton_; }
    CBPBox* GetWarningBox() const { return warningBox_; }
    CBPLabel* GetSwitchLabel() const { return switchLabel_; }
    CBPImage* GetSwitchImage() const { return switchImage_; }
    CBPEventBox* GetSwitchBox() const { return switchBox_; }
    CBPEntry* GetSearchEntry() const { return searchEntry_; }
    CBPCairoImgButton* GetClearButton() const { return clearButton_; }
    CBPCairoImgButton* GetSearchButton() const { return searchButton_; }
    const PROGRESS_INFO& GetLastRecord() const { return record_; }
    int GetCategory() const { return category_; }
    int GetOnlyDeleted() const { return onlyDeleted_; }
    const std::string& GetSearchText(int category) { return searchTexts_[category]; }

    // The user's gestures, as their signals run them.
    void OnStopClicked();
    void OnOnlyDeletedClicked();
    void OnSearchClicked();
    void OnClearClicked();

private:
    void BuildProgressPane();
    void BuildToolbar();
    void BuildSearchBox();
    void OnProgress();
    // The entry's text (empty without one) as the current category's container keyword; true when
    // the container took it as a change.
    bool GiveKeyword(const std::string& text);
    void SetSwitch(int on);
    void PostOnlyDeleted(bool on);
    void StopScan();
    std::string TitleMarkup(const char* key, int red, int green, int blue) const;

    static gboolean OnDrawBottomLine(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean OnDrawSearchFrame(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean OnStopReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnSwitchReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnSearchReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnClearReleased(GtkWidget* widget, GdkEventButton* event, gpointer self);
    static gboolean OnSearchKey(GtkWidget* widget, GdkEventKey* event, gpointer self);
    static void OnSearchTextChanged(GtkEditable* editable, gpointer self);

    CBPBox* progressPane_ = nullptr;
    CBPBox* titleRow_ = nullptr;
    CBPImage* animation_ = nullptr;
    CBPLabel* title_ = nullptr;
    CTimerLable* timeLabel_ = nullptr;
    CBPHProgressBar* progressBar_ = nullptr;
    CBPCairoImgButton* stopButton_ = nullptr;

    CBPBox* toolbar_ = nullptr;
    CBPBox* warningBox_ = nullptr;
    CBPImage* warningImage_ = nullptr;
    CBPLabel* switchLabel_ = nullptr;
    CBPImage* switchImage_ = nullptr;
    CBPEventBox* switchBox_ = nullptr;
    CBPBox* searchFrame_ = nullptr;
    CBPEntry* searchEntry_ = nullptr;
    CBPCairoImgButton* clearButton_ = nullptr;
    CBPCairoImgButton* searchButton_ = nullptr;

    PROGRESS_INFO record_;
    int category_ = 0;
    int onlyDeleted_ = 0;
    std::map<int, int> onlyDeletedOf_;
    std::map<int, std::string> searchTexts_;
    int switchClicks_ = 0;
    int keywordChanges_ = 0;
    CScanSelectedBottom* bottomBar_ = nullptr;
};
