#pragma once
#include <gtk/gtk.h>

#include "outside/widgets/CBPBox.h"

class CStepFlow;
class CStepImageTip;

// The device-connection page: the animated guide on the left, the connection steps on the right,
// as tall as the guide. The main window makes a new one each time it shows the page.
class CAnalysisMain : public CBPBox {
public:
    CAnalysisMain();
    ~CAnalysisMain() override;

    CStepImageTip* GetImageTip() const { return imageTip_; }
    CStepFlow* GetStepFlow() const { return stepFlow_; }

private:
    static void OnFlowAllocate(GtkWidget* widget, GtkAllocation* allocation, gpointer self);

    CStepImageTip* imageTip_ = nullptr;
    CStepFlow* stepFlow_ = nullptr;
};
