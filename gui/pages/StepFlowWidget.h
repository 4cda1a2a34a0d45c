#pragma once
#include <glib-object.h>

#include <string>

#include "outside/widgets/CBPBox.h"

class CBPEventBox;
class CBPLabel;
class CBPLinkLabel;

// Step states: what a row's circle, text and line look like.
enum : int { STEP_PENDING = 0, STEP_ACTIVE = 1, STEP_DONE = 2, STEP_ATTENTION = 3 };

// One drawn row of the connection steps: a circle (or a hosted button) on a vertical line, the
// step's text beside it, an area right of the text for more widgets, and a stem that carries the
// line down to the next row. An active circle pulses (80 ms). Main thread only.
class CStepFlowWidget : public CBPBox {
public:
    // "url-activated" of the row's text: (label, url, x, y, data).
    using UrlHandler = void (*)(GtkWidget* label, const gchar* url, gint x, gint y, gpointer data);

    explicit CStepFlowWidget(int radius);
    ~CStepFlowWidget() override;

    // The text (markup) in the state's colour and the row's weight; a new handler is connected to
    // the text's links.
    void SetText(const std::string& text, UrlHandler handler = nullptr, gpointer data = nullptr);
    // 0 to 3; other values keep state and timer (the text is still rendered again).
    void SetState(int state);
    void SetBold(int bold);
    void SetRadius(int radius);
    void SetLineVisible(int visible);
    void ShowText();
    // No text and no circle: the row is only a line in the colour of the row above.
    void HideText();
    void PackExtra(GtkWidget* widget, bool expand, bool fill, int padding, bool atStart);
    // The side of the square a hosted button takes.
    static constexpr int kHostedButtonSide = 70;
    // The widget takes the circle's place (70 x 70) and is animated by the row's timer.
    void HostButton(GtkWidget* widget);
    void ReleaseButton();
    GtkWidget* GetHostedWidget() const;
    void SetPrevious(CStepFlowWidget* previous) { previous_ = previous; }
    // The width at which the texts of the steps wrap: [AnalysisMain] StepTextWidth, else 420.
    static int TextWidth();

    int GetState() const { return state_; }
    int GetRadius() const { return radius_; }
    int IsBold() const { return bold_; }
    int IsTextShown() const { return textShown_; }
    int IsLineVisible() const { return lineVisible_; }
    const std::string& GetText() const { return text_; }
    bool IsAnimating() const { return timerId_ != 0; }
    int GetPulse() const { return pulse_; }
    CBPLinkLabel* GetLabel() const { return label_; }
    CBPEventBox* GetCircleArea() const { return circleArea_; }
    CBPBox* GetExtraBox() const { return extraBox_; }

private:
    struct Colour {
        int red, green, blue;
    };

    int Span() const { return radius_ > 10 ? radius_ : 10; }
    void Redraw();
    // The state whose line colour the row's lines take.
    int LineState() const;
    static gboolean OnAnimationTick(gpointer self);
    static gboolean DrawIndicator(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean DrawStem(GtkWidget* widget, GdkEventExpose* event, gpointer self);

    int radius_;
    CBPEventBox* circleArea_ = nullptr;
    CBPLinkLabel* label_ = nullptr;
    int tickCount_ = 0;
    int pulse_ = 0;
    guint timerId_ = 0;
    int lineVisible_ = 1;
    Colour circleColour_[4] = {{181, 181, 181}, {44, 193, 210}, {44, 193, 210}, {250, 103, 0}};
    Colour textColour_[4] = {{181, 181, 181}, {0, 0, 0}, {0, 0, 0}, {250, 103, 0}};
    Colour lineColour_[4] = {{181, 181, 181}, {181, 181, 181}, {44, 193, 210}, {181, 181, 181}};
    int state_ = STEP_PENDING;
    std::string text_;
    UrlHandler urlHandler_ = nullptr;
    gpointer urlData_ = nullptr;
    int textShown_ = 1;
    CBPBox* extraBox_ = nullptr;
    CStepFlowWidget* previous_ = nullptr;
    CBPLabel* spacer_ = nullptr;
    int bold_ = 0;
    CBPEventBox* stem_ = nullptr;
};
