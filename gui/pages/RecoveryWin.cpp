#include "gui/pages/RecoveryWin.h"

#include <cstring>
#include <ctime>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/ContactFieldTypes.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/Painters.h"
#include "gui/shell/UsageStats.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPHProgressBar.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLinkLabel.h"
#include "outside/widgets/CU8String.h"

namespace {

constexpr uint64_t kSigned63 = 0x7FFFFFFFFFFFFFFFull;
constexpr uint32_t kErrorWrite = 15;
constexpr uint32_t kErrorOffline = 17;
constexpr uint32_t kErrorShort = 18;  // files written shorter than they were
constexpr const char* kFont = "Arial 14px";
// The result page: the border of its column and the padding round its icon.
constexpr int kColumnBorder = 20, kIconPadding = 10;
constexpr const char* kSmallFont = "Arial 12px";

std::string FormatWith(const char* key, const char* signature, const std::string& value) {
    gchar* text = g_strdup_printf(GetLangFormat(key, signature), value.c_str());
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

CBPLinkLabel* MakeLinkLabel(const std::string& text, const char* font) {
    const GdkColor black = RgbColour(0, 0, 0);
    return new CBPLinkLabel(MakeSpanMarkup(text, &black, GetTextInDomain(font), nullptr, true).c_str());
}

std::string ConfigText(const char* key) {
    std::string value;
    if (gchar* text = CUIPublic::Instance()->GetConfig()->GetKeyValueStr("RecoveryWin", key)) {
        value = text;
        g_free(text);
    }
    return value;
}

struct Share {
    int counter;
    int usageId;
    const char* name;
};
constexpr Share kShares[] = {
    {SHARE_FACEBOOK, USAGE_VALUE_SHARE_FIRST, "facebook"},
    {SHARE_TWITTER, USAGE_VALUE_SHARE_FIRST + 2, "twitter"},
    {SHARE_GOOGLE, USAGE_VALUE_SHARE_FIRST + 1, "google"},
};

}  // namespace

CRecoveryWin::CRecoveryWin(CBPWindow* parent)
    : CBaseWnd(parent, BASE_BUTTON_OK | BASE_BUTTON_CANCEL, 0), CMsgReceiver(MSG_RECOVERY_PROGRESS) {
    Subscribe(MSG_DEVICE_OFFLINE);
    std::memset(&progress_, 0, sizeof progress_);
    startTime_ = static_cast<int64_t>(std::time(nullptr));
    stopTime_ = 0;
    SetButtonCallback(BASE_BUTTON_CANCEL, &CRecoveryWin::OnStopClicked, this);
    CUIPublic* services = CUIPublic::Instance();
    CBaseWnd::CreateFrame(services->GetTitleText().c_str(), "", 0, 0);
    int width = 0, height = 0;
    services->GetConfig()->GetKeyIntPoint("RecoveryWin", "RecoveryWinSize", &width, &height);
    if (width > 0 && height > 0) {
        gtk_window_resize(GetWindow(), width, height);
        gtk_widget_set_size_request(GetWidget(), width, height);
    }
    SetAlignment(0.98, 0.5, 0, 0);
    HideOkButton();
    CreateProgressPage();
    AddContent(progressPage_);
}

CRecoveryWin::~CRecoveryWin() {
    delete facebookButton_;
    delete twitterButton_;
    delete googleButton_;
    delete titleLabel_;
    delete locationLabel_;
    delete reasonLabel_;
    delete resultPage_;
    delete progressLabel_;
    delete progressBar_;
    delete progressPage_;
}

void CRecoveryWin::SetDestination(const std::string& dir) { destination_ = CU8String::FromLocale(dir.c_str()).str(); }

CBPCairoImgButton* CRecoveryWin::GetShareButton(int share) const {
    switch (share) {
        case SHARE_FACEBOOK: return facebookButton_;
        case SHARE_GOOGLE: return googleButton_;
        case SHARE_TWITTER: return twitterButton_;
        default: return nullptr;
    }
}

int CRecoveryWin::ShareClicks(int share) const {
    auto found = shareClicks_.find(share);
    return found == shareClicks_.end() ? 0 : found->second;
}

void CRecoveryWin::CreateProgressPage() {
    progressPage_ = new CBPBox(true, false, 0);
    progressPage_->Show();
    GtkWidget* column = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(column), 20);
    progressPage_->PackStart(column, true, false, 0);
    gtk_widget_show(column);

    const GdkColor grey = RgbColour(33, 33, 33);
    const std::string text = FormatWith("RECOVERY_WND_TEXT", "%s", "");
    progressLabel_ = new CBPLabel("");
    progressLabel_->SetLabelMarkText(
        MakeSpanMarkup(EscapeMarkup(text), &grey, GetTextInDomain(kFont), nullptr, true).c_str());
    gtk_box_pack_start(GTK_BOX(column), progressLabel_->GetWidget(), FALSE, FALSE, 5);
    progressLabel_->Show();

    progressBar_ = new CBPHProgressBar(14);
    gtk_widget_set_size_request(progressBar_->GetWidget(), -1, 14);
    progressBar_->SetPaintCB(&PaintProgressBar);
    gtk_box_pack_start(GTK_BOX(column), progressBar_->GetWidget(), FALSE, FALSE, 0);
    progressBar_->Show();
}

void CRecoveryWin::OnMessage(int group, int code) {
    (void)group;
    if (code == static_cast<int>(MsgCode(MSG_DEVICE_OFFLINE))) {
        StopRecovery();
        return;
    }
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    unsigned length = sizeof record;
    if (Failed(GetMsg(&record, &length))) return;
    progress_ = record;

    const size_t nameLength = strnlen(record.text, sizeof record.text);
    if (nameLength > 0) {
        const std::string name(record.text, nameLength);
        const std::string text = FormatWith("RECOVERY_WND_TEXT", "%s", CU8String::FromLocale(name.c_str()).str());
        progressLabel_->SetLabelMarkText(
            MakeSpanMarkup(EscapeMarkup(text), nullptr, GetTextInDomain(kFont), nullptr, true).c_str());
    }
    const uint64_t total = record.total & kSigned63;
    const uint64_t done = record.done & kSigned63;
    progressBar_->SetFraction(total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(total));

    // A recovery ends once: a finished record met again (its last record read anew) keeps the page shown.
    if (record.state != PROGRESS_STATE_FINISHED || resultPage_) return;
    if (stopTime_ != 0) {
        CUIPublic::Instance()->ReportValue(USAGE_VALUE_RECOVERY_PROGRESS,
                                           static_cast<int>(static_cast<int64_t>(std::time(nullptr)) - stopTime_));
        stopTime_ = 0;
    }
    HideCancelButton();
    ShowOkButton();
    ClearContent();
    progressPage_->HideAll();
    CreateResultPage();
    AddContent(resultPage_);
}

void CRecoveryWin::CreateResultPage() {
    const uint64_t result = progress_.result;
    const bool success = (result >> 56) == 0;
    resultPage_ = new CBPBox(true, false, 0);
    resultPage_->Show();
    GtkWidget* column = gtk_vbox_new(FALSE, 0);
    gtk_container_set_border_width(GTK_CONTAINER(column), kColumnBorder);
    resultPage_->PackStart(column, true, false, 0);
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 10);
    const std::string icon = CUIPublic::Instance()->ResFolder() + (success ? "success_b.png" : "failure_b.png");
    GtkWidget* image = gtk_image_new_from_file(icon.c_str());
    gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, kIconPadding);
    GtkWidget* texts = gtk_vbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), texts, TRUE, TRUE, 0);

    titleLabel_ = MakeLinkLabel(GetLangString(success ? "RECOVERY_SUCCESS" : "RECOVERY_FAILED"), "Arial  bold 14px");
    gtk_box_pack_start(GTK_BOX(texts), titleLabel_->GetWidget(), TRUE, TRUE, 5);

    if (success) {
        // The folder is the link's address and its text: escaped for both.
        gchar* escaped = g_markup_escape_text(destination_.c_str(), -1);
        gchar* text = g_strdup_printf(GetLangFormat("RECOVERY_FILE_LOCATION", "%s%s"), escaped, escaped);
        locationLabel_ = MakeLinkLabel(text ? text : "", kSmallFont);
        g_free(text);
        g_free(escaped);
        locationLabel_->RegisterCallBack("url-activated", G_CALLBACK(&CRecoveryWin::OpenFolder), this);
        // The folder shown whole, its dated part too: wrapped over lines of the text column.
        GtkWidget* location = locationLabel_->GetWidget();
        gtk_label_set_markup(GTK_LABEL(location), WithoutHyphens(gtk_label_get_label(GTK_LABEL(location))).c_str());
        gtk_label_set_line_wrap(GTK_LABEL(location), TRUE);
        gtk_label_set_line_wrap_mode(GTK_LABEL(location), PANGO_WRAP_WORD_CHAR);
        int width = 0, height = 0;
        CUIPublic::Instance()->GetConfig()->GetKeyIntPoint("RecoveryWin", "RecoveryWinSize", &width, &height);
        GtkRequisition picture;
        gtk_widget_size_request(image, &picture);
        if (width > 0) gtk_widget_set_size_request(location, width - 2 * kColumnBorder - picture.width - 2 * kIconPadding, -1);
        gtk_widget_set_tooltip_text(location, destination_.c_str());
        gtk_box_pack_start(GTK_BOX(texts), locationLabel_->GetWidget(), TRUE, TRUE, 0);
        gtk_widget_show_all(column);
        CreateShareRow(resultPage_);
        return;
    }
    const uint32_t error = ErrorNumber(result);
    const int code = error == kErrorWrite     ? RECOVERY_ERROR_FAILED_WRITE
                     : error == kErrorOffline ? RECOVERY_ERROR_DEVICE_OFFLINE
                     : error == kErrorShort   ? RECOVERY_ERROR_FILES_SHORT
                                              : 0;
    const std::string reason = CU8String::FromLocale(CUIPublic::Instance()->GetTypeName(code).c_str()).str();
    reasonLabel_ = MakeLinkLabel(EscapeMarkup(reason), kSmallFont);
    gtk_label_set_line_wrap(GTK_LABEL(reasonLabel_->GetWidget()), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(reasonLabel_->GetWidget()), PANGO_WRAP_WORD_CHAR);
    gtk_box_pack_start(GTK_BOX(texts), reasonLabel_->GetWidget(), TRUE, TRUE, 0);
    gtk_widget_show_all(column);
}

void CRecoveryWin::CreateShareRow(CBPBox* page) {
    GtkWidget* row = gtk_hbox_new(FALSE, 0);
    GtkWidget* inner = gtk_hbox_new(FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row), inner, TRUE, FALSE, 0);
    const std::string& res = CUIPublic::Instance()->ResFolder();
    for (const Share& share : kShares) {
        const std::string base = res + share.name;
        CBPCairoImgButton* button =
            CUIPublic::MakeImageButton((base + "_normal.png").c_str(), (base + "_hover.png").c_str(),
                                       (base + "_active.png").c_str(), (base + "_disable.png").c_str());
        button->Show();
        button->RegisterCallBack("button-release-event", G_CALLBACK(&CRecoveryWin::OnShareReleased), this);
        gtk_box_pack_start(GTK_BOX(inner), button->GetWidget(), FALSE, FALSE, share.counter == SHARE_TWITTER ? 70 : 0);
        (share.counter == SHARE_FACEBOOK ? facebookButton_ : share.counter == SHARE_TWITTER ? twitterButton_
                                                                                           : googleButton_) = button;
    }
    page->PackStart(row, false, false, 0);
    gtk_widget_show_all(row);
}

void CRecoveryWin::StopRecovery() {
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    if (!controller) return;
    if (IRecoveryJob* job = controller->GetRecoveryObject()) job->Stop();
}

int CRecoveryWin::OnStopClicked(void* self) {
    auto* window = static_cast<CRecoveryWin*>(self);
    window->stopTime_ = static_cast<int64_t>(std::time(nullptr));
    CUIPublic::Instance()->ReportValue(USAGE_VALUE_RECOVERY_STOPPED,
                                       static_cast<int>(window->stopTime_ - window->startTime_));
    window->startTime_ = window->stopTime_;
    window->StopRecovery();
    return 1;
}

void CRecoveryWin::OpenFolder(GtkLabel*, const gchar* url, gint, gint, gpointer) {
    if (!url) return;
    CUIPublic::OpenUrl(CU8String(url).ToLocale());
}

gboolean CRecoveryWin::OnShareReleased(GtkWidget* widget, GdkEventButton*, gpointer self) {
    auto* window = static_cast<CRecoveryWin*>(self);
    if (!window) return FALSE;
    const std::string share = CUIPublic::Instance()->GetShareUrl();
    for (const Share& entry : kShares) {
        CBPCairoImgButton* button = window->GetShareButton(entry.counter);
        if (!button || button->GetWidget() != widget) continue;
        std::string url;
        if (entry.counter == SHARE_FACEBOOK) url = ConfigText("FacebookUrl") + share;
        if (entry.counter == SHARE_TWITTER) url = ConfigText("TwitterUrl") + share + ConfigText("TwitterUrlEnd");
        if (entry.counter == SHARE_GOOGLE) url = ConfigText("GoogleUrl") + share;
        CUIPublic::OpenUrl(url);
        const int clicks = ++window->shareClicks_[entry.counter];
        CUIPublic::Instance()->ReportValue(entry.usageId, clicks);
    }
    return FALSE;
}
