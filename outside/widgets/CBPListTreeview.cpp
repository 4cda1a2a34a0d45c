#include "outside/widgets/CBPListTreeview.h"

CBPListTreeview::CBPListTreeview(const std::vector<GType>& columns) : CBPWidget(gtk_scrolled_window_new(nullptr, nullptr)) {
    std::vector<GType> types = columns;
    store_ = gtk_list_store_newv(static_cast<gint>(types.size()), types.data());
    view_ = gtk_tree_view_new_with_model(GTK_TREE_MODEL(store_));
    gtk_tree_view_set_headers_clickable(GTK_TREE_VIEW(view_), TRUE);
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(GetWidget()), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(GetWidget()), view_);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(&CBPListTreeview::OnButtonPress), this);
    gtk_widget_show(view_);
}

CBPListTreeview::~CBPListTreeview() {
    g_signal_handlers_disconnect_by_data(view_, this);
    if (checkColumn_) g_signal_handlers_disconnect_by_data(checkColumn_, this);
    g_object_unref(store_);
}

void CBPListTreeview::SetCheckImages(GdkPixbuf* unticked, GdkPixbuf* partly, GdkPixbuf* ticked) {
    checkImages_[0] = unticked;
    checkImages_[1] = partly;
    checkImages_[2] = ticked;
    UpdateHeader();
}

GdkPixbuf* CBPListTreeview::CheckImage(int state) const { return state >= 0 && state < 3 ? checkImages_[state] : nullptr; }

void CBPListTreeview::AppendCheckColumn() {
    GtkCellRenderer* cell = gtk_cell_renderer_pixbuf_new();
    checkColumn_ = gtk_tree_view_column_new_with_attributes("", cell, "pixbuf", 0, nullptr);
    headerImage_ = gtk_image_new();
    gtk_widget_show(headerImage_);
    gtk_tree_view_column_set_widget(checkColumn_, headerImage_);
    gtk_tree_view_column_set_clickable(checkColumn_, TRUE);
    gtk_tree_view_column_set_sizing(checkColumn_, GTK_TREE_VIEW_COLUMN_FIXED);
    gtk_tree_view_column_set_fixed_width(checkColumn_, 30);
    g_signal_connect(checkColumn_, "clicked", G_CALLBACK(&CBPListTreeview::OnHeaderClicked), this);
    gtk_tree_view_append_column(GTK_TREE_VIEW(view_), checkColumn_);
    UpdateHeader();
}

void CBPListTreeview::AppendColumn(int column, const std::string& titleMarkup, bool markup, int width) {
    GtkCellRenderer* cell = markup ? gtk_cell_renderer_text_new() : gtk_cell_renderer_pixbuf_new();
    GtkTreeViewColumn* viewColumn =
        gtk_tree_view_column_new_with_attributes("", cell, markup ? "markup" : "pixbuf", column, nullptr);
    GtkWidget* title = gtk_label_new("");
    gtk_label_set_markup(GTK_LABEL(title), titleMarkup.c_str());
    gtk_widget_show(title);
    gtk_tree_view_column_set_widget(viewColumn, title);
    if (markup) {
        g_object_set(cell, "ellipsize", PANGO_ELLIPSIZE_END, nullptr);
        gtk_tree_view_column_set_resizable(viewColumn, TRUE);
        gtk_tree_view_column_set_expand(viewColumn, TRUE);
    }
    if (width > 0) {
        gtk_tree_view_column_set_sizing(viewColumn, GTK_TREE_VIEW_COLUMN_FIXED);
        gtk_tree_view_column_set_fixed_width(viewColumn, width);
    }
    gtk_tree_view_append_column(GTK_TREE_VIEW(view_), viewColumn);
}

void CBPListTreeview::SetUserCallBack(int which, gpointer function, gpointer data) {
    if (which == CALLBACK_ROW_TOGGLED) {
        rowToggled_ = reinterpret_cast<RowToggled>(function);
        rowData_ = data;
    } else if (which == CALLBACK_ALL_TOGGLED) {
        allToggled_ = reinterpret_cast<AllToggled>(function);
        allData_ = data;
    }
}

void CBPListTreeview::AddRow(GtkTreeIter* iter) {
    if (append_) gtk_list_store_append(store_, iter);
    else gtk_list_store_prepend(store_, iter);
    gtk_list_store_set(store_, iter, 0, CheckImage(0), -1);
}

void CBPListTreeview::StoreState(GtkTreeIter* iter, int state) {
    const int old = GetCheckState(iter);
    gtk_list_store_set(store_, iter, 0, CheckImage(state), -1);
    tickedRows_ += (state == 2) - (old == 2);
}

void CBPListTreeview::SetCheckState(GtkTreeIter* iter, int state) {
    StoreState(iter, state);
    UpdateHeader();
}

int CBPListTreeview::GetCheckState(GtkTreeIter* iter) const {
    GdkPixbuf* image = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(store_), iter, 0, &image, -1);
    int state = 0;
    for (int i = 0; i < 3; ++i)
        if (image && image == checkImages_[i]) state = i;
    if (image) g_object_unref(image);
    return state;
}

void CBPListTreeview::SetAllChecked(int state) {
    GtkTreeIter iter;
    GtkTreeModel* model = GTK_TREE_MODEL(store_);
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        if (GetCheckState(&iter) == state) continue;
        StoreState(&iter, state);
        if (callPerRow_ && rowToggled_) rowToggled_(&iter, state, rowData_);
    }
    headerState_ = state;
    UpdateHeader();
    if (allToggled_) allToggled_(state, allData_);
}

void CBPListTreeview::ToggleRow(GtkTreePath* path) {
    GtkTreeIter iter;
    if (!path || !gtk_tree_model_get_iter(GTK_TREE_MODEL(store_), &iter, path)) return;
    const int state = GetCheckState(&iter) == 2 ? 0 : 2;
    StoreState(&iter, state);
    UpdateHeader();
    if (rowToggled_) rowToggled_(&iter, state, rowData_);
}

int CBPListTreeview::GetSelectedRows() const { return tickedRows_; }

int CBPListTreeview::GetRowCount() const { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store_), nullptr); }

bool CBPListTreeview::GetFirstRow(GtkTreeIter* iter) const {
    return gtk_tree_model_get_iter_first(GTK_TREE_MODEL(store_), iter) != FALSE;
}

void CBPListTreeview::SelectRow(GtkTreeIter* iter) {
    gtk_tree_selection_select_iter(gtk_tree_view_get_selection(GTK_TREE_VIEW(view_)), iter);
}

void CBPListTreeview::ScrollToTop() {
    GtkAdjustment* adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(GetWidget()));
    if (adjustment) gtk_adjustment_set_value(adjustment, gtk_adjustment_get_lower(adjustment));
}

void CBPListTreeview::Clear() {
    gtk_list_store_clear(store_);
    headerState_ = 0;
    tickedRows_ = 0;
    UpdateHeader();
}

// The header shows ticked when every row is (and there are rows), partly when some are.
void CBPListTreeview::UpdateHeader() {
    if (!headerImage_) return;
    const int rows = GetRowCount(), ticked = GetSelectedRows();
    const int state = rows > 0 && ticked == rows ? 2 : ticked > 0 ? 1 : 0;
    GdkPixbuf* image = CheckImage(state);
    if (image) gtk_image_set_from_pixbuf(GTK_IMAGE(headerImage_), image);
    else gtk_image_clear(GTK_IMAGE(headerImage_));
}

void CBPListTreeview::OnHeaderClicked(GtkTreeViewColumn*, gpointer self) {
    auto* list = static_cast<CBPListTreeview*>(self);
    const int rows = list->GetRowCount();
    list->SetAllChecked(rows > 0 && list->GetSelectedRows() == rows ? 0 : 2);
}

gboolean CBPListTreeview::OnButtonPress(GtkWidget* view, GdkEventButton* event, gpointer self) {
    auto* list = static_cast<CBPListTreeview*>(self);
    if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
    GtkTreePath* path = nullptr;
    GtkTreeViewColumn* column = nullptr;
    if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(view), static_cast<gint>(event->x), static_cast<gint>(event->y),
                                       &path, &column, nullptr, nullptr))
        return FALSE;
    if (column && column == list->checkColumn_) list->ToggleRow(path);
    gtk_tree_path_free(path);
    return FALSE;
}
