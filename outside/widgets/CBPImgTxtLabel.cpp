#include "outside/widgets/CBPImgTxtLabel.h"

CBPImgTxtLabel::CBPImgTxtLabel(const char* imagePath, const char* markup) : CBPWidget(gtk_event_box_new()) {
    row_ = gtk_hbox_new(FALSE, 0);
    image_ = gtk_image_new_from_file(imagePath ? imagePath : "");
    label_ = gtk_label_new("");
    append_ = gtk_label_new("");
    gtk_label_set_markup(GTK_LABEL(label_), markup ? markup : "");
    gtk_box_pack_start(GTK_BOX(row_), image_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row_), label_, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(row_), append_, FALSE, FALSE, 4);
    gtk_container_add(GTK_CONTAINER(GetWidget()), row_);
    gtk_widget_show_all(row_);
    gtk_widget_add_events(GetWidget(), GDK_BUTTON_PRESS_MASK);
    g_signal_connect(GetWidget(), "button-press-event", G_CALLBACK(&CBPImgTxtLabel::OnPress), this);
    SetLabelNormal();
}

CBPImgTxtLabel::~CBPImgTxtLabel() { g_signal_handlers_disconnect_by_data(GetWidget(), this); }

void CBPImgTxtLabel::SetHeadDis(int left, int between) {
    gtk_box_set_child_packing(GTK_BOX(row_), image_, FALSE, FALSE, left > 0 ? left : 0, GTK_PACK_START);
    gtk_box_set_spacing(GTK_BOX(row_), between > 0 ? between : 0);
}

void CBPImgTxtLabel::SetLabelMarkup(const char* markup) { gtk_label_set_markup(GTK_LABEL(label_), markup ? markup : ""); }

void CBPImgTxtLabel::AppendTxt(const char* markup) {
    appendMarkup_ += markup ? markup : "";
    gtk_label_set_markup(GTK_LABEL(append_), appendMarkup_.c_str());
}

void CBPImgTxtLabel::SetAppendTxt(const char* text, GdkColor colour) {
    gchar* escaped = g_markup_escape_text(text ? text : "", -1);
    gchar* markup = g_strdup_printf("<span color=\"#%02X%02X%02X\">%s</span>", colour.red & 0xFF, colour.green & 0xFF,
                                    colour.blue & 0xFF, escaped);
    appendMarkup_ = markup;
    gtk_label_set_markup(GTK_LABEL(append_), markup);
    g_free(markup);
    g_free(escaped);
}

std::string CBPImgTxtLabel::GetAppendTxt() const { return gtk_label_get_text(GTK_LABEL(append_)); }
std::string CBPImgTxtLabel::GetLabelText() const { return gtk_label_get_text(GTK_LABEL(label_)); }

void CBPImgTxtLabel::SetHightLightClr(GdkColor colour) {
    // Colours come as 0..255 per field; the toolkit takes 16 bits.
    highlight_ = GdkColor{0, static_cast<guint16>((colour.red & 0xFF) * 257), static_cast<guint16>((colour.green & 0xFF) * 257),
                          static_cast<guint16>((colour.blue & 0xFF) * 257)};
    if (highlighted_) SetLabelHeighLight();
}

void CBPImgTxtLabel::SetLabelNormal() {
    highlighted_ = false;
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(GetWidget()), FALSE);
    gtk_widget_modify_bg(GetWidget(), GTK_STATE_NORMAL, nullptr);
    for (GtkWidget* label : {label_, append_}) gtk_label_set_attributes(GTK_LABEL(label), nullptr);
}

void CBPImgTxtLabel::SetLabelHeighLight() {
    highlighted_ = true;
    gtk_event_box_set_visible_window(GTK_EVENT_BOX(GetWidget()), TRUE);
    gtk_widget_modify_bg(GetWidget(), GTK_STATE_NORMAL, &highlight_);
    // On the highlight's colour the texts are white, whatever colours their markup gives them.
    PangoAttrList* white = pango_attr_list_new();
    pango_attr_list_insert(white, pango_attr_foreground_new(0xFFFF, 0xFFFF, 0xFFFF));
    for (GtkWidget* label : {label_, append_}) gtk_label_set_attributes(GTK_LABEL(label), white);
    pango_attr_list_unref(white);
}

void CBPImgTxtLabel::SetPressCallBack(Pressed callback, gpointer data) {
    pressed_ = callback;
    pressedData_ = data;
}

gboolean CBPImgTxtLabel::OnPress(GtkWidget* widget, GdkEventButton* event, gpointer self) {
    auto* label = static_cast<CBPImgTxtLabel*>(self);
    if (event->button != 1 || !gtk_widget_is_sensitive(widget) || !label->pressed_) return FALSE;
    label->pressed_(label, label->pressedData_);
    return TRUE;
}
