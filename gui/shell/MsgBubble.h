#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <string>
#include <vector>

#include "outside/widgets/CBPEventBox.h"

// One entry of a message bubble: a text (Pango markup) or a picture, from a file or from bytes.
struct ImageItem {
    int isImage = 0;
    double scale = 1.0;
    int width = 0;
    int height = 0;
    std::string text;  // the markup of a text, the file of a picture
    GdkPixbuf* pixbuf = nullptr;  // owned; null for a picture read from its file
    float factor = 1.0f;          // where an icon hangs: 0.5 in the middle

    ImageItem() = default;
    // A picture when text names a readable picture file, else a text.
    ImageItem(const std::string& text, float factor);
    // A picture from its bytes, fitted into 128 x 128 ("default_img.png" when they do not decode).
    ImageItem(const void* bytes, size_t length, float factor);
    ImageItem(const ImageItem& other);
    // Shares the picture: both hold a reference.
    ImageItem& operator=(const ImageItem& other);
    ~ImageItem();

    void Clear();
    // Narrows a file picture to newWidth (keeping its shape), or measures a text wrapped at it.
    void SetWidth(int newWidth, const char* font);
};

// One message of a conversation as a speech bubble: its entries top to bottom, coloured by its
// state (highlighted, deleted, received, sent), a warning icon when it failed. Main thread only.
class CMsgBubble : public CBPEventBox {
public:
    CMsgBubble();
    ~CMsgBubble() override;

    // The icon, and the entries added to the bubble's; then lays the bubble out.
    void SetImage(const ImageItem& icon, const std::vector<ImageItem>& entries);
    void SetArrowPosition(int place);
    void SetArrowOffset(double offset);
    void SetAlpha(double alpha) { alpha_ = alpha; }
    void SetFailedFlag(int failed) { failed_ = failed; }
    void SetDeleted(int deleted);
    void SetReceived(int received) { received_ = received; }
    void SetHighlighted(int highlighted) { highlighted_ = highlighted; }
    bool HasIcon() const { return highlighted_ || failed_; }

    // The colours of the current state.
    GdkColor FillColour() const;
    GdkColor OutlineColour() const;
    double GetAlpha() const { return alpha_; }
    int GetArrowPosition() const { return place_; }
    double GetArrowOffset() const { return offset_; }
    const std::vector<ImageItem>& Entries() const { return entries_; }
    // Sets up a layout to draw a text entry with: the bubble's font, wrapped at the entry's width
    // without a character the text does not have.
    static void SetTextLayout(PangoLayout* layout, const ImageItem& entry);

private:
    void Layout();
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    void Paint(const GtkAllocation& area);

    ImageItem icon_;
    std::vector<ImageItem> entries_;
    int received_ = 0;
    int place_ = 3;
    double pointerSize_ = 10.0;
    double offset_ = 5.0;
    double radius_ = 5.0;
    double alpha_ = 1.0;
    int stacked_ = 1;
    int failed_ = 0;
    int highlighted_ = 0;
    int deleted_ = 0;
};
