#include "outside/widgets/CBPComboBoxEx.h"

CBPComboBoxEx::CBPComboBoxEx() : CBPWidget(gtk_combo_box_new_text()) {}

void CBPComboBoxEx::AppendText(const char* text) {
    gtk_combo_box_append_text(GTK_COMBO_BOX(GetWidget()), text ? text : "");
}

void CBPComboBoxEx::SetActive(int index) { gtk_combo_box_set_active(GTK_COMBO_BOX(GetWidget()), index); }

int CBPComboBoxEx::GetActive() const { return gtk_combo_box_get_active(GTK_COMBO_BOX(GetWidget())); }
