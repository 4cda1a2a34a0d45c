#pragma once
#include "outside/widgets/CBPBox.h"

class CScanProgress;
class CScanSelectedBottom;
class CScanSelectedDetail;
class CScanTree;

// The scan page: the category tree on the left; on the right the progress strip, the detail pane
// and the bottom bar, one above the other. The panes are linked to each other directly; whatever
// comes from the logic or a worker thread reaches them as messages. The main window makes a new
// page for each scan and deletes it when it goes back to the connection page.
class CScanMain : public CBPBox {
public:
    CScanMain();
    ~CScanMain() override;

    CScanTree* GetTree() const { return tree_; }
    CScanProgress* GetProgress() const { return progress_; }
    CScanSelectedDetail* GetDetail() const { return detail_; }
    CScanSelectedBottom* GetBottomBar() const { return bottomBar_; }

private:
    CScanTree* tree_ = nullptr;
    CScanProgress* progress_ = nullptr;
    CScanSelectedDetail* detail_ = nullptr;
    CScanSelectedBottom* bottomBar_ = nullptr;
    CBPBox* row_ = nullptr;
    CBPBox* column_ = nullptr;
};
