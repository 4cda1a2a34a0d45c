#include "gui/pages/StepFlow.h"

#include <algorithm>

#include "gui/pages/StepFlowSupport.h"
#include "gui/pages/StepFlowWidget.h"
#include "gui/pages/StepImageTip.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/PopTipWindow.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPLinkLabel.h"
#include "outside/widgets/CU8String.h"

using namespace step_flow;

namespace {

// The device text: UTF-16 of at most 256 bytes.
constexpr unsigned kDeviceTextUnits = 128;

ILogicalController* Controller() { return CUIPublic::Instance()->GetLogicalController(); }

// The label on the button's disc; one that fits at no size shows whole on hover.
void SetRoundLabel(CBPButton* button, const char* label) {
    bool fits = true;
    button->SetLabelMarkup(RoundButtonMarkup(label, &fits).c_str());
    gtk_widget_set_tooltip_text(button->GetWidget(), fits ? nullptr : label);
}

}  // namespace

CStepFlow::CStepFlow(CStepImageTip* imageTip)
    : CBPBox(true, false, 0), CMsgReceiver(MSG_CONNECT_ALL), imageTip_(imageTip) {
    int gotPayload = 0;
    BuildSteps(&gotPayload);
    CreateStartButton(gotPayload);
    CreateGoButton();
    // The tip is drawn over the window the page stands in, once it stands in one.
    RegisterCallBack("hierarchy-changed", G_CALLBACK(&CStepFlow::OnHierarchyChanged), this);
}

CStepFlow::~CStepFlow() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    if (exposeWindow_) {
        if (exposeHandler_) g_signal_handler_disconnect(exposeWindow_, exposeHandler_);
        g_object_unref(exposeWindow_);
    }
    ForgetOptions();
    DeleteRows();
    DeleteWrapperLater(startButton_);
    DeleteWrapperLater(goButton_);
    if (tipImage_) g_object_unref(tipImage_);
}

void CStepFlow::OnMessage(int group, int code) {
    StartGuide();
    switch (group) {
        case 1: OnStep1Message(code); break;
        case 2: OnStep2Message(code); break;
        case 3: OnStep3Message(code); break;
        case 4: OnStep4Message(code); break;
        default: break;
    }
}

void CStepFlow::StartGuide() {
    if (imageTip_) imageTip_->Start();
}

void CStepFlow::StopGuide() {
    if (imageTip_) imageTip_->Stop();
}

void CStepFlow::BuildSteps(int* gotPayload) {
    CUIPublic* services = CUIPublic::Instance();
    std::string text;
    // The phone may have been reported before this page stood (during the splash, or before
    // Back): its text is fetched by the message being handled, not by this receiver's last id.
    if (const unsigned current = services->GetCurrentMsg()) {
        char16_t buffer[kDeviceTextUnits] = {};
        unsigned length = sizeof buffer;
        if (Succeeded(GetMsgById(current, buffer, &length))) {
            *gotPayload = 1;
            const unsigned units = static_cast<unsigned>(std::find(buffer, buffer + kDeviceTextUnits, u'\0') - buffer);
            text = CU8String(buffer, static_cast<int>(units)).str();
        }
    } else {
        text = services->GetLastText();
    }
    services->SetLastText(text);

    // The device text is the phone's own: escaped, so that a name holding '&' or '<' shows.
    const std::string texts[STEP_ROW_COUNT] = {
        *gotPayload || !text.empty() ? EscapeMarkup(text) : GetLangString("CONNECT_DEVICE_VIA_USB"),
        "",
        GetLangString("CONNECTING_DEVICE"),
        "",
        GetLangString("ALLOW_SUPERSUER_REQUEST"),
        GetLangString("ANALYZING_DATA"),
    };
    StopGuide();
    for (int i = 0; i < STEP_ROW_COUNT; ++i) {
        steps_[i] = new CStepFlowWidget(10);
        steps_[i]->SetText(texts[i]);
        PackStart(steps_[i], i != STEP_ROW_ANALYSIS, true, 0);
        if (i > 0) steps_[i]->SetPrevious(steps_[i - 1]);
        steps_[i]->ShowText();
    }
    steps_[STEP_ROW_ANALYSIS]->SetLineVisible(0);
    InitFirstStep(*gotPayload);
}

void CStepFlow::InitFirstStep(int active) {
    steps_[STEP_ROW_DEVICE]->SetState(active ? STEP_ACTIVE : STEP_ATTENTION);
    steps_[STEP_ROW_DEVICE]->SetBold(1);
    steps_[STEP_ROW_JOINT]->SetRadius(6);
    steps_[STEP_ROW_USB_DEBUG]->SetRadius(6);
    const std::string help = std::string(GetLangString("ENABLE_USB_DEBUGGING1")) +
                             MakeLinkMarkup(GetLangString("ENABLE_USB_DEBUGGING2"), GetLangLink("EnableDebugModeUrl"),
                                            GetTextInDomain(kLinkFont));
    steps_[STEP_ROW_USB_DEBUG]->SetText(help, &CStepFlow::OpenLinkHandler, this);
    steps_[STEP_ROW_ALLOW]->SetRadius(6);
    for (int row : {STEP_ROW_JOINT, STEP_ROW_USB_DEBUG, STEP_ROW_ALLOW}) steps_[row]->HideText();
}

void CStepFlow::CreateStartButton(int enabled) {
    DeleteWrapperLater(startButton_);
    const char* label = GetLangString("BUTTON_START_LABEL");
    startButton_ = new CBPButton(label);
    startButton_->Show();
    startButton_->SetDestroyWidgetWhenDelete(0);
    steps_[STEP_ROW_DEVICE]->HostButton(startButton_->GetWidget());
    MakeDefault(startButton_);
    if (!enabled) gtk_widget_set_sensitive(startButton_->GetWidget(), FALSE);
    startButton_->BindInt(ROUND_COLOR_BUTTON_KEY, enabled ? ROUND_LOOK_READY : ROUND_LOOK_UNAVAILABLE);
    SetRoundLabel(startButton_, label);
    startButton_->RegisterCallBack("clicked", G_CALLBACK(&CStepFlow::OnStartClicked), this);
}

void CStepFlow::CreateGoButton() {
    DeleteWrapperLater(goButton_);
    const char* label = GetLangString("BUTTON_GO_LABEL");
    goButton_ = new CBPButton(label);
    goButton_->SetDestroyWidgetWhenDelete(0);
    goButton_->Show();
    gtk_widget_set_sensitive(goButton_->GetWidget(), FALSE);
    goButton_->BindInt(ROUND_COLOR_BUTTON_KEY, ROUND_LOOK_WAITING);
    goButton_->RegisterCallBack("clicked", G_CALLBACK(&CStepFlow::OnGoClicked), this);
    SetRoundLabel(goButton_, label);
}

void CStepFlow::OnStep1Message(int code) {
    steps_[STEP_ROW_DEVICE]->SetText(GetLangString("CONNECT_DEVICE_VIA_USB"));
    steps_[STEP_ROW_DEVICE]->SetState(STEP_ATTENTION);
    if (code == 1 || code == 6) {
        RebuildSteps();
    } else if (code == 5) {
        ResetSteps();
    }
}

void CStepFlow::DeleteRows() {
    for (CStepFlowWidget*& row : steps_) {
        delete row;
        row = nullptr;
    }
}

void CStepFlow::RebuildSteps() {
    SetCurrentMsg(-1);
    ForgetOptions();
    DeleteRows();
    int gotPayload = 0;
    BuildSteps(&gotPayload);
    CreateStartButton(gotPayload);
    CreateGoButton();
}

void CStepFlow::ResetSteps() {
    CUIPublic* services = CUIPublic::Instance();
    services->SetCurrentMsg(0);
    services->SetLastText("");
    ForgetOptions();
    DeleteRows();
    int gotPayload = 0;
    BuildSteps(&gotPayload);
    CreateStartButton(0);
    CreateGoButton();
    if (ILogicalController* controller = Controller()) controller->EnterConnectStage();
    steps_[STEP_ROW_CONNECTING]->SetState(STEP_PENDING);
    steps_[STEP_ROW_ANALYSIS]->SetState(STEP_PENDING);
    tipVisible_ = 0;
    RedrawMainWindow();
}

void CStepFlow::OnStartClicked(GtkButton*, gpointer self) {
    auto* flow = static_cast<CStepFlow*>(self);
    CUIPublic* services = CUIPublic::Instance();
    services->ReportEvent(USAGE_EVENT_CONNECT_START);
    if (ILogicalController* controller = Controller()) controller->StartConnect();
    flow->steps_[STEP_ROW_DEVICE]->ReleaseButton();
    DeleteWrapperLater(flow->startButton_);
    flow->startButton_ = nullptr;
    flow->steps_[STEP_ROW_JOINT]->SetState(STEP_DONE);
    flow->steps_[STEP_ROW_DEVICE]->SetState(STEP_DONE);
    flow->steps_[STEP_ROW_DEVICE]->SetBold(0);
    flow->steps_[STEP_ROW_CONNECTING]->SetState(STEP_ACTIVE);
    flow->steps_[STEP_ROW_CONNECTING]->SetBold(1);
    flow->StartGuide();
}

void CStepFlow::OnStep2Message(int code) {
    steps_[STEP_ROW_JOINT]->SetState(STEP_DONE);
    CStepFlowWidget* connecting = steps_[STEP_ROW_CONNECTING];
    CStepFlowWidget* usbDebug = steps_[STEP_ROW_USB_DEBUG];
    CStepFlowWidget* allow = steps_[STEP_ROW_ALLOW];
    switch (code) {
        case 7:  // USB debugging must be turned on
            connecting->SetState(STEP_DONE);
            usbDebug->ShowText();
            usbDebug->SetState(STEP_ATTENTION);
            StopGuide();
            break;
        case 8:  // the phone must allow the request
        case 26:  // the connection failed
            connecting->SetState(STEP_DONE);
            usbDebug->HideText();
            usbDebug->SetState(STEP_DONE);
            if (code == 26) allow->SetText(GetLangString("CONNECT_TO_DEVICE_FAILED"));
            allow->ShowText();
            allow->SetState(STEP_ATTENTION);
            StopGuide();
            break;
        case 10: AskRootFailed(true); break;  // nothing of this flow is touched after the question
        case 11: AskRootFailed(false); break;
        default: break;
    }
}

void CStepFlow::AskRootFailed(bool root) {
    // Static: the page may be replaced while the question waits in its own main loop.
    CPopTipWindow question(nullptr, TIP_INFORMATION,
                           GetLangString(root ? "APPLICATION_APLLY_ROOT_FIALED" : "APPLICATION_APPLY_SEANDROID_FIALED"),
                           BASE_BUTTON_YES | BASE_BUTTON_NO);
    question.Resize(500, 240);
    const int result = question.DoModal(true);
    if (ILogicalController* controller = Controller()) controller->AnswerRootFailed(result == BASE_RESULT_YES);
}

void CStepFlow::OnStep3Message(int code) {
    for (int row : {STEP_ROW_USB_DEBUG, STEP_ROW_ALLOW, STEP_ROW_CONNECTING}) steps_[row]->SetState(STEP_DONE);
    steps_[STEP_ROW_ANALYSIS]->SetBold(1);
    steps_[STEP_ROW_ANALYSIS]->SetState(STEP_ACTIVE);
    switch (code) {
        case 9: ShowConnected(1); break;
        case 12: OnBackupResult(); break;
        case 13: OnMassStorageResult(); break;
        case 14: OnNoRoot(); break;
        case 25: ShowConnected(0); break;
        default:
            steps_[STEP_ROW_CONNECTING]->SetText(GetLangString("DEVICE_CONNECTED"));
            steps_[STEP_ROW_CONNECTING]->SetBold(0);
            steps_[STEP_ROW_USB_DEBUG]->HideText();
            steps_[STEP_ROW_ALLOW]->HideText();
            break;
    }
    RedrawMainWindow();
}

void CStepFlow::ShowConnected(int rooted) {
    steps_[STEP_ROW_DEVICE]->SetText(GetLangString("DEVICE_CONNECTED"));
    const char* font = GetTextInDomain(kLinkFont);
    const std::string link =
        rooted ? MakeLinkMarkup(GetLangString("ROOT_YOUR_DEVICE2"), GetLangLink("HowToRootUrl"), font)
               : MakeLinkMarkup(GetLangString("APK_INSTALL_PROMPT_TITLE2"), GetLangLink("WhyInstallApkFailed"), font);
    const std::string help =
        FormatWithText(GetLangString(rooted ? "ROOT_YOUR_DEVICE1" : "APK_INSTALL_PROMPT_TITLE1"), link);
    steps_[STEP_ROW_CONNECTING]->SetText(help, &CStepFlow::OpenLinkHandler, this);
    steps_[STEP_ROW_ANALYSIS]->HostButton(goButton_->GetWidget());
    steps_[STEP_ROW_ANALYSIS]->SetText("");
    for (int row : {STEP_ROW_JOINT, STEP_ROW_USB_DEBUG, STEP_ROW_ALLOW}) steps_[row]->Hide();
    if (rooted) {
        BuildRootOptions();
    } else {
        BuildApkPrompt();
    }
    steps_[STEP_ROW_CONNECTING]->PackExtra(optionsBox_->GetWidget(), false, false, 0, true);
    StopGuide();
}

void CStepFlow::OnStep4Message(int) {
    steps_[STEP_ROW_CONNECTING]->SetBold(0);
    steps_[STEP_ROW_CONNECTING]->SetState(STEP_DONE);
    steps_[STEP_ROW_ANALYSIS]->SetBold(1);
    steps_[STEP_ROW_ANALYSIS]->SetState(STEP_ACTIVE);
    steps_[STEP_ROW_USB_DEBUG]->SetState(STEP_DONE);
    steps_[STEP_ROW_ALLOW]->SetState(STEP_DONE);
    StopGuide();
    GoToScanPage();
}

void CStepFlow::OnGoClicked(GtkButton*, gpointer self) {
    auto* flow = static_cast<CStepFlow*>(self);
    CUIPublic::Instance()->ReportValue(USAGE_VALUE_SCAN_GO, flow->outcomeFlags_);
    flow->GoToScanPage();
}

void CStepFlow::OpenLinkHandler(GtkWidget*, const gchar* url, gint, gint, gpointer) {
    if (url) CUIPublic::OpenUrl(url);
}

void CStepFlow::OnHierarchyChanged(GtkWidget* widget, GtkWidget*, gpointer self) {
    auto* flow = static_cast<CStepFlow*>(self);
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    if (!gtk_widget_is_toplevel(top)) top = nullptr;
    if (top == flow->exposeWindow_) return;
    if (flow->exposeWindow_) {
        g_signal_handler_disconnect(flow->exposeWindow_, flow->exposeHandler_);
        g_object_unref(flow->exposeWindow_);
        flow->exposeWindow_ = nullptr;
        flow->exposeHandler_ = 0;
    }
    if (!top) return;
    flow->exposeWindow_ = GTK_WIDGET(g_object_ref(top));
    flow->exposeHandler_ = g_signal_connect_after(top, "expose-event", G_CALLBACK(&CStepFlow::DrawTip), flow);
    if (flow->startButton_) flow->MakeDefault(flow->startButton_);
}

void CStepFlow::RedrawMainWindow() {
    if (exposeWindow_) gtk_widget_queue_draw(exposeWindow_);
}

void CStepFlow::MakeDefault(CBPButton* button) {
    GtkWidget* widget = button->GetWidget();
    gtk_widget_set_can_default(widget, TRUE);
    GtkWidget* top = gtk_widget_get_toplevel(widget);
    if (GTK_IS_WINDOW(top) && gtk_widget_is_toplevel(top)) gtk_window_set_default(GTK_WINDOW(top), widget);
}

void CStepFlow::GoToScanPage() {
    // The swap runs from the main loop, after this handler has returned.
    if (CUIMainWin* window = CUIMainWin::Holding(GetWidget())) window->ShowScanPage();
}
