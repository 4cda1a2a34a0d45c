#include "outside/widgets/CBPCairoImgButton.h"

CBPCairoImgButton::CBPCairoImgButton(GList* images, int width, int height, int flags) {
    int index = 0;
    for (GList* item = images; item && index < 4; item = item->next, ++index) {
        const char* path = static_cast<const char*>(item->data);
        if (path && *path) images_[index] = gdk_pixbuf_new_from_file(path, nullptr);
    }
    if (images_[0]) {
        if (width <= 0) width = gdk_pixbuf_get_width(images_[0]);
        if (height <= 0) height = gdk_pixbuf_get_height(images_[0]);
    }
    if (width > 0 || height > 0) gtk_widget_set_size_request(GetWidget(), width > 0 ? width : -1, height > 0 ? height : -1);
    (void)flags;
}

CBPCairoImgButton::~CBPCairoImgButton() {
    for (GdkPixbuf*& image : images_) {
        if (image) g_object_unref(image);
        image = nullptr;
    }
}

GdkPixbuf* CBPCairoImgButton::ImageFor(GtkStateType state) const {
    int index = 0;
    switch (state) {
        case GTK_STATE_PRELIGHT: index = 1; break;
        case GTK_STATE_ACTIVE: index = 2; break;
        case GTK_STATE_INSENSITIVE: index = 3; break;
        default: index = 0; break;
    }
    return images_[index] ? images_[index] : images_[0];
}

void CBPCairoImgButton::Paint(cairo_t* cr, GtkStateType state, int width, int height) {
    GdkPixbuf* image = ImageFor(state);
    if (!image) return;
    const int w = gdk_pixbuf_get_width(image), h = gdk_pixbuf_get_height(image);
    cairo_save(cr);
    if (w > 0 && h > 0 && (w != width || h != height)) cairo_scale(cr, double(width) / w, double(height) / h);
    gdk_cairo_set_source_pixbuf(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}
