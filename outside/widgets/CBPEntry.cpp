#include "outside/widgets/CBPEntry.h"

CBPEntry::CBPEntry() : CBPWidget(gtk_entry_new()) {}

void CBPEntry::SetText(const char* text) { gtk_entry_set_text(GTK_ENTRY(GetWidget()), text ? text : ""); }

const char* CBPEntry::GetText() const {
    const char* text = gtk_entry_get_text(GTK_ENTRY(GetWidget()));
    return text ? text : "";
}

void CBPEntry::SetPosition(int position) { gtk_editable_set_position(GTK_EDITABLE(GetWidget()), position); }

int CBPEntry::GetPosition() const { return gtk_editable_get_position(GTK_EDITABLE(GetWidget())); }

void CBPEntry::SetHasFrame(bool frame) { gtk_entry_set_has_frame(GTK_ENTRY(GetWidget()), frame ? TRUE : FALSE); }

void CBPEntry::SetMaxLength(int characters) { gtk_entry_set_max_length(GTK_ENTRY(GetWidget()), characters); }
