#include "outside/widgets/CBPComboBoxMenu.h"

CBPComboBoxMenu::CBPComboBoxMenu(CBPWidget* button, int flags) : CBPWidget(gtk_menu_new()) {
    (void)flags;
    button_ = button ? button->GetWidget() : nullptr;
    if (button_) {
        g_object_ref(button_);
        if (GTK_IS_BUTTON(button_)) g_signal_connect(button_, "clicked", G_CALLBACK(&CBPComboBoxMenu::OnClicked), this);
    }
}

CBPComboBoxMenu::~CBPComboBoxMenu() {
    if (button_) {
        g_signal_handlers_disconnect_by_data(button_, this);
        g_object_unref(button_);
    }
    // The entries' widgets go with the menu.
    for (auto& item : items_) item->SetDestroyWidgetWhenDelete(0);
    items_.clear();
}

void CBPComboBoxMenu::SetItemSize(int width, int height) {
    itemWidth_ = width;
    itemHeight_ = height;
}

CBPComboBoxMenuItem* CBPComboBoxMenu::AppendMenuItem(const char* text, int index) {
    items_.emplace_back(new CBPComboBoxMenuItem(text, index));
    GtkWidget* item = items_.back()->GetWidget();
    gtk_widget_set_size_request(item, itemWidth_, itemHeight_);
    gtk_menu_shell_append(GTK_MENU_SHELL(GetWidget()), item);
    gtk_widget_show(item);
    return items_.back().get();
}

void CBPComboBoxMenu::Popup() {
    gtk_menu_popup(GTK_MENU(GetWidget()), nullptr, nullptr, button_ ? &CBPComboBoxMenu::Position : nullptr, this, 0,
                   gtk_get_current_event_time());
}

void CBPComboBoxMenu::OnClicked(GtkButton*, gpointer self) { static_cast<CBPComboBoxMenu*>(self)->Popup(); }

void CBPComboBoxMenu::Position(GtkMenu* menu, gint* x, gint* y, gboolean* pushIn, gpointer self) {
    GtkWidget* button = static_cast<CBPComboBoxMenu*>(self)->button_;
    GdkWindow* window = gtk_widget_get_window(button);
    gint ox = 0, oy = 0;
    if (window) gdk_window_get_origin(window, &ox, &oy);
    GtkAllocation area;
    gtk_widget_get_allocation(button, &area);
    GtkRequisition size{};
    gtk_widget_size_request(GTK_WIDGET(menu), &size);
    // Under the button, inside the button's window when it would pass the window's right edge.
    *x = ox + area.x;
    GtkWidget* top = gtk_widget_get_toplevel(button);
    GtkAllocation topArea;
    gtk_widget_get_allocation(top, &topArea);
    if (area.x + size.width > topArea.width) *x = ox + area.x + area.width - size.width;
    *y = oy + area.y + area.height;
    *pushIn = TRUE;
}
