#pragma once
#include "outside/widgets/CBPWidget.h"

// Object data that makes a button draw itself as a round coloured button: the look under
// ROUND_COLOR_BUTTON_KEY (1 waiting, 2 ready, 3 unavailable; any other value, or none, leaves the
// toolkit's own button) and the frame 0-9 of the ready look's pulse under
// ROUND_COLOR_BUTTON_ANIMATION_KEY. Both are integers carried in the data pointer.
constexpr const char* ROUND_COLOR_BUTTON_KEY = "_Round_color_button_";
constexpr const char* ROUND_COLOR_BUTTON_ANIMATION_KEY = "_Round_color_button_animation_";
enum : int { ROUND_LOOK_WAITING = 1, ROUND_LOOK_READY = 2, ROUND_LOOK_UNAVAILABLE = 3 };

// A push button with a text.
class CBPButton : public CBPWidget {
public:
    explicit CBPButton(const char* text);
    void SetText(const char* text);
    const char* GetText() const;
    // The text as Pango markup.
    void SetLabelMarkup(const char* markup);
    // Binds value under key on the button and redraws it.
    void BindInt(const char* key, int value);

    // Binds value under key on any widget (redrawn) and reads it back (0 when unset).
    static void BindInt(GtkWidget* widget, const char* key, int value);
    static int GetBoundInt(GtkWidget* widget, const char* key);
    // The radius of a round look's disc on a button of that size.
    static double RoundRadius(int width, int height);

private:
    static gboolean OnExpose(GtkWidget* widget, GdkEventExpose* event, gpointer);
};
