#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <map>

#include "gui/shell/CMsgReceiver.h"
#include "outside/widgets/CBPBox.h"

class CBPImgTxtLabel;
class CBPLabel;
class CScanProgress;
class CScanSelectedDetail;

// The scan page's left column: the device row and one row per category, each with its counts
// "(deleted/total)" from the count messages the detail pane posts. A row press switches the
// detail pane and the progress strip's toolbar to its category. When the phone goes off line the
// file categories (3 to 6) are greyed out. Main thread only.
class CScanTree : public CBPBox, public CMsgReceiver {
public:
    struct Counts {
        uint32_t total = 0;
        uint32_t deleted = 0;
    };

    CScanTree();
    ~CScanTree() override;

    void SetDetail(CScanSelectedDetail* detail) { detail_ = detail; }
    void SetProgress(CScanProgress* progress) { progress_ = progress; }
    void OnMessage(int group, int code) override;

    void SelectItem(int index);
    void UpdateCount(int category);
    void OnDeviceOffline();

    int GetCurrentRow() const { return currentRow_; }
    // Rows 0 (the device) to 6; null outside.
    CBPImgTxtLabel* GetRow(int index) const;
    Counts GetCounts(int category) const;

private:
    void BuildItems();
    void QueryCounts(int category);
    void SetItemCount(int category);
    static void OnRowPressed(CBPImgTxtLabel* label, gpointer self);
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);

    CBPLabel* spacer_ = nullptr;
    CBPImgTxtLabel* rows_[7] = {};
    int currentRow_ = 0;
    CScanSelectedDetail* detail_ = nullptr;
    CScanProgress* progress_ = nullptr;
    std::map<int, Counts> counts_;
    GdkPixbuf* deviceImage_ = nullptr;
};
