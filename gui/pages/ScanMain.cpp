#include "gui/pages/ScanMain.h"

#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"

CScanMain::CScanMain() : CBPBox(true, false, 0) {
    row_ = new CBPBox(false, false, 0);
    column_ = new CBPBox(true, false, 0);
    tree_ = new CScanTree();
    progress_ = new CScanProgress();
    detail_ = new CScanSelectedDetail();
    bottomBar_ = new CScanSelectedBottom();

    row_->PackStart(tree_, false, false, 0);
    column_->PackStart(progress_, false, false, 0);
    column_->PackStart(detail_, true, true, 0);
    column_->PackStart(bottomBar_, false, false, 0);
    row_->PackStart(column_, true, true, 0);
    PackStart(row_, true, true, 0);
    for (CBPWidget* widget : {static_cast<CBPWidget*>(tree_), static_cast<CBPWidget*>(progress_),
                              static_cast<CBPWidget*>(detail_), static_cast<CBPWidget*>(bottomBar_),
                              static_cast<CBPWidget*>(column_), static_cast<CBPWidget*>(row_)})
        widget->Show();

    tree_->SetDetail(detail_);
    tree_->SetProgress(progress_);
    detail_->SetBottomBar(bottomBar_);
    progress_->SetBottomBar(bottomBar_);
}

CScanMain::~CScanMain() {
    // The links between the panes are never used once one of them has gone: each pane only
    // reaches another from its own handlers, which go with it.
    delete tree_;
    delete progress_;
    delete detail_;
    delete bottomBar_;
    delete column_;
    delete row_;
}
