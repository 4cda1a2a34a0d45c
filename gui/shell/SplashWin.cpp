#include "gui/shell/SplashWin.h"

#include <algorithm>

#include "gui/shell/CUIPublic.h"
#include "gui/shell/MarkupHelpers.h"
#include "logic_contract/RelikordaMsg.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPDrawRectangle.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPImage.h"

namespace {
constexpr guint kTickMs = 80;
constexpr int kFadeTicks = 9;       // the last ticks fade (remaining 9 down to -1)
constexpr int kLogoStep = 80, kLogoStop = 55;
constexpr int kTextStep = 30, kTextStop = 290;
constexpr int kProgressWidth = 250, kProgressHeight = 10, kProgressTop = 280;
constexpr int kHighlightWidth = 60, kHighlightStep = 4;
}  // namespace

CSplashWin::CSplashWin(const std::string& background)
    : CBPImageWnd(nullptr, background.c_str(), 0), CMsgReceiver(MSG_DEVICE_STATE) {
    CUIPublic* services = CUIPublic::Instance();
    CUIPublic::SetTimer(&timer_, kTickMs, &CSplashWin::OnTick, this);

    const std::string& res = services->ResFolder();
    int bw = 0, bh = 0, lw = 0, lh = 0, tw = 0, th = 0;
    GetImageFileSize(background, &bw, &bh);
    GetImageFileSize(res + "statr-logo.png", &lw, &lh);
    GetImageFileSize(res + "statr-text.png", &tw, &th);
    const bool chinese = services->GetLanguageId() == LANGUAGE_CHINESE;

    logo_ = new CBPImage((res + (chinese ? "statr-logo-cn.png" : "statr-logo.png")).c_str());
    logo_->Show();
    MoveWidget(logo_, (bw - lw) / 2, -lh);
    text_ = new CBPImage((res + (chinese ? "statr-text-cn.png" : "statr-text.png")).c_str());
    text_->Show();
    MoveWidget(text_, (bw - tw) / 2, bh);

    progress_ = new CBPEventBox();
    progress_->SetDestroyWidgetWhenDelete(0);
    progress_->Show();
    progress_->SetVisibleWindow(false);
    gtk_widget_set_size_request(progress_->GetWidget(), kProgressWidth, kProgressHeight);
    MoveWidget(progress_, (bw - kProgressWidth) / 2, kProgressTop);
    progress_->RegisterCallBack("expose-event", G_CALLBACK(&CSplashWin::OnProgressExpose), this);

    Show();
    DlgRun(1);
}

CSplashWin::~CSplashWin() {
    if (progress_) g_signal_handlers_disconnect_by_data(progress_->GetWidget(), this);
    delete progress_;
    delete logo_;
    delete text_;
    CUIPublic::RemoveTimer(&timer_);
    DlgUnRun(0);
}

void CSplashWin::OnMessage(int, int) { SetCurrentMsg(-1); }

gboolean CSplashWin::OnTick(gpointer self) {
    auto* splash = static_cast<CSplashWin*>(self);
    ++splash->ticksDone_;
    if (splash->remaining_ > kFadeTicks) {
        splash->SlideStep();
    } else {
        splash->FadeStep();
    }
    const int remaining = splash->remaining_--;
    if (remaining >= 0) return TRUE;
    splash->DlgUnRun(0);
    splash->HideAll();
    CUIPublic::RemoveTimer(&splash->timer_);
    splash->Unsubscribe(true, 0);
    return FALSE;
}

void CSplashWin::MoveBy(CBPImage* image, int dy, int limit, bool down) {
    GtkWidget* widget = image->GetWidget();
    GtkWidget* parent = gtk_widget_get_parent(widget);
    if (!parent) return;
    gint x = 0, y = 0;
    gtk_container_child_get(GTK_CONTAINER(parent), widget, "x", &x, "y", &y, nullptr);
    MoveWidget(image, x, down ? std::min(y + dy, limit) : std::max(y - dy, limit));
}

void CSplashWin::SlideStep() {
    const int steps = slideSteps_--;
    if (steps <= 0) {
        highlightOn_ = 1;
        gtk_widget_queue_draw(progress_->GetWidget());
        return;
    }
    MoveBy(logo_, kLogoStep, kLogoStop, true);
    MoveBy(text_, kTextStep, kTextStop, false);
}

void CSplashWin::FadeStep() { GetMainWindow()->SetWidgetOpacity(remaining_ / 10.0); }

gboolean CSplashWin::OnProgressExpose(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* splash = static_cast<CSplashWin*>(self);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    CBPCairoPaths paths(&cairo);
    paths.SetLinearShade(a.x, 0, a.x + a.width, 0,
                         {{0.0, 255, 255, 255, 0.1}, {0.2, 255, 255, 255, 0.3}, {0.8, 255, 255, 255, 0.3},
                          {1.0, 255, 255, 255, 0.1}});
    CBPDrawLine(&cairo).DrawLine(a.x, a.y + a.height / 2, a.x + a.width, a.y + a.height / 2, 1);
    if (splash->highlightOn_) {
        int p = a.x + kHighlightStep * splash->highlightPos_++;
        if (p >= a.x + a.width) {
            p = a.x;
            splash->highlightPos_ = 0;
        }
        paths.SetLinearShade(p, 0, p + kHighlightWidth, 0,
                             {{0.0, 255, 255, 255, 0.1}, {0.4, 255, 255, 255, 0.5}, {0.6, 255, 255, 255, 0.5},
                              {1.0, 255, 255, 255, 0.1}});
        CBPDrawRectangle(&cairo).DrawRectangle(p, a.y + (a.height - 2) / 2, kHighlightWidth, 2, 1);
    }
    return FALSE;
}
