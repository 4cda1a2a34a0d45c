#pragma once
#include <glib.h>

#include <string>

#include "outside/widgets/CBPBox.h"

class CBPImage;

// The connection page's guide on the left: a text picture over an animation of frames
// "dh1.png" ... "dhN.png" (N = [AnalysisMain] AminationImgCnt), the "-cn" pictures in Chinese,
// one frame every 100 ms while started. Main thread only.
class CStepImageTip : public CBPBox {
public:
    CStepImageTip();
    ~CStepImageTip() override;

    // (Re)starts the animation; Stop holds it on the frame shown.
    void Start();
    void Stop();
    bool IsRunning() const { return timerId_ != 0; }
    // The frame shown, 1 to N.
    int GetFrame() const;
    // One step of the animation, as the timer makes it.
    void Advance();

    CBPImage* GetAnimImage() const { return animImage_; }
    CBPImage* GetTextImage() const { return textImage_; }

private:
    static gboolean OnTimer(gpointer self);
    static std::string FramePath(int frame);

    CBPImage* animImage_ = nullptr;
    guint timerId_ = 0;
    CBPImage* textImage_ = nullptr;
};
