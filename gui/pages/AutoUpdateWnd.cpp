#include "gui/pages/AutoUpdateWnd.h"

#include <string>

#include "gui/pages/UpdateChecker.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MarkupHelpers.h"
#include "outside/widgets/CBPAlignment.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoFont.h"
#include "outside/widgets/CBPImageSurface.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLineWaiter.h"
#include "outside/widgets/CBPLinkButton.h"

namespace {

constexpr guint kPollMs = 80;
constexpr const char* kFont = "Arial 14px";
// Room kept free beside the result texts.
constexpr int kTextMargin = 60;

#define UPDATE_WND_CHECK(condition)                                                                          \
    if (!(condition)) {                                                                                      \
        g_log(nullptr, G_LOG_LEVEL_CRITICAL, "file %s: line %d: assertion `%s' failed", "AutoUpdateWnd.cpp", \
              __LINE__, #condition);                                                                         \
        return FALSE;                                                                                        \
    }

}  // namespace

CAutoUpdateWnd::CAutoUpdateWnd(CBPWindow* parent) : CBaseWnd(parent, BASE_BUTTON_OK | BASE_BUTTON_CANCEL, 0) {
    waiter_ = new CBPLineWaiter(10, 1);
    waiter_->SetLineLength(7);
    waiter_->SetSize(50, 50);
    label_ = new CBPLabel("");
    linkButton_ = new CBPLinkButton("", 1, 0);
    linkButton_->ModifyBtnLabel(GetTextInDomain(kFont));
    box_ = new CBPBox(true, false, 0);
}

CAutoUpdateWnd::~CAutoUpdateWnd() {
    CUIPublic::RemoveTimer(&pollTimer_);
    g_signal_handlers_disconnect_by_func(GetWidget(), reinterpret_cast<gpointer>(&CAutoUpdateWnd::DrawStatus), this);
    delete waiter_;
    delete linkButton_;
    delete label_;
    delete box_;
}

void CAutoUpdateWnd::CreateFrame() {
    CUIPublic* services = CUIPublic::Instance();
    const std::string title = services->GetTitleText();
    CBaseWnd::CreateFrame(title.c_str(), title.c_str(), 0, 1);
    ShowButtons(BASE_BUTTON_OK, false);
    services->GetConfig()->GetKeyIntPoint("CheckUpdate", "WinSize", &width_, &height_);
    gtk_window_resize(GetWindow(), width_ > 0 ? width_ : 1, height_ > 0 ? height_ : 1);
    gtk_widget_set_size_request(GetWidget(), width_ > 0 ? width_ : -1, height_ > 0 ? height_ : -1);
    // After the window's own painting, so that the status stays on top of its background.
    RegisterCallBack("expose-event", G_CALLBACK(&CAutoUpdateWnd::DrawStatus), this, true);

    // The texts keep within the window: the label wraps, a long link is cut short.
    const int room = width_ > kTextMargin ? width_ - kTextMargin : -1;
    gtk_label_set_line_wrap(GTK_LABEL(label_->GetWidget()), TRUE);
    gtk_label_set_justify(GTK_LABEL(label_->GetWidget()), GTK_JUSTIFY_CENTER);
    gtk_widget_set_size_request(label_->GetWidget(), room, -1);
    box_->PackStart(label_, false, false, 0);
    label_->Show();
    if (linkButton_) {
        gtk_widget_set_size_request(linkButton_->GetWidget(), room, -1);
        box_->PackStart(linkButton_, false, false, 0);
        linkButton_->Show();
    }
    CBPAlignment alignment(0.5, 0.5, 0, 0);
    alignment.SetDestroyWidgetWhenDelete(0);
    alignment.Add(box_->GetWidget());
    alignment.Show();
    ContainerAdd(alignment.GetWidget());
    box_->NoShowAll(1);
    box_->Hide();
}

void CAutoUpdateWnd::StartCheck() {
    UpdateChecker::Instance()->StartThread();
    ReplaceTimeoutSource(&pollTimer_, kPollMs, &CAutoUpdateWnd::OnPoll, this);
}

gboolean CAutoUpdateWnd::OnPoll(gpointer self) {
    auto* window = static_cast<CAutoUpdateWnd*>(self);
    UpdateChecker* checker = UpdateChecker::Instance();
    if (!checker->IsRunning()) {
        window->pollTimer_ = 0;
        const int result = checker->GetResult();
        if (result == UpdateChecker::RESULT_NEWER) {
            window->ShowNewVersion();
            window->Show();
        } else if (window->silent_) {
            window->EndModal();
            return FALSE;
        } else {
            window->ShowButtons(BASE_BUTTON_OK, true);
            window->ShowButtons(BASE_BUTTON_CANCEL, false);
        }
        gtk_widget_queue_draw(window->GetWidget());
        return FALSE;
    }
    gtk_widget_queue_draw(window->GetWidget());
    return TRUE;
}

void CAutoUpdateWnd::ShowNewVersion() {
    ShowButtons(BASE_BUTTON_OK, true);
    ShowButtons(BASE_BUTTON_CANCEL, false);
    UpdateChecker* checker = UpdateChecker::Instance();
    const std::string url = checker->GetUrl(), version = checker->GetVersion();
    if (!linkButton_ || url.empty() || version.empty()) return;
    // The version comes from the server: plain text inside the markup.
    const std::string product = EscapeMarkup(CUIPublic::Instance()->GetProductName());
    gchar* text = g_strdup_printf(GetLangFormat("AUTO_UPDATE_WND_HAS_NEW_VER", "%s%s"), product.c_str(),
                                  EscapeMarkup(version).c_str());
    if (!text) return;
    const std::string markup = std::string(text) + "\n" + GetLangString("AUTO_UPDATE_WND_CLICK_UPDATE");
    g_free(text);
    label_->SetLabelMarkup(markup.c_str(), GetTextInDomain(kFont), "#000000");
    linkButton_->SetBtnTxt(url.c_str());
    linkButton_->BindUrl(url.c_str());
    box_->Show();
}

gboolean CAutoUpdateWnd::DrawStatus(GtkWidget* widget, GdkEventExpose*, gpointer pThis) {
    UPDATE_WND_CHECK(NULL != pThis);
    auto* window = static_cast<CAutoUpdateWnd*>(pThis);
    UpdateChecker* checker = UpdateChecker::Instance();
    if (!checker->IsRunning()) {
        window->DrawResult(widget, checker->GetResult());
        return FALSE;
    }
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    const char* font = GetTextInDomain(kFont);
    const char* text = GetLangString("AUTO_UPDATE_WND_UPDATEING");
    int tw = 0, th = 0;
    GetMarkupPixelSize(EscapeMarkup(text).c_str(), font, &tw, &th, -1);
    if (!window->waiter_) return FALSE;
    CBPCairo cairo(widget);
    const int ww = window->waiter_->Width(), wh = window->waiter_->Height();
    const int left = a.width / 2 + a.x - (ww + tw) / 2;
    const int top = a.height / 2 + a.y - wh / 2 + 20;
    window->waiter_->Draw(&cairo, left, top);
    CBPCairoFont(&cairo).DrawEllipsizeFontEx(text, font, left + ww, top - 10, 0, GdkColor{0, 0, 0, 0}, 0, 0, -1);
    return FALSE;
}

void CAutoUpdateWnd::DrawResult(GtkWidget* widget, int result) {
    if (result == UpdateChecker::RESULT_NEWER) return;
    const bool failed = result == UpdateChecker::RESULT_FAILED;
    const std::string image =
        CUIPublic::Instance()->ResFolder() + (failed ? "failure_b.png" : "success_b.png");
    const char* text = GetLangString(failed ? "AUTO_UPDATE_WND_CHECK_FAILED" : "AUTO_UPDATE_WND_IS_LASET_VER");
    const char* font = GetTextInDomain(kFont);
    int tw = 0, th = 0;
    GetMarkupPixelSize(EscapeMarkup(text).c_str(), font, &tw, &th, -1);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    CBPImageSurface picture(image.c_str());
    const int total = picture.Width() + tw + 20;
    picture.Draw(&cairo, a.width / 2 + a.x - total / 2, a.height / 2 + a.y - picture.Height() / 2);
    CBPCairoFont(&cairo).DrawEllipsizeFontEx(text, font, picture.Width() + a.width / 2 + a.x + 20 - total / 2,
                                             a.height / 2 + a.y - th / 2, 0, GdkColor{0, 0, 0, 0}, 0, 0, -1);
}
