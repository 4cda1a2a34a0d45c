#include "outside/widgets/CBPButton.h"

#include <algorithm>

#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawCircle.h"

namespace {

struct Rgb {
    int red, green, blue;
};

// The round looks' fill by look (index 1 to 3) and by the button's state: normal, under the
// pointer, pressed.
constexpr Rgb kLookFill[4][3] = {
    {},
    {{167, 224, 231}, {167, 224, 231}, {167, 224, 231}},  // waiting: pale, never reacts
    {{44, 193, 210}, {72, 208, 223}, {30, 160, 175}},     // ready
    {{190, 190, 190}, {190, 190, 190}, {190, 190, 190}},  // unavailable
};
constexpr int kRingRoom = 6;     // pixels kept round the disc for the pulse
constexpr int kPulseFrames = 10;

}  // namespace

CBPButton::CBPButton(const char* text) : CBPWidget(gtk_button_new_with_label(text ? text : "")) {
    g_signal_connect(GetWidget(), "expose-event", G_CALLBACK(&CBPButton::OnExpose), nullptr);
}

void CBPButton::SetText(const char* text) { gtk_button_set_label(GTK_BUTTON(GetWidget()), text ? text : ""); }

const char* CBPButton::GetText() const { return gtk_button_get_label(GTK_BUTTON(GetWidget())); }

void CBPButton::SetLabelMarkup(const char* markup) {
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(GetWidget()));
    if (child && GTK_IS_LABEL(child)) gtk_label_set_markup(GTK_LABEL(child), markup ? markup : "");
}

void CBPButton::BindInt(const char* key, int value) { BindInt(GetWidget(), key, value); }

void CBPButton::BindInt(GtkWidget* widget, const char* key, int value) {
    if (!widget || !key) return;
    g_object_set_data(G_OBJECT(widget), key, GINT_TO_POINTER(value));
    gtk_widget_queue_draw(widget);
}

int CBPButton::GetBoundInt(GtkWidget* widget, const char* key) {
    return widget && key ? GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), key)) : 0;
}

double CBPButton::RoundRadius(int width, int height) { return std::min(width, height) / 2.0 - kRingRoom; }

gboolean CBPButton::OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer) {
    const int look = GetBoundInt(widget, ROUND_COLOR_BUTTON_KEY);
    if (look < ROUND_LOOK_WAITING || look > ROUND_LOOK_UNAVAILABLE) return FALSE;
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    const double cx = a.x + a.width / 2.0, cy = a.y + a.height / 2.0;
    const double radius = RoundRadius(a.width, a.height);
    const GtkStateType state = gtk_widget_get_state(widget);
    const Rgb& fill = kLookFill[look][state == GTK_STATE_ACTIVE ? 2 : state == GTK_STATE_PRELIGHT ? 1 : 0];
    CBPCairo cairo(widget);
    CBPCairoPaths paths(&cairo);
    CBPDrawCircle circle(&cairo);
    if (look == ROUND_LOOK_READY) {
        // The pulse: a ring that widens and fades over the ten frames.
        const int frame = GetBoundInt(widget, ROUND_COLOR_BUTTON_ANIMATION_KEY) % kPulseFrames;
        paths.SetPathRgba(fill.red, fill.green, fill.blue, 0.5 * (1.0 - frame / double(kPulseFrames)));
        circle.DrawCircle(cx, cy, radius + 1 + frame * 0.4, 0, 2.0);
    }
    paths.SetPathRgb(fill.red, fill.green, fill.blue);
    circle.DrawCircle(cx, cy, radius, 1);
    if (GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget)))
        gtk_container_propagate_expose(GTK_CONTAINER(widget), child, event);
    return TRUE;
}
