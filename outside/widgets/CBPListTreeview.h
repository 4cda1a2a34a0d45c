#pragma once
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "outside/widgets/CBPWidget.h"

// A checkable list in a scroll window: a tree view over a list model whose column 0 is the check
// cell's picture. The header of the check column ticks or unticks every row. Check states: 0
// unticked, 1 partly, 2 ticked.
class CBPListTreeview : public CBPWidget {
public:
    // A row's check box toggled (the row, its new state).
    using RowToggled = void (*)(GtkTreeIter* iter, int value, gpointer data);
    // The header's box toggled (the new state of every row).
    using AllToggled = void (*)(int value, gpointer data);
    enum : int { CALLBACK_ROW_TOGGLED = 2, CALLBACK_ALL_TOGGLED = 4 };

    // The model's column types; column 0 must be a picture (the check cell).
    explicit CBPListTreeview(const std::vector<GType>& columns);
    ~CBPListTreeview() override;

    GtkWidget* GetTreeView() const { return view_; }
    GtkListStore* GetStore() const { return store_; }
    // The pictures of the three check states (not owned; they outlive the list).
    void SetCheckImages(GdkPixbuf* unticked, GdkPixbuf* partly, GdkPixbuf* ticked);
    // The check column, then the given column shown as a picture (markup false) or as markup.
    void AppendCheckColumn();
    void AppendColumn(int column, const std::string& titleMarkup, bool markup, int width);
    // Callback 2 (row toggled) or 4 (header toggled).
    void SetUserCallBack(int which, gpointer function, gpointer data);
    // Non-zero: the header's box also calls back for each row it changes.
    void SetCallBackWhenAllSelection(int call) { callPerRow_ = call != 0; }

    // Off: new rows go to the top; on: to the bottom.
    void SetAppendMode(bool append) { append_ = append; }
    // A new row, at the top or the bottom by the append mode, check state 0.
    void AddRow(GtkTreeIter* iter);
    void SetCheckState(GtkTreeIter* iter, int state);
    int GetCheckState(GtkTreeIter* iter) const;
    // Ticks or unticks every row as a press on the header does: callbacks included.
    void SetAllChecked(int state);
    // Flips a row's box as a press on it does: callbacks included.
    void ToggleRow(GtkTreePath* path);
    // Rows ticked.
    int GetSelectedRows() const;
    int GetRowCount() const;
    int GetHeaderState() const { return headerState_; }
    bool GetFirstRow(GtkTreeIter* iter) const;
    void SelectRow(GtkTreeIter* iter);
    void ScrollToTop();
    void Clear();

private:
    static gboolean OnButtonPress(GtkWidget* view, GdkEventButton* event, gpointer self);
    static void OnHeaderClicked(GtkTreeViewColumn* column, gpointer self);
    void UpdateHeader();
    // Sets the state's picture and keeps the count of ticked rows.
    void StoreState(GtkTreeIter* iter, int state);
    GdkPixbuf* CheckImage(int state) const;

    GtkWidget* view_ = nullptr;
    GtkListStore* store_ = nullptr;
    GtkTreeViewColumn* checkColumn_ = nullptr;
    GtkWidget* headerImage_ = nullptr;
    GdkPixbuf* checkImages_[3] = {nullptr, nullptr, nullptr};
    RowToggled rowToggled_ = nullptr;
    gpointer rowData_ = nullptr;
    AllToggled allToggled_ = nullptr;
    gpointer allData_ = nullptr;
    bool callPerRow_ = true;
    bool append_ = true;
    int headerState_ = 0;
    int tickedRows_ = 0;
};
