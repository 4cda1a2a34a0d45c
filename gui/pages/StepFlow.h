#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <string>

#include "gui/pages/StepTip.h"
#include "gui/shell/CMsgReceiver.h"
#include "outside/widgets/CBPBox.h"

class CBPButton;
class CBPImage;
class CBPLabel;
class CBPLinkLabel;
class CStepFlowWidget;
class CStepImageTip;

// Rows of the connection steps, top to bottom.
enum : int {
    STEP_ROW_DEVICE = 0,      // the phone; hosts Start
    STEP_ROW_JOINT = 1,
    STEP_ROW_CONNECTING = 2,  // its extra area takes the options
    STEP_ROW_USB_DEBUG = 3,
    STEP_ROW_ALLOW = 4,
    STEP_ROW_ANALYSIS = 5,    // hosts Go
    STEP_ROW_COUNT = 6,
};

// What the user did before Go: bit 0 the system backup succeeded, bit 1 mass storage opened.
enum : int { STEP_OUTCOME_BACKUP = 1, STEP_OUTCOME_MASS_STORAGE = 2 };

// The right-hand column of the connection page: the chain of step rows driven by the logic's
// category-1 messages, the Start and Go buttons, the options once the phone is connected (after
// rooting, system backup, mass storage, or the helper application's prompt), and the tip drawn
// over the main window. Answers through the logic controller. Main thread only.
class CStepFlow : public CBPBox, public CMsgReceiver {
public:
    explicit CStepFlow(CStepImageTip* imageTip);
    ~CStepFlow() override;

    void OnMessage(int group, int code) override;

    CStepFlowWidget* GetRow(int row) const { return row >= 0 && row < STEP_ROW_COUNT ? steps_[row] : nullptr; }
    CBPButton* GetStartButton() const { return startButton_; }
    CBPButton* GetGoButton() const { return goButton_; }
    CBPBox* GetOptionsBox() const { return optionsBox_; }
    CBPLinkLabel* GetRootLink() const { return rootLink_; }
    CBPLinkLabel* GetBackupLink() const { return backupLink_; }
    CBPLinkLabel* GetMassStorageLink() const { return massStorageLink_; }
    CBPLabel* GetApkPromptLabel() const { return apkPromptLabel_; }
    CBPImage* GetBackupOkImage() const { return backupOkImage_; }
    CBPImage* GetMassStorageOkImage() const { return massStorageOkImage_; }
    const CStepTip& GetTip() const { return tip_; }
    bool IsTipVisible() const { return tipVisible_ != 0; }
    int GetOutcomeFlags() const { return outcomeFlags_; }

    // "url-activated" of the help links: opens the address.
    static void OpenLinkHandler(GtkWidget* label, const gchar* url, gint x, gint y, gpointer self);

private:
    // Connection steps.
    void BuildSteps(int* gotPayload);
    void InitFirstStep(int active);
    void CreateStartButton(int enabled);
    void CreateGoButton();
    void OnStep1Message(int code);
    void OnStep2Message(int code);
    void OnStep3Message(int code);
    void OnStep4Message(int code);
    void RebuildSteps();
    void ResetSteps();
    void DeleteRows();
    void ShowConnected(int rooted);
    static void AskRootFailed(bool root);
    static void OnStartClicked(GtkButton* button, gpointer self);
    static void OnGoClicked(GtkButton* button, gpointer self);

    // Options and tips.
    void ForgetOptions();
    void BuildRootOptions();
    void BuildApkPrompt();
    CBPLinkLabel* CreateLinkLabel(const char* url, const char* format, const char* linkText, GCallback handler);
    static void OnOptionClicked(GtkWidget* label, const gchar* url, gint x, gint y, gpointer self);
    void ComputeTipRect(CBPLinkLabel* widget, int x, int y, int warning);
    int CheckEventResult(CBPLinkLabel* widget, const char* text);
    void OnBackupResult();
    void OnMassStorageResult();
    void OnNoRoot();
    void EnsureOptionsBox();
    void EnableGo();
    static gboolean DrawTip(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    GdkPixbuf* TipImage();

    // The window the page stands in.
    static void OnHierarchyChanged(GtkWidget* widget, GtkWidget* previous, gpointer self);
    void RedrawMainWindow();
    void MakeDefault(CBPButton* button);
    void GoToScanPage();
    void StartGuide();
    void StopGuide();

    CStepFlowWidget* steps_[STEP_ROW_COUNT] = {};
    CBPButton* startButton_ = nullptr;
    CBPButton* goButton_ = nullptr;
    CBPBox* optionsBox_ = nullptr;
    CBPLinkLabel* rootLink_ = nullptr;
    CBPLinkLabel* backupLink_ = nullptr;
    CBPLinkLabel* massStorageLink_ = nullptr;
    CBPLabel* apkPromptLabel_ = nullptr;
    CBPImage* backupOkImage_ = nullptr;
    CBPImage* massStorageOkImage_ = nullptr;
    CStepImageTip* imageTip_ = nullptr;
    gulong exposeHandler_ = 0;
    GtkWidget* exposeWindow_ = nullptr;  // referenced while the handler is connected
    CStepTip tip_;
    int tipVisible_ = 0;
    int outcomeFlags_ = 0;
    int rootAnchorX_ = 0;
    int rootAnchorY_ = 0;
    int backupAnchorX_ = 0;
    int backupAnchorY_ = 0;
    GdkPixbuf* tipImage_ = nullptr;
    std::string tipImagePath_;
};
