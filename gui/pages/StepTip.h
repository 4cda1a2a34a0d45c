#pragma once
#include <string>

// The speech-bubble tip the connection steps draw over the main window: a waiting tip (a picture
// of what to allow on the phone) or a warning tip (a warning sign and the failure text), with
// its box in the main window's coordinates and the callout position of its pointer.
struct CStepTip {
    std::string title;
    std::string imagePath;  // the picture: what to allow on the phone, or the warning sign
    std::string message;
    int warning = 0;        // 1 warning tip, 0 waiting tip
    int x = 0;
    int y = 0;
    int width = 90;
    int height = 110;
    int pointerPosition = 0;
};
