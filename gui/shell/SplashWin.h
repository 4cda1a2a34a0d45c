#pragma once
#include <string>

#include "gui/shell/CMsgReceiver.h"
#include "outside/widgets/CBPImageWnd.h"

class CBPEventBox;
class CBPImage;

// The splash shown before the main window: the logo slides down from above, the text picture up
// from below, a faint progress line, then a fade-out. Its constructor runs it modally and returns
// after 39 ticks of 80 ms. Meanwhile it records the logic's device-state message (0x01010001) as
// the current message.
class CSplashWin : public CBPImageWnd, public CMsgReceiver {
public:
    explicit CSplashWin(const std::string& background);
    ~CSplashWin() override;

    void OnMessage(int group, int code) override;
    // Ticks run so far (39 once it ended).
    int TicksDone() const { return ticksDone_; }

private:
    static gboolean OnTick(gpointer self);
    static gboolean OnProgressExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    void SlideStep();
    void FadeStep();
    void MoveBy(CBPImage* image, int dy, int limit, bool down);

    guint timer_ = 0;
    int remaining_ = 37;
    CBPImage* logo_ = nullptr;
    CBPImage* text_ = nullptr;
    CBPEventBox* progress_ = nullptr;
    int slideSteps_ = 80;
    int highlightOn_ = 0;
    int highlightPos_ = 0;
    int ticksDone_ = 0;
};
