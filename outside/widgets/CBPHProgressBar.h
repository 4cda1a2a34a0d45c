#pragma once
#include "outside/widgets/CBPProgressBar.h"

// A progress bar that fills from left to right, of a given height.
class CBPHProgressBar : public CBPProgressBar {
public:
    explicit CBPHProgressBar(int height = 14);
};
