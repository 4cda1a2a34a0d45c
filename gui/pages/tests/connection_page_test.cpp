// The connection page in the main window, driven by a scripted logic through the real message
// queue and notification centre: the steps, Start and Go, the options, the tip, the questions.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "gui/pages/AnalysisMain.h"
#include "gui/pages/StepFlow.h"
#include "gui/pages/StepFlowWidget.h"
#include "gui/pages/StepImageTip.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/pages/tests/ScriptedLogic.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLinkLabel.h"

namespace {

constexpr unsigned kPhone = 0x01010001;
constexpr unsigned kPhoneGone = 0x01010005;
constexpr unsigned kRootOptions = 0x01030009;
constexpr unsigned kBackupResult = 0x0103000C;
constexpr unsigned kMassStorageResult = 0x0103000D;
constexpr unsigned kRootResult = 0x0103000E;
constexpr unsigned kHelperPrompt = 0x01030019;
constexpr ResultCode kFailure = MakeFailure(77, RK_E_FAIL);

constexpr guint32 kOrange = 0xFA6700;    // (250, 103, 0): attention
constexpr guint32 kReady = 0x2CC1D2;     // (44, 193, 210): the round button, ready
constexpr guint32 kUnavailable = 0xBEBEBE;

std::string Shown(CBPLinkLabel* label) { return gtk_label_get_text(GTK_LABEL(label->GetWidget())); }
bool Sensitive(CBPWidget* widget) { return gtk_widget_is_sensitive(widget->GetWidget()); }
// The statistics calls after the library's object was fetched.
std::vector<std::string> Reported(const StatsLog& stats) {
    std::vector<std::string> lines;
    for (const std::string& line : stats.Lines())
        if (line != "GetSmartSpy") lines.push_back(line);
    return lines;
}
bool Visible(CBPWidget* widget) { return gtk_widget_get_visible(widget->GetWidget()); }

// Counts the category-1 messages delivered; subscribed before the page, so a page has had each
// message once this has.
class Probe : public CMsgReceiver {
public:
    Probe() : CMsgReceiver(MSG_CONNECT_ALL) {}
    void OnMessage(int, int) override { ++count; }
    int count = 0;
};

class ConnectionPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        services_->SetCurrentMsg(0);
        services_->SetLastText("");
        services_->SetLogicalController(&logic_);
    }
    void TearDown() override {
        window_.reset();
        services_->SetLogicalController(nullptr);
    }

    void OpenWindow() {
        window_.reset(new CUIMainWin());
        window_->Show();
        ASSERT_TRUE(WaitShown(window_->GetWidget()));
        Settle();
    }
    CAnalysisMain* Page() const { return dynamic_cast<CAnalysisMain*>(window_->GetAnalysisPage()); }
    CStepFlow* Flow() const { return Page() ? Page()->GetStepFlow() : nullptr; }
    CStepFlowWidget* Row(int row) const { return Flow()->GetRow(row); }

    void Delivered(int before) {
        ASSERT_TRUE(PumpUntil([&] { return probe_.count > before; }));
        Settle();
    }
    void Send(unsigned id) {
        const int before = probe_.count;
        logic_.Post(id);
        Delivered(before);
    }
    void SendText(unsigned id, const std::u16string& text) {
        const int before = probe_.count;
        logic_.PostText(id, text);
        Delivered(before);
    }
    void SendResult(unsigned id, ResultCode result) {
        const int before = probe_.count;
        logic_.PostResult(id, result);
        Delivered(before);
    }
    void ClickStart() {
        gtk_button_clicked(GTK_BUTTON(Flow()->GetStartButton()->GetWidget()));
        Settle();
    }
    void ClickGo() { gtk_button_clicked(GTK_BUTTON(Flow()->GetGoButton()->GetWidget())); }
    // A phone, Start, then the logic reports the phone connected with the root options.
    void ConnectWithOptions() {
        SendText(kPhone, u"Pixel 7");
        ClickStart();
        Send(kRootOptions);
        ASSERT_NE(Flow()->GetBackupLink(), nullptr);
    }
    // The guide's round button: its colour under the label.
    guint32 ButtonColour(CBPButton* button) {
        GtkAllocation area;
        gtk_widget_get_allocation(button->GetWidget(), &area);
        return PixelAt(button->GetWidget(), area.width / 2, area.height / 2 + 18);
    }
    bool ReachesScanPage() {
        return PumpUntil([&] { return window_->GetScanPage() != nullptr; });
    }

    CUIPublic* services_ = CUIPublic::Instance();
    ScriptedLogic logic_;
    Probe probe_;
    std::unique_ptr<CUIMainWin> window_;
};

TEST_F(ConnectionPageTest, WaitingForAPhoneThenOneWithAnAmpersandInItsNameThenStart) {
    StatsLog stats;
    OpenWindow();
    EXPECT_EQ(logic_.Calls(3), 1);
    CStepFlow* flow = Flow();
    ASSERT_NE(flow, nullptr);
    EXPECT_EQ(Shown(Row(0)->GetLabel()), GetLangString("CONNECT_DEVICE_VIA_USB"));
    EXPECT_EQ(Row(0)->GetState(), STEP_ATTENTION);
    ASSERT_NE(flow->GetStartButton(), nullptr);
    EXPECT_FALSE(Sensitive(flow->GetStartButton()));
    EXPECT_EQ(CBPButton::GetBoundInt(flow->GetStartButton()->GetWidget(), ROUND_COLOR_BUTTON_KEY), 3);
    EXPECT_EQ(CBPButton::GetBoundInt(flow->GetGoButton()->GetWidget(), ROUND_COLOR_BUTTON_KEY), 1);
    EXPECT_TRUE(AreaHasColour(Row(0)->GetLabel()->GetWidget(), kOrange));
    EXPECT_EQ(ButtonColour(flow->GetStartButton()), kUnavailable);
    for (int row : {1, 3, 4}) EXPECT_FALSE(Row(row)->IsTextShown()) << row;
    EXPECT_TRUE(SaveWindowScreenshot("connect_waiting_for_phone", window_->GetWidget()));

    // The phone's own name is text, not markup.
    SendText(kPhone, u"Pixel & Co <7>");
    flow = Flow();
    EXPECT_EQ(Shown(Row(0)->GetLabel()), "Pixel & Co <7>");
    EXPECT_EQ(services_->GetCurrentMsg(), kPhone);
    EXPECT_EQ(services_->GetLastText(), "Pixel & Co <7>");
    EXPECT_EQ(Row(0)->GetState(), STEP_ACTIVE);
    EXPECT_TRUE(Sensitive(flow->GetStartButton()));
    EXPECT_EQ(CBPButton::GetBoundInt(flow->GetStartButton()->GetWidget(), ROUND_COLOR_BUTTON_KEY), 2);
    EXPECT_EQ(ButtonColour(flow->GetStartButton()), kReady);
    EXPECT_FALSE(AreaHasColour(Row(0)->GetLabel()->GetWidget(), kOrange));
    EXPECT_TRUE(SaveWindowScreenshot("connect_phone_found", window_->GetWidget()));

    stats.Clear();
    ClickStart();
    EXPECT_EQ(Reported(stats), std::vector<std::string>{"Event 12301"});
    EXPECT_EQ(logic_.Calls(4), 1);
    EXPECT_EQ(flow->GetStartButton(), nullptr);
    EXPECT_EQ(Row(0)->GetHostedWidget(), nullptr);
    EXPECT_EQ(Row(0)->GetState(), STEP_DONE);
    EXPECT_FALSE(Row(0)->IsBold());
    EXPECT_EQ(Row(1)->GetState(), STEP_DONE);
    EXPECT_EQ(Row(2)->GetState(), STEP_ACTIVE);
    EXPECT_TRUE(Row(2)->IsBold());
    EXPECT_TRUE(Page()->GetImageTip()->IsRunning());
    // The active row pulses.
    EXPECT_TRUE(PumpUntil([&] { return Row(2)->GetPulse() > 0; }));
    EXPECT_TRUE(SaveWindowScreenshot("connect_connecting", window_->GetWidget()));
}

TEST_F(ConnectionPageTest, SubStepsShowAndTheRootQuestionsAreAnsweredThroughTheLogic) {
    OpenWindow();
    SendText(kPhone, u"Pixel 7");
    ClickStart();
    // Group 2 code 9 only marks the joint done.
    Send(0x01020009);
    EXPECT_EQ(Row(1)->GetState(), STEP_DONE);
    EXPECT_EQ(Row(2)->GetState(), STEP_ACTIVE);

    Send(0x01020007);  // USB debugging is off
    EXPECT_EQ(Row(2)->GetState(), STEP_DONE);
    EXPECT_TRUE(Row(3)->IsTextShown());
    EXPECT_EQ(Row(3)->GetState(), STEP_ATTENTION);
    EXPECT_NE(Shown(Row(3)->GetLabel()).find(GetLangString("ENABLE_USB_DEBUGGING2")), std::string::npos);
    EXPECT_FALSE(Page()->GetImageTip()->IsRunning());
    EXPECT_TRUE(SaveWindowScreenshot("connect_usb_debugging", window_->GetWidget()));

    Send(0x01020008);  // the phone must allow the request
    EXPECT_FALSE(Row(3)->IsTextShown());
    EXPECT_EQ(Row(3)->GetState(), STEP_DONE);
    EXPECT_TRUE(Row(4)->IsTextShown());
    EXPECT_EQ(Row(4)->GetState(), STEP_ATTENTION);
    EXPECT_EQ(Shown(Row(4)->GetLabel()), GetLangString("ALLOW_SUPERSUER_REQUEST"));

    Send(0x0102001A);  // the connection failed
    EXPECT_EQ(Shown(Row(4)->GetLabel()), GetLangString("CONNECT_TO_DEVICE_FAILED"));
    EXPECT_EQ(Row(4)->GetState(), STEP_ATTENTION);

    AnswerNextQuestion(GetLangString("BASE_WND_YES_BTN"), "connect_root_question");
    Send(0x0102000A);
    AnswerNextQuestion(GetLangString("BASE_WND_NO_BTN"));
    Send(0x0102000B);
    EXPECT_EQ(logic_.Calls(15), 2);
    EXPECT_EQ(logic_.RootAnswers(), (std::vector<bool>{true, false}));
}

TEST_F(ConnectionPageTest, BackupLinkWorksOnceAFailureWarnsAtItAndSuccessesEnableGo) {
    StatsLog stats;
    OpenWindow();
    ConnectWithOptions();
    CStepFlow* flow = Flow();
    EXPECT_EQ(Shown(Row(0)->GetLabel()), GetLangString("DEVICE_CONNECTED"));
    EXPECT_NE(Shown(Row(2)->GetLabel()).find(GetLangString("ROOT_YOUR_DEVICE2")), std::string::npos);
    EXPECT_EQ(Row(5)->GetHostedWidget(), flow->GetGoButton()->GetWidget());
    EXPECT_FALSE(Sensitive(flow->GetGoButton()));
    for (int row : {1, 3, 4}) EXPECT_FALSE(Visible(Row(row))) << row;
    EXPECT_NE(Shown(flow->GetRootLink()).find(GetLangString("AFTER_ROOTING2")), std::string::npos);
    EXPECT_NE(Shown(flow->GetBackupLink()).find(GetLangString("BACKUP_PROMPT")), std::string::npos);
    EXPECT_NE(Shown(flow->GetMassStorageLink()).find(GetLangString("RECOVER_MEDIA_FILES_HELP2")), std::string::npos);
    EXPECT_FALSE(Visible(flow->GetBackupOkImage()));
    EXPECT_TRUE(SaveWindowScreenshot("connect_options", window_->GetWidget()));

    // The backup link, clicked twice with the pointer: the second click finds it disabled.
    ASSERT_TRUE(ClickLink(flow->GetBackupLink(), GetLangString("RECOVER_CONTANCTS_HELP2")));
    EXPECT_EQ(logic_.Calls(7), 1);
    EXPECT_TRUE(flow->IsTipVisible());
    EXPECT_EQ(flow->GetTip().warning, 0);
    EXPECT_EQ(flow->GetTip().imagePath, services_->ResFolder() + "allow.png");
    EXPECT_FALSE(Sensitive(flow->GetBackupLink()));
    GtkAllocation link;
    gtk_widget_get_allocation(flow->GetBackupLink()->GetWidget(), &link);
    EXPECT_GE(flow->GetTip().x, link.x);
    EXPECT_LT(flow->GetTip().y, link.y + 8);
    EXPECT_TRUE(SaveWindowScreenshot("connect_waiting_tip", window_->GetWidget()));
    ASSERT_TRUE(ClickLink(flow->GetBackupLink(), GetLangString("RECOVER_CONTANCTS_HELP2")));
    EXPECT_EQ(logic_.Calls(7), 1);

    // A failing backup: the warning at the link, which can be used again.
    SendResult(kBackupResult, kFailure);
    EXPECT_TRUE(flow->IsTipVisible());
    EXPECT_EQ(flow->GetTip().warning, 1);
    EXPECT_EQ(flow->GetTip().message, GetLangString("BACKUP_SYSTEM_FAILED"));
    EXPECT_TRUE(Sensitive(flow->GetBackupLink()));
    EXPECT_FALSE(Sensitive(flow->GetGoButton()));
    EXPECT_TRUE(SaveWindowScreenshot("connect_warning_tip", window_->GetWidget()));
    // A result that cannot be fetched fails too.
    Send(kBackupResult);
    EXPECT_EQ(flow->GetTip().warning, 1);

    SendResult(kBackupResult, RK_OK);
    EXPECT_FALSE(flow->IsTipVisible());
    EXPECT_EQ(Shown(flow->GetBackupLink()), GetLangString("SYSTEM_BACKUP_COMPLETED"));
    EXPECT_TRUE(Visible(flow->GetBackupOkImage()));
    EXPECT_TRUE(Sensitive(flow->GetGoButton()));
    EXPECT_EQ(CBPButton::GetBoundInt(flow->GetGoButton()->GetWidget(), ROUND_COLOR_BUTTON_KEY), 2);
    EXPECT_TRUE(SaveWindowScreenshot("connect_backup_done", window_->GetWidget()));
    stats.Clear();
    ClickGo();
    EXPECT_EQ(Reported(stats), std::vector<std::string>{"Value 12324 1"});
    EXPECT_TRUE(ReachesScanPage());

    // Mass storage alone reports 2, both 3; a failing mass storage warns at its link.
    struct Case {
        std::vector<unsigned> results;
        const char* reported;
    } cases[] = {{{kMassStorageResult}, "Value 12324 2"}, {{kBackupResult, kMassStorageResult}, "Value 12324 3"}};
    for (const Case& c : cases) {
        window_->ShowAnalysisPage();
        ASSERT_TRUE(PumpUntil([&] { return Flow() != nullptr; }));
        ConnectWithOptions();
        SendResult(kMassStorageResult, kFailure);
        EXPECT_EQ(Flow()->GetTip().message, GetLangString("OPEN_MASS_STORAGE_FAILED"));
        for (unsigned id : c.results) SendResult(id, RK_OK);
        EXPECT_TRUE(Visible(Flow()->GetMassStorageOkImage()));
        stats.Clear();
        ClickGo();
        EXPECT_EQ(Reported(stats), std::vector<std::string>{c.reported});
        EXPECT_TRUE(ReachesScanPage());
    }
}

TEST_F(ConnectionPageTest, RootAnswersAndTheEndOfTheAnalysisReachTheScanPage) {
    OpenWindow();
    ConnectWithOptions();
    // Reported twice, the options are there once: the text and one box beneath it.
    Send(kRootOptions);
    CStepFlow* flow = Flow();
    GList* extra = gtk_container_get_children(GTK_CONTAINER(Row(2)->GetExtraBox()->GetWidget()));
    EXPECT_EQ(g_list_length(extra), 2u);
    g_list_free(extra);
    g_signal_emit_by_name(flow->GetRootLink()->GetWidget(), "url-activated", "1", 12, 9);
    EXPECT_EQ(logic_.Calls(6), 1);
    EXPECT_TRUE(flow->IsTipVisible());
    SendResult(kRootResult, kFailure);
    EXPECT_EQ(flow->GetTip().message, GetLangString("DO_NOT_HAVE_ROOT_PRIVILEGE"));
    GtkAllocation link;
    gtk_widget_get_allocation(flow->GetRootLink()->GetWidget(), &link);
    EXPECT_EQ(flow->GetTip().y + flow->GetTip().height, link.y + 9);  // at the point activated
    EXPECT_EQ(window_->GetScanPage(), nullptr);
    SendResult(kRootResult, RK_OK);  // the page goes with it
    EXPECT_TRUE(ReachesScanPage());

    window_->ShowAnalysisPage();
    ASSERT_TRUE(PumpUntil([&] { return Flow() != nullptr; }));
    SendText(kPhone, u"Pixel 7");
    ClickStart();
    Send(0x01040021);  // the analysis is done, whatever the code
    EXPECT_TRUE(ReachesScanPage());
}

TEST_F(ConnectionPageTest, HelperApplicationPromptHasNoLinksAndIgnoresMassStorage) {
    OpenWindow();
    SendText(kPhone, u"Pixel 7");
    ClickStart();
    Send(kHelperPrompt);
    CStepFlow* flow = Flow();
    ASSERT_NE(flow->GetApkPromptLabel(), nullptr);
    EXPECT_EQ(flow->GetRootLink(), nullptr);
    EXPECT_EQ(flow->GetMassStorageLink(), nullptr);
    EXPECT_NE(Shown(Row(2)->GetLabel()).find(GetLangString("APK_INSTALL_PROMPT_TITLE2")), std::string::npos);
    EXPECT_TRUE(SaveWindowScreenshot("connect_helper_prompt", window_->GetWidget()));
    SendResult(kMassStorageResult, RK_OK);
    EXPECT_FALSE(flow->IsTipVisible());
    EXPECT_FALSE(Sensitive(flow->GetGoButton()));
    // Group 3 code 10: the phone is connected, nothing more.
    Send(0x0103000A);
    EXPECT_EQ(Shown(Row(2)->GetLabel()), GetLangString("DEVICE_CONNECTED"));
    EXPECT_FALSE(Row(3)->IsTextShown());
}

TEST_F(ConnectionPageTest, ThePhoneGoingResetsThePageOtherGroupsOnlyRestartTheGuide) {
    OpenWindow();
    ConnectWithOptions();
    CStepFlow* flow = Flow();
    g_signal_emit_by_name(flow->GetBackupLink()->GetWidget(), "url-activated", "2", 5, 5);
    ASSERT_TRUE(flow->IsTipVisible());
    const int enters = logic_.Calls(3);
    Send(kPhoneGone);
    EXPECT_FALSE(flow->IsTipVisible());
    EXPECT_EQ(logic_.Calls(3), enters + 1);
    EXPECT_EQ(flow->GetBackupLink(), nullptr);
    EXPECT_EQ(Shown(Row(0)->GetLabel()), GetLangString("CONNECT_DEVICE_VIA_USB"));
    EXPECT_FALSE(Sensitive(flow->GetStartButton()));
    EXPECT_EQ(services_->GetCurrentMsg(), 0u);
    EXPECT_EQ(services_->GetLastText(), "");

    CStepImageTip* guide = Page()->GetImageTip();
    for (unsigned id : {0x01000003u, 0x01050001u}) {
        guide->Stop();
        Send(id);
        EXPECT_TRUE(guide->IsRunning()) << std::hex << id;
        EXPECT_EQ(Row(0)->GetState(), STEP_ATTENTION);
        EXPECT_EQ(Shown(Row(0)->GetLabel()), GetLangString("CONNECT_DEVICE_VIA_USB"));
    }
}

TEST_F(ConnectionPageTest, APhoneReportedBeforeThePageShowsAndAfterBackComesBackWhenReportedAgain) {
    // The splash took the message; nobody on the page listened yet. Delivered before the page
    // stands, so that the count awaited after Back is the second report's.
    SendText(kPhone, u"Galaxy S5");
    services_->SetCurrentMsg(kPhone);
    OpenWindow();
    EXPECT_EQ(Shown(Row(0)->GetLabel()), "Galaxy S5");
    EXPECT_TRUE(Sensitive(Flow()->GetStartButton()));

    window_->ShowScanPage();
    ASSERT_TRUE(ReachesScanPage());
    // Back: the page is new and the payload was handed out; the logic reports the phone again.
    logic_.onEnterConnectStage = [&] { logic_.PostText(kPhone, u"Galaxy S5"); };
    const int before = probe_.count;
    window_->ShowAnalysisPage();
    ASSERT_TRUE(PumpUntil([&] { return Flow() != nullptr; }));
    EXPECT_EQ(Shown(Row(0)->GetLabel()), GetLangString("CONNECT_DEVICE_VIA_USB"));
    EXPECT_FALSE(Sensitive(Flow()->GetStartButton()));
    Delivered(before);
    EXPECT_EQ(Shown(Row(0)->GetLabel()), "Galaxy S5");
    EXPECT_TRUE(Sensitive(Flow()->GetStartButton()));
}

}  // namespace
