#include "outside/widgets/CBPImageSurface.h"

CBPImageSurface::CBPImageSurface(const char* path) {
    if (path && *path) image_ = gdk_pixbuf_new_from_file(path, nullptr);
}

CBPImageSurface::~CBPImageSurface() {
    if (image_) g_object_unref(image_);
}

int CBPImageSurface::Width() const { return image_ ? gdk_pixbuf_get_width(image_) : 0; }

int CBPImageSurface::Height() const { return image_ ? gdk_pixbuf_get_height(image_) : 0; }

void CBPImageSurface::Draw(CBPCairo* cairo, double x, double y) const {
    if (!image_ || !cairo || !cairo->IsValid()) return;
    cairo_t* cr = cairo->GetCairo();
    gdk_cairo_set_source_pixbuf(cr, image_, x, y);
    cairo_paint(cr);
}
