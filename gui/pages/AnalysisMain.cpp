#include "gui/pages/AnalysisMain.h"

#include "gui/pages/StepFlow.h"
#include "gui/pages/StepImageTip.h"

CAnalysisMain::CAnalysisMain() : CBPBox(true, false, 0) {
    auto* row = new CBPBox(false, false, 0);
    auto* left = new CBPBox(true, false, 0);
    auto* right = new CBPBox(true, false, 0);
    imageTip_ = new CStepImageTip();
    imageTip_->Show();
    left->PackStart(imageTip_, true, false, 0);
    imageTip_->Start();
    stepFlow_ = new CStepFlow(imageTip_);
    stepFlow_->Show();
    right->PackStart(stepFlow_, true, false, 0);
    stepFlow_->RegisterCallBack("size-allocate", G_CALLBACK(&CAnalysisMain::OnFlowAllocate), this);
    row->PackStart(left, false, false, 0);
    row->PackStart(right, true, true, 0);
    PackStart(row, true, true, 0);
    for (CBPBox* box : {left, right, row}) {
        box->Show();
        box->SetDestroyWidgetWhenDelete(0);
        delete box;
    }
}

CAnalysisMain::~CAnalysisMain() {
    g_signal_handlers_disconnect_by_data(stepFlow_->GetWidget(), this);
    delete stepFlow_;
    delete imageTip_;
}

void CAnalysisMain::OnFlowAllocate(GtkWidget* widget, GtkAllocation*, gpointer self) {
    // The steps stand as tall as the guide; asked again only when that changes, so the layout settles.
    auto* page = static_cast<CAnalysisMain*>(self);
    GtkAllocation guide;
    gtk_widget_get_allocation(page->imageTip_->GetWidget(), &guide);
    int height = -1;
    gtk_widget_get_size_request(widget, nullptr, &height);
    if (guide.height > 1 && height != guide.height) gtk_widget_set_size_request(widget, -1, guide.height);
}
