#pragma once
#include "outside/widgets/CBPWidget.h"

// A picture from a file; an empty path shows nothing, an unreadable one the toolkit's
// missing-image mark.
class CBPImage : public CBPWidget {
public:
    explicit CBPImage(const char* path = "");
    void SetImageFromFile(const char* path);
};
