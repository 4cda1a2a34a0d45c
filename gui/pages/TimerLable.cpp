#include "gui/pages/TimerLable.h"

#include <cstdio>

#include "gui/shell/CUIPublic.h"

namespace {
constexpr unsigned kTickMs = 1000;
constexpr const char* kUnknownTime = "--:--:--";
}  // namespace

CTimerLable::CTimerLable(const char* text) : prefix_(std::string(text ? text : "") + " ") {
    SetLabelText((prefix_ + kUnknownTime).c_str());
    CUIPublic::SetTimer(&timerId_, kTickMs, &CTimerLable::OnTimer, this);
}

CTimerLable::~CTimerLable() { CUIPublic::RemoveTimer(&timerId_); }

std::string CTimerLable::FormatTime(unsigned seconds) {
    // A remaining time comes from the logic's record unchecked: up to 1193046 hours.
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return text;
}

void CTimerLable::Tick() {
    if (unknown_) {
        SetLabelText((prefix_ + kUnknownTime).c_str());
        return;
    }
    if (seconds_ == 0) return;
    --seconds_;
    SetLabelText((prefix_ + FormatTime(seconds_)).c_str());
}

gboolean CTimerLable::OnTimer(gpointer self) {
    static_cast<CTimerLable*>(self)->Tick();
    return TRUE;
}
