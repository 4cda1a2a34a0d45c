#pragma once
#include "outside/widgets/CBPWidget.h"

// A progress bar drawn by a paint callback (a plain bar without one). It has no window of its
// own: the callback draws on the parent's window at the bar's allocation.
class CBPProgressBar : public CBPWidget {
public:
    using PaintFn = int (*)(CBPProgressBar* bar);

    CBPProgressBar();
    ~CBPProgressBar() override;

    void SetPaintCB(PaintFn paint);
    // 0..1, clamped; redraws.
    void SetFraction(double fraction);
    double GetFraction() const { return fraction_; }
    // The error look; redraws.
    void SetError(bool error);
    bool IsError() const { return error_; }

private:
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);

    PaintFn paint_ = nullptr;
    double fraction_ = 0.0;
    bool error_ = false;
};
