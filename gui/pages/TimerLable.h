#pragma once
#include <glib.h>

#include <string>

#include "outside/widgets/CBPLabel.h"

// A label that counts a remaining time down once a second: "<text> hh:mm:ss", or "<text> --:--:--"
// while the time is unknown. It stops at 00:00:00. Main thread only.
class CTimerLable : public CBPLabel {
public:
    explicit CTimerLable(const char* text);
    ~CTimerLable() override;

    void SetKnown() { unknown_ = 0; }
    void SetUnknown() { unknown_ = 1; }
    void SetSeconds(unsigned seconds) { seconds_ = seconds; }
    bool IsUnknown() const { return unknown_ != 0; }
    unsigned GetSeconds() const { return seconds_; }

    // One second passes: what the timer does.
    void Tick();
    // "hh:mm:ss"; hours take as many digits as they need.
    static std::string FormatTime(unsigned seconds);

private:
    static gboolean OnTimer(gpointer self);

    guint timerId_ = 0;
    int unknown_ = 1;
    unsigned seconds_ = 0;
    std::string prefix_;
};
