#include "gui/pages/ScanSelectedBottom.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include "gui/pages/RecoveryWin.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/Painters.h"
#include "gui/shell/UsageStats.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CU8String.h"
#include "platform/CriticalSection.h"
#include "platform/FileSystem.h"
#include "platform/FolderBrowser.h"
#include "platform/PlatformFile.h"
#include "platform/TimeConversion.h"
#include "sqlite_recovery/framework/Lockers.h"

struct CScanSelectedBottom::Handover {
    // Read on the main thread before the worker starts.
    std::string previous;
    std::string ownerTitle;
    std::string dialogTitle;
    std::string exportText;
    // Written by the worker under the lock, taken by the bar after the message.
    CRITICAL_SECTION lock;
    bool ended = false;
    bool chosen = false;
    std::string destination;
};

namespace {

constexpr const char* kProbeName = "CantShow.log";
constexpr const char* kButtonDataKey = "_BUTTON_IS_DEFAULT_";
// Export folders of one second at most, "-2" to this.
constexpr int kMostExportFolders = 1000;

// Whether the folder takes files: a probe made and removed at once. One already there is left alone.
void ProbeWritable(const std::string& folder) {
    const std::string probe = platform::JoinPath(folder, kProbeName);
    platform::PlatformFile file;
    if (!file.Open(probe, platform::PlatformFile::Mode::CreateNew)) return;
    file.Close();
    platform::DeleteFile(probe);
}

}  // namespace

struct tm* LocalTime64(const int64_t* time) {
    static thread_local struct tm local;
    if (!time || !platform::LocalCalendarTime(*time, &local)) return nullptr;
    return &local;
}

CScanSelectedBottom::CScanSelectedBottom() : CBPBox(false, false, 0), CMsgReceiver(MSG_DESTINATION_READY) {
    CBPIniParser* config = CUIPublic::Instance()->GetConfig();
    gtk_container_set_border_width(GTK_CONTAINER(GetWidget()), config->GetKeyValueInt("ScanMain", "BottomBorderWidth"));
    int width = 88, height = 24;
    config->GetKeyIntPoint("ScanMain", "BottomButtonSize", &width, &height);
    const int spacing = config->GetKeyValueInt("ScanMain", "BottomButtonInt");

    recoverButton_ = new CBPButton(GetLangString("REC_BUTTON_TXT"));
    recoverButton_->Show();
    PackEnd(recoverButton_, false, false, spacing);
    CUIPublic::SetSizeAtLeast(recoverButton_->GetWidget(), width, height);
    gtk_widget_set_sensitive(recoverButton_->GetWidget(), FALSE);
    recoverButton_->RegisterCallBack("clicked", G_CALLBACK(&CScanSelectedBottom::OnRecoverClicked), this);
    g_object_set_data(G_OBJECT(recoverButton_->GetWidget()), kButtonDataKey, GINT_TO_POINTER(1));

    backButton_ = new CBPButton(GetLangString("PRE_BUTTON_TXT"));
    backButton_->Show();
    PackEnd(backButton_, false, false, 0);
    gtk_widget_set_sensitive(backButton_->GetWidget(), FALSE);
    CUIPublic::SetSizeAtLeast(backButton_->GetWidget(), width, height);
    backButton_->RegisterCallBack("clicked", G_CALLBACK(&CScanSelectedBottom::OnBackClicked), this);

    selectedTip_ = new CBPLabel("");
    PackStart(selectedTip_, false, false, 0);
    UpdateSelectedTip(0, 0);
    RegisterCallBack("expose-event", G_CALLBACK(&CScanSelectedBottom::OnExpose), this);
}

CScanSelectedBottom::~CScanSelectedBottom() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    delete recoveryWindow_;
    delete backButton_;
    delete recoverButton_;
    delete selectedTip_;
}

void CScanSelectedBottom::UpdateSelectedTip(int count, int category) {
    selectedCount_ = count;
    gchar* text = g_strdup_printf(GetLangFormat("SELECTED_TIP", "%d"), count);
    if (!text) return;
    const GdkColor colour = RgbColour(57, 57, 57);
    selectedTip_->SetLabelMarkText(
        MakeSpanMarkup(EscapeMarkup(text), &colour, GetTextInDomain("Arial 12px"), nullptr, true).c_str());
    g_free(text);
    if (count < 1) {
        selectedTip_->Hide();
    } else {
        selectedTip_->Show();
    }
    // While a folder is being chosen Recover stays off.
    gtk_widget_set_sensitive(recoverButton_->GetWidget(), count >= 1 && !choosing_);
    category_ = category;
}

void CScanSelectedBottom::EnableBack() {
    backEnabled_ = true;
    if (!choosing_) gtk_widget_set_sensitive(backButton_->GetWidget(), TRUE);
}

void CScanSelectedBottom::RestoreButtons() {
    gtk_widget_set_sensitive(recoverButton_->GetWidget(), selectedCount_ >= 1);
    gtk_widget_set_sensitive(backButton_->GetWidget(), backEnabled_);
}

gboolean CScanSelectedBottom::OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer) {
    PaintStripWithTopLine(widget, 0xF6F6F6, 0xBABABA);
    return FALSE;  // the children are drawn on top
}

void CScanSelectedBottom::OnBackClicked(GtkButton*, gpointer self) {
    auto* bar = static_cast<CScanSelectedBottom*>(self);
    if (bar->choosing_) return;
    CUIPublic* services = CUIPublic::Instance();
    services->ReportValue(USAGE_VALUE_BACK, 1);
    services->ReportCounters();
    services->ReportPageEnd();
    CUIMainWin* window = CUIMainWin::Instance();
    window->ToggleMaximize(false);
    services->SetCurrentMsg(0);
    if (ILogicalController* controller = services->GetLogicalController()) controller->Stop();
    window->ShowAnalysisPage();
}

void CScanSelectedBottom::OnRecoverClicked(GtkButton*, gpointer self) {
    auto* bar = static_cast<CScanSelectedBottom*>(self);
    // One choice at a time: Recover and Back stay off until it ends.
    if (bar->choosing_) return;
    CUIPublic* services = CUIPublic::Instance();
    services->SetPageName("Recovery");
    services->ReportEvent(USAGE_EVENT_RECOVER);

    auto handover = std::make_shared<Handover>();
    handover->previous = bar->destination_;
    handover->ownerTitle = services->GetProductName();
    handover->dialogTitle = GetLangString("BROWSE_FOR_FOLDER");
    handover->exportText = CU8String(GetLangString("STR_EXPORT")).ToLocale();
    bar->handover_ = handover;
    bar->choosing_ = true;
    gtk_widget_set_sensitive(bar->recoverButton_->GetWidget(), FALSE);
    gtk_widget_set_sensitive(bar->backButton_->GetWidget(), FALSE);
    GThread* thread = g_thread_try_new("destination", &CScanSelectedBottom::RecoverThreadProc,
                                       new std::shared_ptr<Handover>(handover), nullptr);
    if (thread) {
        g_thread_unref(thread);
        return;
    }
    bar->handover_.reset();
    bar->choosing_ = false;
    bar->RestoreButtons();
}

gpointer CScanSelectedBottom::RecoverThreadProc(gpointer data) {
    auto* handover = static_cast<std::shared_ptr<Handover>*>(data);
    ChooseOutputFolder(*handover);
    delete handover;
    return nullptr;
}

std::string CScanSelectedBottom::BaseOfDestination(const std::string& destination, const std::string& exportText) {
    const size_t at = exportText.empty() ? std::string::npos : destination.find(exportText);
    return at == std::string::npos ? destination : destination.substr(0, at);
}

std::string CScanSelectedBottom::ExportFolderOf(const std::string& chosen, const std::string& exportText,
                                                const struct tm& now) {
    std::string path = chosen;
    if (!path.empty() && path.back() == '/') path.pop_back();
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "/%02d-%02d-%02d-%02d-%02d-%02d", now.tm_year + 1900, now.tm_mon + 1,
                  now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    return path + exportText + stamp;
}

std::string CScanSelectedBottom::MakeExportFolder(const std::string& stamped) {
    platform::CreateDirectory(platform::ParentFolder(stamped));
    std::string path = stamped;
    for (int n = 1; n <= kMostExportFolders; ++n) {
        path = n == 1 ? stamped : stamped + "-" + std::to_string(n);
        // Made here, or taken a moment ago by another recovery of the same second.
        int error = 0;
        if (platform::CreateNewDirectory(path, &error) || error != EEXIST) return path;
    }
    return path;
}

void CScanSelectedBottom::ChooseOutputFolder(const std::shared_ptr<Handover>& handover) {
    const platform::SystemTime local = platform::GetLocalTime();
    struct tm now {};
    now.tm_year = local.year - 1900;
    now.tm_mon = local.month - 1;
    now.tm_mday = local.day;
    now.tm_hour = local.hour;
    now.tm_min = local.minute;
    now.tm_sec = local.second;
    const std::string preselection = BaseOfDestination(handover->previous, handover->exportText);
    std::string path;
    const bool chosen =
        platform::BrowseForFolder(handover->ownerTitle, handover->dialogTitle, preselection, &path);
    std::string destination;
    if (chosen) {
        ProbeWritable(path);
        destination = MakeExportFolder(ExportFolderOf(path, handover->exportText, now)) + "/";
    }
    {
        autolocker<critical_locker> guard(&handover->lock);
        handover->ended = true;
        handover->chosen = chosen;
        handover->destination = destination;
    }
    CNotifyCentor::Instance()->Notify(MSG_DESTINATION_READY, nullptr, 0);
}

void CScanSelectedBottom::OnMessage(int group, int code) {
    (void)group;
    (void)code;
    if (!handover_) return;
    bool chosen = false;
    std::string destination;
    {
        autolocker<critical_locker> guard(&handover_->lock);
        if (!handover_->ended) return;
        chosen = handover_->chosen;
        destination = handover_->destination;
    }
    handover_.reset();
    choosing_ = false;
    RestoreButtons();
    if (!chosen) return;
    destination_ = destination;
    StartRecovery();
}

void CScanSelectedBottom::StartRecovery() {
    delete recoveryWindow_;
    recoveryWindow_ = new CRecoveryWin(CUIMainWin::Instance());
    recoveryWindow_->Show();
    recoveryWindow_->SetDestination(destination_);
    CUIPublic* services = CUIPublic::Instance();
    ILogicalController* controller = services->GetLogicalController();
    IRecoveryJob* job = controller ? controller->GetRecoveryObject() : nullptr;
    if (!job) return;
    job->Start(destination_.c_str(), services, category_);
    ++recoveryCount_;
    services->ReportValue(USAGE_VALUE_RECOVERY_STARTED, recoveryCount_);
}
