#include "gui/shell/WindowTitle.h"

#include "gui/shell/CUIPublic.h"
#include "gui/shell/MarkupHelpers.h"
#include "outside/widgets/CBPAlignment.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoFont.h"
#include "outside/widgets/CBPCairoImgButton.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPDrawRectangle.h"
#include "outside/widgets/CBPImageSurface.h"
#include "outside/widgets/CBPWindow.h"

namespace {

constexpr int kLogoLeft = 15;
constexpr int kCaptionGap = 5;
constexpr int kRightButton = 3;

CBPCairoImgButton* MakeTitleButton(const std::string& res, const char* name) {
    const std::string base = res + name;
    return CUIPublic::MakeImageButton((base + "_normal.png").c_str(), (base + "_hover.png").c_str(),
                                      (base + "_press.png").c_str(), (base + "_disable.png").c_str());
}

}  // namespace

CWindowTitle::CWindowTitle(CBPWindow* owner) : owner_(owner) {
    CUIPublic* services = CUIPublic::Instance();
    caption_ = services->GetTitleText();
    SetVisibleWindow(false);
    GtkWidget* bar = GetWidget();
    gtk_widget_add_events(bar, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK);
    g_signal_connect(bar, "expose-event", G_CALLBACK(&CWindowTitle::OnExpose), this);
    g_signal_connect(bar, "button-press-event", G_CALLBACK(&CWindowTitle::OnPress), this);
    g_signal_connect(bar, "button-release-event", G_CALLBACK(&CWindowTitle::OnRelease), this);
    g_signal_connect(bar, "motion-notify-event", G_CALLBACK(&CWindowTitle::OnMotion), this);
    Show();

    const std::string& res = services->ResFolder();
    minimize_ = MakeTitleButton(res, "minimize");
    maximize_ = MakeTitleButton(res, "maximize");
    restore_ = MakeTitleButton(res, "maximize_restore");
    close_ = MakeTitleButton(res, "close");
    for (CBPCairoImgButton* button : {minimize_, maximize_, restore_, close_}) {
        button->NoShowAll(1);
        g_signal_connect(button->GetWidget(), "button-release-event", G_CALLBACK(&CWindowTitle::OnButtonReleased),
                         this);
    }

    buttonBox_ = new CBPBox(false, false, 5);
    CBPAlignment* alignment = new CBPAlignment(1.0, 0.5, 0, 0);
    alignment->SetDestroyWidgetWhenDelete(0);
    alignment->Add(buttonBox_->GetWidget());
    buttonBox_->Show();
    Add(alignment->GetWidget());
    alignment->Show();
    delete alignment;

    // Packed at the end one after the other: minimise, restore, maximise, close from the left.
    for (CBPCairoImgButton* button : {close_, maximize_, restore_, minimize_}) PackButton(button, 0);
    for (CBPCairoImgButton* button : {close_, maximize_, minimize_}) button->Show();
}

CWindowTitle::~CWindowTitle() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    for (CBPCairoImgButton* button : {minimize_, maximize_, restore_, close_}) {
        g_signal_handlers_disconnect_by_data(button->GetWidget(), this);
        delete button;
    }
    delete buttonBox_;
}

template <class F>
void CWindowTitle::ForEachButton(unsigned flags, F action) {
    const std::pair<unsigned, CBPCairoImgButton*> buttons[] = {{TITLE_BUTTON_MINIMIZE, minimize_},
                                                               {TITLE_BUTTON_MAXIMIZE, maximize_},
                                                               {TITLE_BUTTON_RESTORE, restore_},
                                                               {TITLE_BUTTON_CLOSE, close_}};
    for (const auto& [flag, button] : buttons)
        if ((flags & flag) && button) action(button);
}

CBPCairoImgButton* CWindowTitle::GetButton(unsigned flag) const {
    switch (flag) {
        case TITLE_BUTTON_MINIMIZE: return minimize_;
        case TITLE_BUTTON_MAXIMIZE: return maximize_;
        case TITLE_BUTTON_RESTORE: return restore_;
        case TITLE_BUTTON_CLOSE: return close_;
        default: return nullptr;
    }
}

void CWindowTitle::OnMaximize() {
    if (gtk_widget_get_visible(restore_->GetWidget())) {
        restore_->Hide();
        maximize_->Show();
    } else {
        maximize_->Hide();
        restore_->Show();
    }
}

void CWindowTitle::HideButtons(unsigned flags) {
    ForEachButton(flags, [](CBPCairoImgButton* button) { button->Hide(); });
}

void CWindowTitle::ShowButtons(unsigned flags) {
    ForEachButton(flags, [](CBPCairoImgButton* button) { button->Show(); });
}

void CWindowTitle::EnableButtons(unsigned flags) {
    ForEachButton(flags, [](CBPCairoImgButton* button) { gtk_widget_set_sensitive(button->GetWidget(), TRUE); });
}

void CWindowTitle::DisableButtons(unsigned flags) {
    ForEachButton(flags, [](CBPCairoImgButton* button) { gtk_widget_set_sensitive(button->GetWidget(), FALSE); });
}

void CWindowTitle::RegisterButtonCallback(unsigned flags, const char* signal, GCallback handler, gpointer data) {
    ForEachButton(flags, [&](CBPCairoImgButton* button) { button->RegisterCallBack(signal, handler, data); });
}

void CWindowTitle::PackButton(CBPWidget* button, int padding) {
    if (!buttonBox_ || !button) return;
    buttonBox_->PackEnd(button, false, false, padding);
    gtk_widget_set_can_focus(button->GetWidget(), FALSE);
}

void CWindowTitle::SetCaption(const std::string& caption) {
    if (!caption.empty()) caption_ = caption;
}

gboolean CWindowTitle::OnButtonReleased(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* title = static_cast<CWindowTitle*>(self);
    if (!event || event->button == kRightButton) return FALSE;
    if (widget == title->minimize_->GetWidget()) {
        title->OnMinimize();
    } else if (widget == title->maximize_->GetWidget() || widget == title->restore_->GetWidget()) {
        title->OnMaximize();
    } else if (widget == title->close_->GetWidget()) {
        title->OnClose();
    }
    return FALSE;
}

gboolean CWindowTitle::OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* title = static_cast<CWindowTitle*>(self);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    CBPCairoPaths paths(&cairo);
    paths.SetLinearShade(0, a.y, 0, a.y + a.height, {{0.0, 9, 162, 210, 1.0}, {1.0, 9, 162, 210, 1.0}});
    CBPDrawRectangle(&cairo).DrawRectangle(a.x - 1, a.y, a.width + 2, a.height, 1);
    CBPDrawLine line(&cairo);
    paths.SetPathRgb(88, 192, 224);
    line.DrawLine(a.x, a.y, a.x + a.width - 2, a.y, 1);
    paths.SetPathRgb(72, 123, 140);
    line.DrawLine(a.x, a.y + a.height, a.x + a.width, a.y + a.height, 1);

    CBPImageSurface logo(CUIPublic::Instance()->GetTitleLogoPath().c_str());
    logo.Draw(&cairo, kLogoLeft, a.y + a.height / 2 - logo.Height() / 2);

    const std::string font = CUIPublic::Translate("Arial 12px");
    int textWidth = 0, textHeight = 0;
    GetMarkupPixelSize(EscapeMarkup(title->caption_).c_str(), font.c_str(), &textWidth, &textHeight, -1);
    const int left = kLogoLeft + logo.Width() + kCaptionGap;
    // The caption may run up to the buttons.
    GtkAllocation buttons;
    gtk_widget_get_allocation(title->buttonBox_->GetWidget(), &buttons);
    const int room = buttons.x > a.x + left ? buttons.x - (a.x + left) - kCaptionGap : a.width - left;
    GdkColor white{0, 255, 255, 255};
    CBPCairoFont(&cairo).DrawEllipsizeFontEx(title->caption_, font.c_str(), left,
                                            a.y + (a.height - textHeight) / 2, room, white, 0, 0, -1.0);
    return FALSE;
}

gboolean CWindowTitle::OnPress(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* title = static_cast<CWindowTitle*>(self);
    if (!event || event->button != 1) return FALSE;
    title->pressX_ = event->x;
    title->pressY_ = event->y;
    title->pressed_ = 1;
    title->dragging_ = 0;
    if (event->type == GDK_2BUTTON_PRESS) {
        int logoWidth = 0, logoHeight = 0;
        GetImageFileSize(CUIPublic::Instance()->GetTitleLogoPath(), &logoWidth, &logoHeight);
        GtkAllocation a;
        gtk_widget_get_allocation(widget, &a);
        if (PointInRect(static_cast<int>(event->x), static_cast<int>(event->y), kLogoLeft,
                        (a.height - logoHeight) / 2, logoWidth, logoHeight)) {
            event->type = GDK_NOTHING;
            gboolean handled = FALSE;
            g_signal_emit_by_name(widget, "delete-event", event, &handled);
        }
    }
    return FALSE;
}

gboolean CWindowTitle::OnRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* title = static_cast<CWindowTitle*>(self);
    if (event && event->button == 1) {
        title->pressed_ = 0;
        title->dragging_ = 0;
    }
    return FALSE;
}

gboolean CWindowTitle::OnMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
    auto* title = static_cast<CWindowTitle*>(self);
    if (!event || !title->pressed_ || !title->owner_ || !title->owner_->IsNormalState()) return FALSE;
    gint wx = 0, wy = 0;
    gtk_window_get_position(title->owner_->GetWindow(), &wx, &wy);
    const double dx = event->x - title->pressX_, dy = event->y - title->pressY_;
    GtkAllocation buttons;
    gtk_widget_get_allocation(title->buttonBox_->GetWidget(), &buttons);
    const bool overButtons = PointInRect(static_cast<int>(event->x_root), static_cast<int>(event->y_root),
                                         buttons.x + wx, buttons.y + wy, buttons.width, buttons.height);
    if (title->dragging_ || !overButtons) {
        title->dragging_ = 1;
        title->owner_->MoveWindow(static_cast<int>(wx + dx), static_cast<int>(wy + dy), 20, 2);
    } else {
        // Over the buttons before the drag began: no drag.
        title->pressed_ = 0;
    }
    return FALSE;
}
