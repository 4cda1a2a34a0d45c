#include "outside/widgets/CBPEventBox.h"

CBPEventBox::CBPEventBox() : CBPWidget(gtk_event_box_new()) {}

void CBPEventBox::SetVisibleWindow(bool visible) {
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(GetWidget()), visible ? TRUE : FALSE);
}
