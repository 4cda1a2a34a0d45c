#include "gui/shell/BaseWnd.h"

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/Painters.h"
#include "gui/shell/WindowTitle.h"
#include "outside/widgets/CBPAlignment.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPDrawRectangle.h"
#include "outside/widgets/CBPDrawRoundRectangle.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPImageSurface.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"

namespace {

constexpr double kBorderRadius = 3.0;
constexpr int kLogoStripTitleCut = 3;
// Room around the strip's picture: the strip has no child to give it a height.
constexpr int kLogoStripMargin = 24;
constexpr guint kKeySpace = 32;
constexpr guint kKeyReturn = 65293;

#define BASE_WND_CHECK(condition)                                                                             \
    if (!(condition)) {                                                                                       \
        g_log(nullptr, G_LOG_LEVEL_CRITICAL, "file %s: line %d: assertion `%s' failed", "BaseWnd.cpp", __LINE__, \
              #condition);                                                                                    \
        return FALSE;                                                                                         \
    }

void ReadSize(const char* key, int* width, int* height) {
    CUIPublic::Instance()->GetConfig()->GetKeyIntPoint("Public", key, width, height);
}

bool IsLeftRelease(const GdkEventButton* event) {
    return event && event->type == GDK_BUTTON_RELEASE && event->button == 1;
}

}  // namespace

CBaseWnd::CBaseWnd(CBPWindow* parent, unsigned buttons, int kind)
    : CBPWindow(GTK_WINDOW_TOPLEVEL), kind_(kind), buttons_(buttons), parent_(parent) {}

CBaseWnd::~CBaseWnd() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    delete bottomAlignment_;
    delete bottomBar_;
    delete logoStrip_;
    delete content_;
    for (CBPButton* button : {ok_, cancel_, next_, continue_, yes_, no_}) delete button;
    delete bottomImage_;
    delete bottomLabel_;
    delete title_;
    delete frame_;
}

int CBaseWnd::CreateFrame(const char* title, const char* caption, int hasLogoStrip, int compactButtons) {
    CUIPublic* services = CUIPublic::Instance();
    GtkWindow* window = GetWindow();
    ShowWindowTitle(0);
    gtk_window_set_icon_from_file(window, services->GetIconPath().c_str(), nullptr);
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_window_set_title(window, title ? title : "");

    g_signal_connect(GetWidget(), "delete-event", G_CALLBACK(&CBaseWnd::OnDelete), this);
    g_signal_connect_after(GetWidget(), "expose-event", G_CALLBACK(&CBaseWnd::OnBorderExpose), this);
    GdkColor background{0, 252 * 257, 252 * 257, 252 * 257};
    gtk_widget_modify_bg(GetWidget(), GTK_STATE_NORMAL, &background);
    if (parent_) {
        SetWinowModal(1);
        BindParentWindow(parent_);
        gtk_window_set_position(window, GTK_WIN_POS_CENTER_ON_PARENT);
    } else {
        gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    }

    frame_ = new CBPBox(true, false, 0);
    Add(frame_->GetWidget());
    frame_->Show();

    title_ = new CWindowTitle(this);
    if (caption) title_->SetCaption(caption);
    title_->HideButtons(TITLE_BUTTON_MINIMIZE | TITLE_BUTTON_MAXIMIZE | TITLE_BUTTON_RESTORE);
    title_->RegisterButtonCallback(TITLE_BUTTON_CLOSE, "button-release-event", G_CALLBACK(&CBaseWnd::OnClose), this);
    frame_->PackStart(title_, false, false, 0);

    int titleWidth = -1, titleHeight = 30;
    ReadSize("BaseWinTitleSize", &titleWidth, &titleHeight);
    hasLogoStrip_ = hasLogoStrip;
    if (hasLogoStrip) {
        logoStrip_ = new CBPEventBox();
        logoStrip_->SetVisibleWindow(false);
        logoStrip_->RegisterCallBack("expose-event", G_CALLBACK(&CBaseWnd::OnLogoExpose), this);
        CUIPublic::ResetSizeRequest(logoStrip_);
        CBPImageSurface logo((services->ResFolder() + "pop_wnd_logo.png").c_str());
        gtk_widget_set_size_request(logoStrip_->GetWidget(), -1, logo.Height() + kLogoStripMargin);
        frame_->PackStart(logoStrip_, false, false, 0);
        logoStrip_->Show();
        titleHeight -= kLogoStripTitleCut;
    }
    gtk_widget_set_size_request(title_->GetWidget(), titleWidth, titleHeight);

    content_ = new CBPEventBox();
    content_->SetVisibleWindow(false);
    content_->SetDestroyWidgetWhenDelete(0);
    gtk_container_set_border_width(GTK_CONTAINER(content_->GetWidget()), 1);
    frame_->PackStart(content_, true, true, 0);
    content_->Show();

    if (!frame_->GetWidget() || !title_->GetWidget() || !content_->GetWidget()) return 1;
    return buttons_ ? CreateBottomBar(compactButtons) : 0;
}

CBPButton* CBaseWnd::AddBottomButton(GtkWidget* row, const char* key, GCallback handler, bool aligned) {
    int width = 80, height = 26;
    ReadSize("BaseWinBottomBtnSize", &width, &height);
    auto* button = new CBPButton(GetLangString(key));
    CUIPublic::SetSizeAtLeast(button->GetWidget(), width, height);
    button->RegisterCallBack("button-release-event", handler, this);
    button->RegisterCallBack("key-press-event", G_CALLBACK(&CBaseWnd::OnKeyPress), this);
    GtkWidget* packed = button->GetWidget();
    if (aligned) {
        packed = gtk_alignment_new(0.5, 0.5, 0, 0);
        gtk_container_add(GTK_CONTAINER(packed), button->GetWidget());
    }
    gtk_box_pack_end(GTK_BOX(row), packed, FALSE, FALSE, 0);
    gtk_widget_show(packed);
    button->NoShowAll(1);
    button->Show();
    return button;
}

int CBaseWnd::CreateBottomBar(int compact) {
    if (!frame_) return 1;
    bottomBar_ = new CBPEventBox();
    bottomBar_->NoShowAll(1);
    bottomBar_->SetVisibleWindow(false);
    bottomBar_->RegisterCallBack("expose-event", G_CALLBACK(&CBaseWnd::OnBottomExpose), this);
    frame_->PackEnd(bottomBar_, false, false, 0);
    bottomBar_->Show();

    GtkWidget* row = gtk_hbox_new(FALSE, compact ? 0 : 15);
    GtkWidget* column = gtk_vbox_new(FALSE, 0);
    // Packed at the end one after the other: Continue, Next, OK, Cancel from the left.
    if (buttons_ & BASE_BUTTON_CANCEL)
        cancel_ = AddBottomButton(row, "BASE_WND_CANCEL_BTN", G_CALLBACK(&CBaseWnd::OnCancel), true);
    if (buttons_ & BASE_BUTTON_OK)
        ok_ = AddBottomButton(row, "BASE_WND_OK_BTN", G_CALLBACK(&CBaseWnd::OnOkOrContinue), true);
    if (buttons_ & BASE_BUTTON_NEXT)
        next_ = AddBottomButton(row, "BASE_WND_NEXT_BTN", G_CALLBACK(&CBaseWnd::OnNext), true);
    if (buttons_ & BASE_BUTTON_CONTINUE)
        continue_ = AddBottomButton(row, "BASE_WIND_CONTINUE_BTN", G_CALLBACK(&CBaseWnd::OnOkOrContinue), true);
    // Yes and No come as a pair or not at all.
    if ((buttons_ & BASE_BUTTON_YES) && (buttons_ & BASE_BUTTON_NO)) {
        no_ = AddBottomButton(row, "BASE_WND_NO_BTN", G_CALLBACK(&CBaseWnd::OnYesOrNo), false);
        yes_ = AddBottomButton(row, "BASE_WND_YES_BTN", G_CALLBACK(&CBaseWnd::OnYesOrNo), false);
    }

    bottomImage_ = new CBPImage("");
    gtk_box_pack_start(GTK_BOX(row), bottomImage_->GetWidget(), FALSE, FALSE, 10);
    bottomImage_->NoShowAll(1);
    bottomLabel_ = new CBPLabel("");
    GtkLabel* label = GTK_LABEL(bottomLabel_->GetWidget());
    gtk_label_set_line_wrap(label, TRUE);
    gtk_label_set_use_markup(label, TRUE);
    gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD);
    gtk_box_pack_start(GTK_BOX(row), bottomLabel_->GetWidget(), FALSE, FALSE, 0);
    bottomLabel_->NoShowAll(1);

    delete bottomAlignment_;
    bottomAlignment_ = new CBPAlignment(kind_ ? 0.9 : 0.5, 0.5, 0, 0);
    bottomAlignment_->Add(column);
    bottomAlignment_->Show();
    bottomBar_->Add(bottomAlignment_->GetWidget());
    gtk_box_pack_start(GTK_BOX(column), row, FALSE, FALSE, 10);
    gtk_widget_show(row);
    gtk_widget_show(column);
    return 0;
}

void CBaseWnd::SetButtonCallback(unsigned flags, Gate gate, void* data) {
    const GateSlot slot{gate, data};
    if (flags & (BASE_BUTTON_OK | BASE_BUTTON_CONTINUE)) okGate_ = slot;
    if (flags & BASE_BUTTON_CANCEL) cancelGate_ = slot;
    if (flags & BASE_BUTTON_NEXT) nextGate_ = slot;
    if (flags & BASE_BUTTON_YES) yesGate_ = slot;
    if (flags & BASE_BUTTON_NO) noGate_ = slot;
}

CBPButton* CBaseWnd::GetButton(unsigned flag) const {
    switch (flag) {
        case BASE_BUTTON_OK: return ok_;
        case BASE_BUTTON_CANCEL: return cancel_;
        case BASE_BUTTON_NEXT: return next_;
        case BASE_BUTTON_CONTINUE: return continue_;
        case BASE_BUTTON_YES: return yes_;
        case BASE_BUTTON_NO: return no_;
        default: return nullptr;
    }
}

void CBaseWnd::ShowButtons(unsigned flags, bool show) {
    for (unsigned flag : {BASE_BUTTON_OK, BASE_BUTTON_CONTINUE, BASE_BUTTON_CANCEL, BASE_BUTTON_NEXT}) {
        CBPButton* button = GetButton(flag);
        if (!(flags & flag) || !button) continue;
        if (show) {
            button->Show();
        } else {
            button->Hide();
        }
    }
}

void CBaseWnd::HideOkButton() {
    if (ok_) ok_->Hide();
}

void CBaseWnd::ShowOkButton() {
    if (ok_) ok_->Show();
}

void CBaseWnd::HideCancelButton() {
    if (cancel_) cancel_->Hide();
}

void CBaseWnd::HideBottomBar() {
    if (bottomBar_) bottomBar_->Hide();
}

void CBaseWnd::ShowBottomBar() {
    if (bottomBar_) bottomBar_->Show();
}

int CBaseWnd::DoModal(bool showAll) {
    if (showAll) {
        ShowAll();
    } else {
        Show();
    }
    running_ = 1;
    DlgRun(0);
    return result_;
}

int CBaseWnd::EndModal() {
    Hide();
    DlgUnRun(0);
    running_ = 0;
    return result_;
}

void CBaseWnd::EndWith(int result) {
    result_ = result;
    EndModal();
}

void CBaseWnd::ContainerAdd(GtkWidget* widget) {
    if (content_ && widget) content_->Add(widget);
}

void CBaseWnd::AddContent(CBPWidget* widget) {
    if (widget) ContainerAdd(widget->GetWidget());
}

void CBaseWnd::ClearContent() {
    if (!content_) return;
    if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(content_->GetWidget()))) gtk_widget_destroy(child);
}

void CBaseWnd::SetAlignment(double xalign, double yalign, double xscale, double yscale) {
    if (bottomAlignment_) bottomAlignment_->Set(xalign, yalign, xscale, yscale);
}

void CBaseWnd::SimulateButtonEvent(GtkWidget* widget, int type) {
    if (!widget || (type != GDK_BUTTON_PRESS && type != GDK_BUTTON_RELEASE)) return;
    GdkEventButton event{};
    event.type = static_cast<GdkEventType>(type);
    event.button = 1;
    gboolean handled = FALSE;
    g_signal_emit_by_name(widget, type == GDK_BUTTON_PRESS ? "button-press-event" : "button-release-event", &event,
                          &handled);
}

gboolean CBaseWnd::OnDelete(GtkWidget*, GdkEvent*, gpointer self) {
    static_cast<CBaseWnd*>(self)->EndWith(BASE_RESULT_CANCEL);
    return TRUE;  // the window stays; its owner deletes it
}

gboolean CBaseWnd::OnClose(GtkWidget*, GdkEventButton* pEvtBtn, gpointer pUserData) {
    BASE_WND_CHECK(NULL != pEvtBtn && NULL != pUserData);
    auto* dialog = static_cast<CBaseWnd*>(pUserData);
    if (IsLeftRelease(pEvtBtn) && dialog->cancelGate_.Passes()) dialog->EndWith(BASE_RESULT_CANCEL);
    return FALSE;
}

gboolean CBaseWnd::OnOkOrContinue(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* dialog = static_cast<CBaseWnd*>(self);
    if (!dialog->okGate_.Passes()) return FALSE;
    if (IsLeftRelease(event)) {
        const bool isContinue = dialog->continue_ && widget == dialog->continue_->GetWidget();
        dialog->EndWith(isContinue ? BASE_RESULT_CONTINUE : BASE_RESULT_OK);
    }
    return FALSE;
}

gboolean CBaseWnd::OnCancel(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* dialog = static_cast<CBaseWnd*>(self);
    if (dialog->cancelGate_.Passes() && IsLeftRelease(event)) dialog->EndWith(BASE_RESULT_CANCEL);
    return FALSE;
}

gboolean CBaseWnd::OnNext(GtkWidget*, GdkEventButton*, gpointer self) {
    // Next never ends the dialog.
    static_cast<CBaseWnd*>(self)->nextGate_.Passes();
    return FALSE;
}

gboolean CBaseWnd::OnYesOrNo(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* dialog = static_cast<CBaseWnd*>(self);
    const bool isYes = dialog->yes_ && widget == dialog->yes_->GetWidget();
    if ((isYes ? dialog->yesGate_ : dialog->noGate_).Passes() && IsLeftRelease(event))
        dialog->EndWith(isYes ? BASE_RESULT_YES : BASE_RESULT_NO);
    return FALSE;
}

gboolean CBaseWnd::OnKeyPress(GtkWidget* widget, GdkEventKey* pEvent, gpointer) {
    BASE_WND_CHECK(NULL != pEvent);
    if (pEvent->type == GDK_KEY_PRESS && (pEvent->keyval == kKeySpace || pEvent->keyval == kKeyReturn))
        SimulateButtonEvent(widget, GDK_BUTTON_RELEASE);
    return FALSE;
}

gboolean CBaseWnd::OnBorderExpose(GtkWidget* pWidget, GdkEventExpose* pEvent, gpointer) {
    BASE_WND_CHECK(NULL != pWidget && NULL != pEvent);
    GdkWindow* window = gtk_widget_get_window(pWidget);
    if (!window) return FALSE;
    GtkAllocation a;
    gtk_widget_get_allocation(pWidget, &a);
    // Round corners: only the rounded rectangle stays part of the window.
    GdkPixmap* mask = gdk_pixmap_new(nullptr, a.width, a.height, 1);
    {
        CBPCairo cairo(GDK_DRAWABLE(mask));
        cairo_t* cr = cairo.GetCairo();
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
        CBPCairoPaths(&cairo).SetPathRgb(255, 255, 255);
        cairo_set_line_width(cr, 1.0);
        CBPDrawRoundRectangle(&cairo).DrawRoundRectangle(0, 0, a.width, a.height, kBorderRadius, 1);
    }
    gdk_window_shape_combine_mask(window, mask, 0, 0);
    g_object_unref(mask);
    CBPCairo cairo(pWidget);
    CBPCairoPaths(&cairo).SetPathRgb(102, 103, 104);
    CBPDrawRoundRectangle(&cairo).DrawRoundRectangle(0, 0, a.width, a.height, kBorderRadius, 0);
    return FALSE;
}

gboolean CBaseWnd::OnBottomExpose(GtkWidget* widget, GdkEventExpose*, gpointer) {
    PaintStripWithTopLine(widget, 0xF0F0F0, 0xDFDFDF);
    return FALSE;  // the buttons are drawn over it
}

gboolean CBaseWnd::OnLogoExpose(GtkWidget* widget, GdkEventExpose*, gpointer pUserData) {
    BASE_WND_CHECK(NULL != pUserData);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    cairo_t* cr = cairo.GetCairo();
    CBPCairoPaths paths(&cairo);
    paths.SetPathRgb(189, 223, 240);
    CBPDrawRectangle(&cairo).DrawRectangle(a.x, a.y, a.width, a.height, 1);
    // A checkerboard of 2 x 2 squares.
    cairo_new_path(cr);
    for (int row = 0; row < a.height / 2; ++row)
        for (int column = row % 2; column < a.width / 2; column += 2)
            cairo_rectangle(cr, a.x + 2 * column, a.y + 2 * row, 2, 2);
    paths.SetPathRgb(178, 216, 231);
    cairo_fill(cr);
    const double cx = a.x + a.width / 2.0, cy = a.y + a.height / 2.0;
    paths.SetRadialShade(cx, cy, 0, a.width / 2.0, {{0.0, 255, 255, 255, 0.5}, {1.0, 255, 255, 255, 0.0}});
    CBPDrawRectangle(&cairo).DrawRectangle(a.x, a.y, a.width, a.height, 1);
    CBPDrawLine line(&cairo);
    paths.SetPathRgba(149, 149, 149, 0.4);
    line.DrawLine(a.x, a.y + 1, a.x + a.width, a.y + 1, 1);
    paths.SetPathRgba(149, 149, 149, 0.1);
    line.DrawLine(a.x, a.y + 2, a.x + a.width, a.y + 2, 1);
    CBPImageSurface logo((CUIPublic::Instance()->ResFolder() + "pop_wnd_logo.png").c_str());
    logo.Draw(&cairo, a.x + (a.width - logo.Width()) / 2, a.y + (a.height - logo.Height()) / 2);
    return FALSE;
}
