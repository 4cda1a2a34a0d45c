#include "outside/widgets/CBPImgGridList.h"

#include <algorithm>

namespace {

enum Column { COL_PICTURE, COL_CHECK, COL_CAPTION, COL_ID, COL_SELECTED, COL_DATA, COLUMNS };
constexpr int kThumbWidth = 126, kThumbHeight = 96;
// Thumbnails asked of the loaders per idle call: the main loop keeps turning between them.
constexpr int kLoadsPerIdle = 4;

}  // namespace

struct CBPImgGridList::ItemData {
    std::string path;
    CMediaInfo::ThumbnailLoader loader;
    gpointer loaderData;
    bool loaded;  // the picture is the loader's (or the loader gave nothing)
    bool held;    // the picture shown is the loader's
};

CBPImgGridList::CBPImgGridList(int mostThumbnails)
    : CBPWidget(gtk_scrolled_window_new(nullptr, nullptr)), mostThumbnails_(mostThumbnails) {
    store_ = gtk_list_store_new(COLUMNS, GDK_TYPE_PIXBUF, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_UINT, G_TYPE_BOOLEAN,
                                G_TYPE_POINTER);
    view_ = gtk_icon_view_new_with_model(GTK_TREE_MODEL(store_));
    // An item takes its picture and the padding round it: narrower, each would span two columns.
    gtk_icon_view_set_item_width(GTK_ICON_VIEW(view_),
                                 kThumbWidth + 2 * gtk_icon_view_get_item_padding(GTK_ICON_VIEW(view_)) + 4);
    // A caption cut to the item's width shows whole on hover.
    gtk_icon_view_set_tooltip_column(GTK_ICON_VIEW(view_), COL_CAPTION);
    gtk_icon_view_set_selection_mode(GTK_ICON_VIEW(view_), GTK_SELECTION_NONE);
    GtkCellLayout* layout = GTK_CELL_LAYOUT(view_);
    GtkCellRenderer* check = gtk_cell_renderer_pixbuf_new();
    g_object_set(check, "xalign", 0.0, nullptr);
    gtk_cell_layout_pack_start(layout, check, FALSE);
    gtk_cell_layout_add_attribute(layout, check, "pixbuf", COL_CHECK);
    GtkCellRenderer* picture = gtk_cell_renderer_pixbuf_new();
    gtk_cell_renderer_set_fixed_size(picture, kThumbWidth, kThumbHeight);
    gtk_cell_layout_pack_start(layout, picture, FALSE);
    gtk_cell_layout_add_attribute(layout, picture, "pixbuf", COL_PICTURE);
    GtkCellRenderer* caption = gtk_cell_renderer_text_new();
    g_object_set(caption, "xalign", 0.5, "wrap-width", kThumbWidth, "wrap-mode", PANGO_WRAP_WORD_CHAR,
                 "ellipsize", PANGO_ELLIPSIZE_MIDDLE, nullptr);
    gtk_cell_layout_pack_start(layout, caption, FALSE);
    gtk_cell_layout_add_attribute(layout, caption, "markup", COL_CAPTION);

    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(GetWidget()), GTK_POLICY_NEVER, GTK_POLICY_AUTOMATIC);
    gtk_container_add(GTK_CONTAINER(GetWidget()), view_);
    gtk_widget_show(view_);
    g_signal_connect(view_, "button-press-event", G_CALLBACK(&CBPImgGridList::OnButtonPress), this);
    g_signal_connect_after(view_, "expose-event", G_CALLBACK(+[](GtkWidget*, GdkEventExpose*, gpointer self) -> gboolean {
                               static_cast<CBPImgGridList*>(self)->ScheduleLoading();
                               return FALSE;
                           }),
                           this);
    GtkAdjustment* adjustment = gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(GetWidget()));
    g_signal_connect(adjustment, "value-changed", G_CALLBACK(&CBPImgGridList::OnScrolled), this);
}

CBPImgGridList::~CBPImgGridList() {
    if (loadSource_) g_source_remove(loadSource_);
    g_signal_handlers_disconnect_by_data(view_, this);
    g_signal_handlers_disconnect_by_data(gtk_scrolled_window_get_vadjustment(GTK_SCROLLED_WINDOW(GetWidget())), this);
    Empty();
    g_object_unref(store_);
    for (auto& entry : pathPictures_)
        if (entry.second) g_object_unref(entry.second);
}

void CBPImgGridList::SetCheckImages(GdkPixbuf* unticked, GdkPixbuf* ticked) {
    checkImages_[0] = unticked;
    checkImages_[1] = ticked;
}

void CBPImgGridList::SetChildSelectionCallBack(SelectionChanged callback, gpointer data) {
    selectionChanged_ = callback;
    selectionData_ = data;
}

GdkPixbuf* CBPImgGridList::PathPicture(const std::string& path) {
    auto found = pathPictures_.find(path);
    if (found != pathPictures_.end()) return found->second;
    GdkPixbuf* picture = gdk_pixbuf_new_from_file_at_size(path.c_str(), kThumbWidth, kThumbHeight, nullptr);
    pathPictures_[path] = picture;
    return picture;
}

void CBPImgGridList::AddItem(const CMediaInfo& item) {
    auto* data = new ItemData{item.path, item.loader, item.loaderData, item.loader == nullptr, false};
    GtkTreeIter iter;
    gtk_list_store_append(store_, &iter);
    gtk_list_store_set(store_, &iter, COL_PICTURE, PathPicture(item.path), COL_CHECK, checkImages_[item.selected ? 1 : 0],
                       COL_CAPTION, item.caption.c_str(), COL_ID, item.id, COL_SELECTED, item.selected, COL_DATA,
                       data, -1);
}

void CBPImgGridList::AppendPhotos(const std::vector<CMediaInfo>& items) {
    for (const CMediaInfo& item : items) AddItem(item);
    ScheduleLoading();
}

void CBPImgGridList::ReLoadPhotoList(const std::vector<CMediaInfo>& items) {
    Empty();
    AppendPhotos(items);
}

void CBPImgGridList::Empty() {
    GtkTreeModel* model = GTK_TREE_MODEL(store_);
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        gpointer data = nullptr;
        gtk_tree_model_get(model, &iter, COL_DATA, &data, -1);
        delete static_cast<ItemData*>(data);
    }
    gtk_list_store_clear(store_);
    loaded_ = 0;
}

void CBPImgGridList::Pause() {
    paused_ = true;
    if (loadSource_) g_source_remove(loadSource_);
    loadSource_ = 0;
}

void CBPImgGridList::Resume() {
    paused_ = false;
    ScheduleLoading();
}

int CBPImgGridList::GetItemCount() const { return gtk_tree_model_iter_n_children(GTK_TREE_MODEL(store_), nullptr); }

bool CBPImgGridList::GetItem(int index, unsigned* id, bool* selected, bool* loaded) const {
    GtkTreeIter iter;
    if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store_), &iter, nullptr, index)) return false;
    guint itemId = 0;
    gboolean itemSelected = FALSE;
    gpointer data = nullptr;
    gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, COL_ID, &itemId, COL_SELECTED, &itemSelected, COL_DATA, &data, -1);
    if (id) *id = itemId;
    if (selected) *selected = itemSelected != FALSE;
    if (loaded) *loaded = data && static_cast<ItemData*>(data)->held;
    return true;
}

void CBPImgGridList::ToggleItem(int index) {
    GtkTreeIter iter;
    if (!gtk_tree_model_iter_nth_child(GTK_TREE_MODEL(store_), &iter, nullptr, index)) return;
    guint id = 0;
    gboolean selected = FALSE;
    gtk_tree_model_get(GTK_TREE_MODEL(store_), &iter, COL_ID, &id, COL_SELECTED, &selected, -1);
    selected = !selected;
    gtk_list_store_set(store_, &iter, COL_SELECTED, selected, COL_CHECK, checkImages_[selected ? 1 : 0], -1);
    if (selectionChanged_) selectionChanged_(id, selected ? 1 : 0, 0, selectionData_);
}

void CBPImgGridList::ScheduleLoading() {
    if (paused_ || loadSource_ || !gtk_widget_get_realized(view_)) return;
    loadSource_ = g_idle_add(&CBPImgGridList::OnLoadIdle, this);
}

gboolean CBPImgGridList::OnLoadIdle(gpointer self) {
    auto* grid = static_cast<CBPImgGridList*>(self);
    if (grid->LoadSome()) return TRUE;
    grid->loadSource_ = 0;
    return FALSE;
}

// Asks the loaders of a few items in sight; true while some in sight still wait.
bool CBPImgGridList::LoadSome() {
    if (paused_) return false;
    GtkTreePath *firstPath = nullptr, *lastPath = nullptr;
    if (!gtk_icon_view_get_visible_range(GTK_ICON_VIEW(view_), &firstPath, &lastPath)) return false;
    const int first = gtk_tree_path_get_indices(firstPath)[0], last = gtk_tree_path_get_indices(lastPath)[0];
    gtk_tree_path_free(firstPath);
    gtk_tree_path_free(lastPath);
    GtkTreeModel* model = GTK_TREE_MODEL(store_);
    GtkTreeIter iter;
    int loads = 0;
    bool waiting = false;
    for (int index = first; index <= last && gtk_tree_model_iter_nth_child(model, &iter, nullptr, index); ++index) {
        gpointer pointer = nullptr;
        guint id = 0;
        gtk_tree_model_get(model, &iter, COL_DATA, &pointer, COL_ID, &id, -1);
        auto* data = static_cast<ItemData*>(pointer);
        if (!data || data->loaded) continue;
        if (loads == kLoadsPerIdle) {
            waiting = true;
            break;
        }
        ++loads;
        data->loaded = true;
        GdkPixbuf* picture = data->loader(id, data->loaderData);
        if (!picture) continue;
        gtk_list_store_set(store_, &iter, COL_PICTURE, picture, -1);
        g_object_unref(picture);
        data->held = true;
        ++loaded_;
    }
    if (mostThumbnails_ >= 0 && loaded_ > mostThumbnails_) DropFarthest(first, last);
    return waiting;
}

// Gives the items furthest from [first, last] their path's picture back until few enough are held.
void CBPImgGridList::DropFarthest(int first, int last) {
    GtkTreeModel* model = GTK_TREE_MODEL(store_);
    const int count = GetItemCount();
    for (int distance = std::max(first, count - 1 - last); distance > 0 && loaded_ > mostThumbnails_; --distance) {
        for (int index : {first - distance, last + distance}) {
            GtkTreeIter iter;
            if (index < 0 || !gtk_tree_model_iter_nth_child(model, &iter, nullptr, index)) continue;
            gpointer pointer = nullptr;
            gtk_tree_model_get(model, &iter, COL_DATA, &pointer, -1);
            auto* data = static_cast<ItemData*>(pointer);
            if (!data || !data->held) continue;
            gtk_list_store_set(store_, &iter, COL_PICTURE, PathPicture(data->path), -1);
            data->held = data->loaded = false;
            --loaded_;
        }
    }
}

void CBPImgGridList::OnScrolled(GtkAdjustment*, gpointer self) { static_cast<CBPImgGridList*>(self)->ScheduleLoading(); }

gboolean CBPImgGridList::OnButtonPress(GtkWidget* view, GdkEventButton* event, gpointer self) {
    if (event->type != GDK_BUTTON_PRESS || event->button != 1) return FALSE;
    GtkTreePath* path = gtk_icon_view_get_path_at_pos(GTK_ICON_VIEW(view), static_cast<gint>(event->x),
                                                      static_cast<gint>(event->y));
    if (!path) return FALSE;
    static_cast<CBPImgGridList*>(self)->ToggleItem(gtk_tree_path_get_indices(path)[0]);
    gtk_tree_path_free(path);
    return TRUE;
}
