#include "gui/pages/ScanProgress.h"

#include <cstring>

#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/TimerLable.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/CategoryTable.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/Painters.h"
#include "gui/shell/UsageStats.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPDrawRoundRectangle.h"
#include "outside/widgets/CBPEntry.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPHProgressBar.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CU8String.h"

namespace {

constexpr int kTimePadding = 34;
constexpr int kClearPadding = 5;
constexpr int kFrameBorder = 2;
constexpr double kFrameRadius = 2;
constexpr unsigned kStartSeconds = 3600;

// The Enter keys: Return, keypad Enter, ISO Enter, 3270 Enter.
bool IsEnterKey(guint key) { return key == 0xFF0D || key == 0xFF8D || key == 0xFE34 || key == 0xFD1E; }

// What the pane's widgets share: their picture under res/.
std::string Res(const char* name) { return CUIPublic::Instance()->ResFolder() + name; }

CBPCairoImgButton* ImageButton(const char* normal, const char* hover, const char* press, const char* disabled) {
    return CUIPublic::MakeImageButton(Res(normal).c_str(), Res(hover).c_str(), Res(press).c_str(),
                                      Res(disabled).c_str());
}

void SetSensitive(CBPWidget* widget, bool sensitive) {
    if (widget) gtk_widget_set_sensitive(widget->GetWidget(), sensitive ? TRUE : FALSE);
}

}  // namespace

CScanProgress::CScanProgress() : CBPBox(true, false, 0) {
    std::memset(&record_, 0, sizeof record_);
    for (int category = CATEGORY_DEVICE; category < CATEGORY_COUNT; ++category) {
        onlyDeletedOf_[category] = 0;
        searchTexts_[category] = std::string();
    }
    Subscribe(MSG_SCAN_PROGRESS);
    Subscribe(MSG_DEVICE_OFFLINE);
    int width = -1, height = -1;
    CUIPublic::Instance()->GetConfig()->GetKeyIntPoint("ScanMain", "ScanProgress", &width, &height);
    gtk_widget_set_size_request(GetWidget(), width, height);
    BuildProgressPane();
    RegisterCallBack("expose-event", G_CALLBACK(&CScanProgress::OnDrawBottomLine), this);
    gtk_container_set_border_width(GTK_CONTAINER(GetWidget()), 1);
}

CScanProgress::~CScanProgress() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    if (searchEntry_) g_signal_handlers_disconnect_by_data(searchEntry_->GetWidget(), this);
    // Children before the boxes that hold them.
    for (CBPWidget* widget : {static_cast<CBPWidget*>(clearButton_), static_cast<CBPWidget*>(searchButton_),
                              static_cast<CBPWidget*>(searchEntry_), static_cast<CBPWidget*>(searchFrame_),
                              static_cast<CBPWidget*>(switchImage_), static_cast<CBPWidget*>(switchBox_),
                              static_cast<CBPWidget*>(switchLabel_), static_cast<CBPWidget*>(warningImage_),
                              static_cast<CBPWidget*>(warningBox_), static_cast<CBPWidget*>(toolbar_),
                              static_cast<CBPWidget*>(stopButton_), static_cast<CBPWidget*>(progressBar_),
                              static_cast<CBPWidget*>(timeLabel_), static_cast<CBPWidget*>(title_),
                              static_cast<CBPWidget*>(animation_), static_cast<CBPWidget*>(titleRow_),
                              static_cast<CBPWidget*>(progressPane_)})
        delete widget;
}

std::string CScanProgress::TitleMarkup(const char* key, int red, int green, int blue) const {
    const GdkColor colour = RgbColour(red, green, blue);
    return MakeSpanMarkup(EscapeMarkup(GetLangString(key)), &colour, GetTextInDomain("Arial 12px"), nullptr, true);
}

void CScanProgress::BuildProgressPane() {
    progressPane_ = new CBPBox(false, false, 8);
    animation_ = new CBPImage(Res("Scanning.gif").c_str());
    animation_->Show();
    progressPane_->PackStart(animation_, false, false, 4);

    auto* column = new CBPBox(true, false, 6);
    titleRow_ = new CBPBox(false, false, 0);
    title_ = new CBPLabel("");
    title_->SetLabelMarkText(TitleMarkup("SCAN_DEV_PAGE_TITLE", 93, 93, 93).c_str());
    gtk_misc_set_alignment(GTK_MISC(title_->GetWidget()), 0.0f, 0.5f);
    title_->Show();
    titleRow_->PackStart(title_, true, true, 0);
    timeLabel_ = new CTimerLable(GetLangString("TIME_REMAIND"));
    timeLabel_->SetSeconds(kStartSeconds);
    timeLabel_->SetKnown();
    timeLabel_->Show();
    titleRow_->PackEnd(timeLabel_, false, false, kTimePadding);
    titleRow_->Show();
    column->PackStart(titleRow_, false, false, 0);

    progressBar_ = new CBPHProgressBar();
    progressBar_->SetPaintCB(&PaintProgressBar);
    progressBar_->Show();
    column->PackStart(progressBar_, false, true, 0);
    column->Show();
    progressPane_->PackStart(column, true, true, 0);

    stopButton_ = ImageButton("close.png", "close.png", "close.png", "close.png");
    stopButton_->RegisterCallBack("button-release-event", G_CALLBACK(&CScanProgress::OnStopReleased), this);
    stopButton_->Show();
    // Centred at its picture's height rather than stretched over the strip's.
    auto* stopColumn = new CBPBox(true, false, 0);
    stopColumn->PackStart(stopButton_, true, false, 0);
    stopColumn->Show();
    progressPane_->PackEnd(stopColumn, false, false, 10);
    progressPane_->Show();
    PackStart(progressPane_, true, true, 0);
    // The columns live on in the pane; their wrappers are not needed.
    for (CBPBox* box : {column, stopColumn}) {
        box->SetDestroyWidgetWhenDelete(0);
        delete box;
    }
}

void CScanProgress::OnMessage(int, int code) {
    if (code == MsgCode(MSG_DEVICE_OFFLINE)) {
        SetOffline();
    } else if (code == MsgCode(MSG_SCAN_PROGRESS)) {
        OnProgress();
    }
}

void CScanProgress::OnProgress() {
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    unsigned length = sizeof record;
    if (Failed(GetMsgById(MSG_SCAN_PROGRESS, &record, &length))) return;
    record_ = record;
    if (record.state == PROGRESS_STATE_FINISHED) {
        SetSensitive(stopButton_, true);
        if (bottomBar_) {
            bottomBar_->SetScanFinished(1);
            bottomBar_->EnableBack();
        }
        BuildToolbar();
        return;
    }
    timeLabel_->SetSeconds(record.remainingSeconds);
    if (record.state == 0) {
        timeLabel_->SetKnown();
    } else if (record.state == 1) {
        timeLabel_->SetUnknown();
    }
    if (bottomBar_) bottomBar_->SetScanFinished(0);
    progressBar_->SetFraction(record.total ? static_cast<double>(record.done) / static_cast<double>(record.total)
                                           : 0.0);
}

void CScanProgress::StopScan() {
    if (ILogicalController* controller = CUIPublic::Instance()->GetLogicalController()) controller->Stop();
}

void CScanProgress::OnStopClicked() {
    SetSensitive(stopButton_, false);
    title_->SetLabelMarkText(TitleMarkup("SCAN_STOP_PAGE_TITLE", 93, 93, 93).c_str());
    CUIPublic::Instance()->ReportValue(USAGE_VALUE_SCAN_STOP, 1);
    StopScan();
}

void CScanProgress::SetOffline() {
    const std::string text = TitleMarkup("SCAN_MAIN_OFF_LINE", 225, 32, 23);
    if (progressPane_ && gtk_widget_get_visible(progressPane_->GetWidget())) {
        title_->SetLabelMarkText(text.c_str());
        progressBar_->SetError(true);
    } else if (toolbar_) {
        warningBox_->Show();
        switchLabel_->SetLabelMarkText(text.c_str());
        switchBox_->Hide();
        switchImage_->Hide();
    }
    SetSensitive(stopButton_, false);
    StopScan();
}

gboolean CScanProgress::OnDrawBottomLine(GtkWidget* widget, GdkEventExpose*, gpointer) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    CBPCairoPaths(&cairo).SetPathRgb(186, 186, 186);
    CBPDrawLine(&cairo).DrawLine(a.x, a.y + a.height - 0.5, a.x + a.width, a.y + a.height - 0.5, 1);
    return FALSE;
}

gboolean CScanProgress::OnStopReleased(GtkWidget*, GdkEventButton*, gpointer self) {
    static_cast<CScanProgress*>(self)->OnStopClicked();
    return FALSE;
}

// --- The result toolbar ----------------------------------------------------------------------

void CScanProgress::BuildToolbar() {
    progressPane_->HideAll();
    if (toolbar_) return;
    toolbar_ = new CBPBox(false, false, 6);
    warningBox_ = new CBPBox(false, false, 0);
    warningImage_ = new CBPImage(Res("icon_warning.png").c_str());
    warningImage_->Show();
    warningBox_->PackStart(warningImage_, false, false, 0);
    toolbar_->PackStart(warningBox_, false, false, 4);
    switchLabel_ = new CBPLabel("");
    const GdkColor colour = RgbColour(93, 93, 93);
    switchLabel_->SetLabelMarkText(MakeSpanMarkup(EscapeMarkup(GetLangString("ONLY_SHOW_DELETED")), &colour,
                                                  GetTextInDomain("Arial 12px"), nullptr, true)
                                       .c_str());
    switchLabel_->Show();
    toolbar_->PackStart(switchLabel_, false, false, 8);
    switchBox_ = new CBPEventBox();
    switchBox_->SetVisibleWindow(false);
    switchImage_ = new CBPImage(Res("off.png").c_str());
    switchImage_->Show();
    switchBox_->Add(switchImage_->GetWidget());
    switchBox_->RegisterCallBack("button-release-event", G_CALLBACK(&CScanProgress::OnSwitchReleased), this);
    switchBox_->Show();
    toolbar_->PackStart(switchBox_, false, false, 0);
    BuildSearchBox();
    toolbar_->Show();
    PackStart(toolbar_, true, false, 0);
    // The switch shows the current category's state from the start.
    SetCategory(category_);
}

void CScanProgress::BuildSearchBox() {
    searchFrame_ = new CBPBox(false, false, 2);
    gtk_container_set_border_width(GTK_CONTAINER(searchFrame_->GetWidget()), kFrameBorder);
    searchFrame_->RegisterCallBack("expose-event", G_CALLBACK(&CScanProgress::OnDrawSearchFrame), this);
    searchEntry_ = new CBPEntry();
    searchEntry_->SetHasFrame(false);
    searchEntry_->RegisterCallBack("changed", G_CALLBACK(&CScanProgress::OnSearchTextChanged), this);
    searchEntry_->RegisterCallBack("key-release-event", G_CALLBACK(&CScanProgress::OnSearchKey), this);
    searchEntry_->Show();
    searchFrame_->PackStart(searchEntry_, true, true, 0);

    searchButton_ = ImageButton("search_normal.png", "search_hover.png", "search_press.png", "search_disable.png");
    searchButton_->RegisterCallBack("button-release-event", G_CALLBACK(&CScanProgress::OnSearchReleased), this);
    searchButton_->Show();
    searchFrame_->PackEnd(searchButton_, false, false, 0);

    clearButton_ = ImageButton("delete-normal.png", "delete-hover.png", "delete-normal.png", "delete-normal.png");
    int width = -1, height = -1;
    if (GetImageFileSize(Res("delete-normal.png"), &width, &height))
        gtk_widget_set_size_request(clearButton_->GetWidget(), width, -1);
    clearButton_->RegisterCallBack("button-release-event", G_CALLBACK(&CScanProgress::OnClearReleased), this);
    searchFrame_->PackEnd(clearButton_, false, false, kClearPadding);  // shown once there is text
    searchFrame_->Show();
    toolbar_->PackEnd(searchFrame_, false, false, 10);
}

gboolean CScanProgress::OnDrawSearchFrame(GtkWidget* widget, GdkEventExpose*, gpointer) {
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    CBPCairoPaths(&cairo).SetPathRgb(218, 218, 218);
    CBPDrawRoundRectangle(&cairo).DrawRoundRectangle(a.x + 0.5, a.y + 0.5, a.width - 1, a.height - 1, kFrameRadius,
                                                     0);
    return FALSE;
}

void CScanProgress::SetSwitch(int on) {
    onlyDeleted_ = on ? 1 : 0;
    if (switchImage_) switchImage_->SetImageFromFile(Res(on ? "on.png" : "off.png").c_str());
}

void CScanProgress::SetCategory(int category) {
    category_ = category;
    SetSwitch(onlyDeletedOf_[category]);
}

void CScanProgress::RestoreSearchText() {
    if (!searchEntry_) return;
    searchEntry_->SetText(searchTexts_[category_].c_str());
    searchEntry_->SetPosition(-1);
}

bool CScanProgress::GiveKeyword(const std::string& text) {
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    if (!controller) return false;
    switch (category_) {
    case CATEGORY_DEVICE:
    case CATEGORY_CONTACTS:
        if (auto* contacts = controller->GetContactContainer()) return contacts->SetKeyword(text.c_str());
        return false;
    case CATEGORY_MESSAGES:
        if (auto* sms = controller->GetSmsContainer()) return sms->SetKeyword(text.c_str());
        return false;
    default:
        // The files container compares in the system's code page.
        if (auto* files = controller->GetArchiveContainer())
            return files->SetKeyword(text.empty() ? "" : CU8String(text.c_str()).ToLocale().c_str());
        return false;
    }
}

void CScanProgress::PostOnlyDeleted(bool on) {
    CNotifyCentor::Instance()->Notify(on ? MSG_SCAN_ONLY_DELETED_ON : MSG_SCAN_ONLY_DELETED_OFF, nullptr, 0);
}

void CScanProgress::ApplySearch(int category) {
    category_ = category;
    if (!searchEntry_) return;
    const std::string text = searchEntry_->GetText();
    const bool changed = GiveKeyword(text);
    if (!changed && text == searchTexts_[category]) return;
    searchTexts_[category] = text;
    if (changed) CUIPublic::Instance()->ReportValue(USAGE_VALUE_SEARCH_A, ++keywordChanges_);
    PostOnlyDeleted(onlyDeleted_ == 1);
}

void CScanProgress::OnSearchClicked() {
    CUIPublic::Instance()->ReportEvent(USAGE_EVENT_SEARCH);
    ApplySearch(category_);
}

void CScanProgress::OnClearClicked() {
    if (searchEntry_) searchEntry_->SetText("");
    ApplySearch(category_);
}

void CScanProgress::OnOnlyDeletedClicked() {
    CUIPublic::Instance()->ReportValue(USAGE_VALUE_SEARCH_B, ++switchClicks_);
    GiveKeyword(searchEntry_ ? searchEntry_->GetText() : "");
    const bool on = onlyDeleted_ == 0;
    if (on) CUIPublic::Instance()->ReportEvent(USAGE_EVENT_SEARCH);
    SetSwitch(on);
    onlyDeletedOf_[category_] = on ? 1 : 0;
    PostOnlyDeleted(on);
}

gboolean CScanProgress::OnSwitchReleased(GtkWidget*, GdkEventButton*, gpointer self) {
    static_cast<CScanProgress*>(self)->OnOnlyDeletedClicked();
    return FALSE;
}

gboolean CScanProgress::OnSearchReleased(GtkWidget*, GdkEventButton*, gpointer self) {
    static_cast<CScanProgress*>(self)->OnSearchClicked();
    return FALSE;
}

gboolean CScanProgress::OnClearReleased(GtkWidget*, GdkEventButton*, gpointer self) {
    static_cast<CScanProgress*>(self)->OnClearClicked();
    return FALSE;
}

gboolean CScanProgress::OnSearchKey(GtkWidget*, GdkEventKey* event, gpointer self) {
    auto* pane = static_cast<CScanProgress*>(self);
    if (event && IsEnterKey(event->keyval)) pane->ApplySearch(pane->category_);
    return FALSE;
}

void CScanProgress::OnSearchTextChanged(GtkEditable* editable, gpointer self) {
    auto* pane = static_cast<CScanProgress*>(self);
    const char* text = gtk_entry_get_text(GTK_ENTRY(editable));
    if (text && *text) {
        pane->clearButton_->Show();
    } else {
        pane->clearButton_->Hide();
    }
    // The frame moves over to make room for the button (or takes it back): its outline is drawn
    // anew where it stands, and none is left where it stood.
    if (pane->toolbar_) gtk_widget_queue_draw(pane->toolbar_->GetWidget());
}
