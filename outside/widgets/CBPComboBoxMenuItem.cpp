#include "outside/widgets/CBPComboBoxMenuItem.h"

CBPComboBoxMenuItem::CBPComboBoxMenuItem(const char* text, int index)
    : CBPWidget(gtk_image_menu_item_new_with_label(text ? text : "")), index_(index), text_(text ? text : "") {
    gtk_image_menu_item_set_always_show_image(GTK_IMAGE_MENU_ITEM(GetWidget()), TRUE);
    g_signal_connect(GetWidget(), "activate", G_CALLBACK(&CBPComboBoxMenuItem::OnActivate), this);
    g_signal_connect(GetWidget(), "select", G_CALLBACK(&CBPComboBoxMenuItem::OnSelect), this);
    g_signal_connect(GetWidget(), "deselect", G_CALLBACK(&CBPComboBoxMenuItem::OnDeselect), this);
}

CBPComboBoxMenuItem::~CBPComboBoxMenuItem() { g_signal_handlers_disconnect_by_data(GetWidget(), this); }

void CBPComboBoxMenuItem::RegisterSelFP(SelectFn fn, void* data) {
    select_ = fn;
    selectData_ = data;
}

void CBPComboBoxMenuItem::SetIcon(const char* normal, const char* hover, const char* press, const char* disabled) {
    const char* paths[4] = {normal, hover, press, disabled};
    for (int i = 0; i < 4; ++i) icons_[i] = paths[i] ? paths[i] : "";
    ShowIcon(0);
}

void CBPComboBoxMenuItem::ShowIcon(int state) {
    const std::string& path = icons_[state].empty() ? icons_[0] : icons_[state];
    if (path.empty()) return;
    gtk_image_menu_item_set_image(GTK_IMAGE_MENU_ITEM(GetWidget()), gtk_image_new_from_file(path.c_str()));
}

void CBPComboBoxMenuItem::OnActivate(GtkMenuItem*, gpointer self) {
    auto* item = static_cast<CBPComboBoxMenuItem*>(self);
    if (item->select_) item->select_(item->index_, item->selectData_);
}

void CBPComboBoxMenuItem::OnSelect(GtkItem*, gpointer self) { static_cast<CBPComboBoxMenuItem*>(self)->ShowIcon(1); }

void CBPComboBoxMenuItem::OnDeselect(GtkItem*, gpointer self) {
    static_cast<CBPComboBoxMenuItem*>(self)->ShowIcon(0);
}
