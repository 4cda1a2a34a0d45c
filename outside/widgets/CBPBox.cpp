#include "outside/widgets/CBPBox.h"

CBPBox::CBPBox(bool vertical, bool homogeneous, int spacing)
    : CBPWidget(vertical ? gtk_vbox_new(homogeneous, spacing) : gtk_hbox_new(homogeneous, spacing)) {}

void CBPBox::PackStart(GtkWidget* child, bool expand, bool fill, int padding) {
    if (child) gtk_box_pack_start(GTK_BOX(GetWidget()), child, expand, fill, padding);
}

void CBPBox::PackEnd(GtkWidget* child, bool expand, bool fill, int padding) {
    if (child) gtk_box_pack_end(GTK_BOX(GetWidget()), child, expand, fill, padding);
}

void CBPBox::PackStart(CBPWidget* child, bool expand, bool fill, int padding) {
    if (child) PackStart(child->GetWidget(), expand, fill, padding);
}

void CBPBox::PackEnd(CBPWidget* child, bool expand, bool fill, int padding) {
    if (child) PackEnd(child->GetWidget(), expand, fill, padding);
}
