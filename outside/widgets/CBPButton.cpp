#include "outside/widgets/CBPButton.h"

CBPButton::CBPButton(const char* text) : CBPWidget(gtk_button_new_with_label(text ? text : "")) {}

void CBPButton::SetText(const char* text) { gtk_button_set_label(GTK_BUTTON(GetWidget()), text ? text : ""); }

const char* CBPButton::GetText() const { return gtk_button_get_label(GTK_BUTTON(GetWidget())); }
