#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <map>
#include <string>
#include <vector>

#include "outside/widgets/CBPWidget.h"

// One picture of a CBPImgGridList.
class CMediaInfo {
public:
    // The picture of the item once it is shown; null keeps the path's picture. The grid owns it.
    using ThumbnailLoader = GdkPixbuf* (*)(unsigned id, gpointer data);

    std::string path;     // a picture shown until the loader gives one (a missing file: none)
    std::string caption;  // Pango markup
    unsigned id = 0;
    bool selected = false;
    ThumbnailLoader loader = nullptr;
    gpointer loaderData = nullptr;
};

// A grid of ticked or unticked pictures with captions in a scroll window. Thumbnails are asked of
// the items' loaders from an idle call, for the items in sight first, while the grid is not paused.
// A press on an item flips its tick and calls the selection callback.
class CBPImgGridList : public CBPWidget {
public:
    // (item id, its new tick, 0, data).
    using SelectionChanged = void (*)(unsigned id, int selected, int unused, gpointer data);

    // The most thumbnails held at once (those furthest from sight go back to their path's
    // picture); -1: no limit.
    explicit CBPImgGridList(int mostThumbnails);
    ~CBPImgGridList() override;

    void SetCheckImages(GdkPixbuf* unticked, GdkPixbuf* ticked);
    void SetChildSelectionCallBack(SelectionChanged callback, gpointer data);
    void AppendPhotos(const std::vector<CMediaInfo>& items);
    // Replaces every item (an empty list empties the grid).
    void ReLoadPhotoList(const std::vector<CMediaInfo>& items);
    // A paused grid asks no loader.
    void Pause();
    void Resume();
    bool IsPaused() const { return paused_; }

    int GetItemCount() const;
    // The item at position index: its id, tick and whether a loader's thumbnail is shown.
    bool GetItem(int index, unsigned* id, bool* selected, bool* loaded) const;
    // Flips the tick of the item at position index as a press does.
    void ToggleItem(int index);
    GtkWidget* GetIconView() const { return view_; }
    // Thumbnails from loaders held now.
    int LoadedCount() const { return loaded_; }

private:
    struct ItemData;

    void AddItem(const CMediaInfo& item);
    void ScheduleLoading();
    static gboolean OnLoadIdle(gpointer self);
    bool LoadSome();
    void DropFarthest(int first, int last);
    static gboolean OnButtonPress(GtkWidget* view, GdkEventButton* event, gpointer self);
    static void OnScrolled(GtkAdjustment* adjustment, gpointer self);
    void Empty();
    // The picture of a path, read once; null when it cannot be read.
    GdkPixbuf* PathPicture(const std::string& path);

    GtkWidget* view_ = nullptr;
    GtkListStore* store_ = nullptr;
    GdkPixbuf* checkImages_[2] = {nullptr, nullptr};
    SelectionChanged selectionChanged_ = nullptr;
    gpointer selectionData_ = nullptr;
    int mostThumbnails_;
    int loaded_ = 0;
    bool paused_ = false;
    guint loadSource_ = 0;
    std::map<std::string, GdkPixbuf*> pathPictures_;
};
