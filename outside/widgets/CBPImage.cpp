#include "outside/widgets/CBPImage.h"

CBPImage::CBPImage(const char* path) : CBPWidget(gtk_image_new()) { SetImageFromFile(path); }

void CBPImage::SetImageFromFile(const char* path) {
    if (path && *path) {
        gtk_image_set_from_file(GTK_IMAGE(GetWidget()), path);
    } else {
        gtk_image_clear(GTK_IMAGE(GetWidget()));
    }
}
