#include "gui/pages/StepFlowWidget.h"

#include <algorithm>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MarkupHelpers.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawCircle.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLinkLabel.h"

namespace {

constexpr guint kTickMs = 80;
constexpr int kTextGap = 10;
// The circle's column: a spacer of kColumn - m before an area 2m + 4 wide puts the line at x 36.
constexpr int kColumn = 33;
constexpr int kStemX = 36;
constexpr int kDefaultTextWidth = 420;

void ForgetWrapper(CBPWidget* widget) {
    widget->SetDestroyWidgetWhenDelete(0);
    delete widget;
}

}  // namespace

int CStepFlowWidget::TextWidth() {
    const int width = CUIPublic::Instance()->GetConfig()->GetKeyValueInt("AnalysisMain", "StepTextWidth");
    return width > 0 ? width : kDefaultTextWidth;
}

CStepFlowWidget::CStepFlowWidget(int radius) : CBPBox(true, false, 0), radius_(radius) {
    const int m = Span();
    auto* line = new CBPBox(false, false, 0);
    spacer_ = new CBPLabel("");
    gtk_widget_set_size_request(spacer_->GetWidget(), kColumn - m, -1);
    circleArea_ = new CBPEventBox();
    circleArea_->SetVisibleWindow(false);
    gtk_widget_set_size_request(circleArea_->GetWidget(), 2 * m + 4, 2 * m + 4);
    circleArea_->RegisterCallBack("expose-event", G_CALLBACK(&CStepFlowWidget::DrawIndicator), this, true);
    auto* gap = new CBPLabel("");
    gtk_widget_set_size_request(gap->GetWidget(), kTextGap, -1);
    extraBox_ = new CBPBox(true, false, 0);
    label_ = new CBPLinkLabel("");
    GtkLabel* text = GTK_LABEL(label_->GetWidget());
    gtk_misc_set_alignment(GTK_MISC(text), 0.0f, 0.5f);
    gtk_label_set_line_wrap(text, TRUE);
    gtk_label_set_line_wrap_mode(text, PANGO_WRAP_WORD_CHAR);
    gtk_widget_set_size_request(label_->GetWidget(), TextWidth(), -1);
    extraBox_->PackStart(label_, true, false, 0);

    line->PackStart(spacer_, false, false, 0);
    line->PackStart(circleArea_, false, true, 0);
    line->PackStart(gap, false, false, 0);
    line->PackStart(extraBox_, true, true, 0);
    PackStart(line, false, true, 0);
    stem_ = new CBPEventBox();
    stem_->SetVisibleWindow(false);
    stem_->RegisterCallBack("expose-event", G_CALLBACK(&CStepFlowWidget::DrawStem), this, true);
    PackStart(stem_, true, true, 0);
    ShowAll();
    ForgetWrapper(line);
    ForgetWrapper(gap);
}

CStepFlowWidget::~CStepFlowWidget() {
    CUIPublic::RemoveTimer(&timerId_);
    g_signal_handlers_disconnect_by_data(circleArea_->GetWidget(), this);
    g_signal_handlers_disconnect_by_data(stem_->GetWidget(), this);
    if (urlHandler_) g_signal_handlers_disconnect_by_data(label_->GetWidget(), urlData_);
    delete label_;
    delete extraBox_;
    delete circleArea_;
    delete spacer_;
    delete stem_;
}

void CStepFlowWidget::Redraw() {
    if (GetWidget()) gtk_widget_queue_draw(GetWidget());
}

void CStepFlowWidget::SetText(const std::string& text, UrlHandler handler, gpointer data) {
    const Colour& c = textColour_[state_];
    GdkColor colour{0, static_cast<guint16>(c.red), static_cast<guint16>(c.green), static_cast<guint16>(c.blue)};
    const char* font = GetTextInDomain(bold_ ? "Arial Bold 16px" : "Arial 16px");
    label_->SetLabelMarkText(MakeSpanMarkup(text, &colour, font, nullptr, true).c_str());
    if (handler && handler != urlHandler_) {
        label_->RegisterCallBack("url-activated", G_CALLBACK(handler), data);
        urlHandler_ = handler;
        urlData_ = data;
    }
    text_ = text;
    Redraw();
}

void CStepFlowWidget::SetState(int state) {
    if (state >= STEP_PENDING && state <= STEP_ATTENTION) {
        state_ = state;
        CUIPublic::RemoveTimer(&timerId_);
        if (state == STEP_ACTIVE) {
            CUIPublic::SetTimer(&timerId_, kTickMs, &CStepFlowWidget::OnAnimationTick, this);
            tickCount_ = 0;
        }
    }
    if (textShown_) {
        SetText(text_, urlHandler_, urlData_);
    } else {
        Redraw();
    }
}

void CStepFlowWidget::SetBold(int bold) {
    bold_ = bold;
    SetText(text_, urlHandler_, urlData_);
}

void CStepFlowWidget::SetRadius(int radius) {
    radius_ = radius;
    const int m = Span();
    int height = -1;
    gtk_widget_get_size_request(spacer_->GetWidget(), nullptr, &height);
    gtk_widget_set_size_request(spacer_->GetWidget(), kColumn - m, height);
    gtk_widget_set_size_request(circleArea_->GetWidget(), 2 * m + 4, 2 * m);
}

void CStepFlowWidget::SetLineVisible(int visible) {
    lineVisible_ = visible;
    Redraw();
}

void CStepFlowWidget::ShowText() {
    textShown_ = 1;
    SetText(text_, urlHandler_, urlData_);
    Show();
}

void CStepFlowWidget::HideText() {
    textShown_ = 0;
    label_->SetLabelMarkText("");
    Redraw();
}

void CStepFlowWidget::PackExtra(GtkWidget* widget, bool expand, bool fill, int padding, bool atStart) {
    if (!widget) return;
    if (atStart) {
        extraBox_->PackStart(widget, expand, fill, padding);
    } else {
        extraBox_->PackEnd(widget, expand, fill, padding);
    }
}

GtkWidget* CStepFlowWidget::GetHostedWidget() const {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(circleArea_->GetWidget()));
    return child && GTK_IS_WIDGET(child) ? child : nullptr;
}

void CStepFlowWidget::HostButton(GtkWidget* widget) {
    gtk_widget_set_size_request(spacer_->GetWidget(), 0, 0);
    gtk_widget_set_size_request(circleArea_->GetWidget(), kHostedButtonSide, kHostedButtonSide);
    CUIPublic::SetTimer(&timerId_, kTickMs, &CStepFlowWidget::OnAnimationTick, this);
    tickCount_ = 0;
    if (GtkWidget* old = GetHostedWidget()) gtk_container_remove(GTK_CONTAINER(circleArea_->GetWidget()), old);
    if (widget) circleArea_->Add(widget);
    Redraw();
}

void CStepFlowWidget::ReleaseButton() {
    if (GtkWidget* hosted = GetHostedWidget()) {
        CBPButton::BindInt(hosted, ROUND_COLOR_BUTTON_ANIMATION_KEY, 0);
        gtk_container_remove(GTK_CONTAINER(circleArea_->GetWidget()), hosted);
    }
    CUIPublic::RemoveTimer(&timerId_);
    const int m = Span();
    gtk_widget_set_size_request(circleArea_->GetWidget(), 2 * m + 4, 2 * m + 4);
    gtk_widget_set_size_request(spacer_->GetWidget(), kColumn - m, -1);
}

gboolean CStepFlowWidget::OnAnimationTick(gpointer self) {
    auto* row = static_cast<CStepFlowWidget*>(self);
    ++row->tickCount_;
    const int half = row->radius_ / 2;
    row->pulse_ = half > 0 ? (row->tickCount_ >> 1) % half : 0;
    if (GtkWidget* hosted = row->GetHostedWidget())
        CBPButton::BindInt(hosted, ROUND_COLOR_BUTTON_ANIMATION_KEY, row->tickCount_ % 10);
    row->Redraw();
    return TRUE;
}

int CStepFlowWidget::LineState() const { return !textShown_ && previous_ ? previous_->state_ : state_; }

gboolean CStepFlowWidget::DrawIndicator(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* row = static_cast<CStepFlowWidget*>(self);
    if (row->GetHostedWidget()) return FALSE;  // the button draws itself
    GtkAllocation area, text;
    gtk_widget_get_allocation(widget, &area);
    gtk_widget_get_allocation(row->label_->GetWidget(), &text);
    const int radius = row->radius_;
    const int m = row->Span();
    const int cx = area.width / 2;
    const int cy = text.height / 2 + (radius < 10 ? 2 : 4);
    const double x = area.x + cx + 1;  // every line
    const double top = area.y;
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    // The area has no window of its own: draw at its allocation, inside it only.
    cairo_rectangle(cairo.GetCairo(), area.x, area.y, area.width, area.height);
    cairo_clip(cairo.GetCairo());
    CBPCairoPaths paths(&cairo);
    CBPDrawLine line(&cairo);
    if (row->previous_ && m > radius) {
        const Colour& c = row->lineColour_[row->previous_->state_];
        paths.SetPathRgb(c.red, c.green, c.blue);
        line.DrawLine(x, top, x, top + m - radius, 1);
    }
    const Colour& lineColour = row->lineColour_[row->LineState()];
    paths.SetPathRgb(lineColour.red, lineColour.green, lineColour.blue);
    if (row->lineVisible_)
        line.DrawLine(x, top + cy + (row->textShown_ ? radius : -radius), x, top + cy + area.height, 1);
    if (!row->textShown_) return FALSE;
    const int state = row->state_;
    const double centreX = x + 0.5, centreY = top + cy;
    CBPDrawCircle circle(&cairo);
    const int half = radius / 2;
    if (state == STEP_ACTIVE) {
        const Colour& c = row->circleColour_[STEP_ACTIVE];
        const double alpha = 1.0 - (static_cast<double>(row->pulse_) / half - 0.1);
        paths.SetPathRgba(c.red, c.green, c.blue, alpha > 1.0 ? 1.0 : alpha);
        circle.DrawCircle(centreX, centreY, half + row->pulse_, 1);
    }
    const Colour& fill = row->circleColour_[state];
    paths.SetPathRgb(fill.red, fill.green, fill.blue);
    circle.DrawCircle(centreX, centreY, state == STEP_ACTIVE ? half : radius - 2, 1);
    const Colour& ring = row->circleColour_[STEP_PENDING];
    paths.SetPathRgb(ring.red, ring.green, ring.blue);
    circle.DrawCircle(centreX, centreY, radius, 0, 1.0);
    return FALSE;
}

gboolean CStepFlowWidget::DrawStem(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* row = static_cast<CStepFlowWidget*>(self);
    GtkAllocation area, whole;
    gtk_widget_get_allocation(widget, &area);
    gtk_widget_get_allocation(row->GetWidget(), &whole);
    // A row that does not grow still gives its stem a pixel, below the row: nothing is drawn there.
    const int bottom = std::min(area.y + area.height, whole.y + whole.height);
    if (bottom <= area.y) return FALSE;
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    const Colour& c = row->lineColour_[row->LineState()];
    CBPCairoPaths(&cairo).SetPathRgb(c.red, c.green, c.blue);
    CBPDrawLine(&cairo).DrawLine(area.x + kStemX, area.y, area.x + kStemX, bottom, 1);
    return FALSE;
}
