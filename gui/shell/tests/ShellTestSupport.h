#pragma once
#include <gtk/gtk.h>

#include <functional>
#include <string>

class CBaseWnd;

// A program tree in a scratch folder: bin/ (the working folder of a program), res/ (a copy of the
// built resources, its update link empty) and share/ (a link to the built one).
struct ScratchTree {
    std::string root, bin, res;
};
ScratchTree MakeScratchTree();

// Runs what the main loop has ready, the display server's answers to it included, until nothing
// is left, then paints what is invalid: the windows show what the program has made of them.
void DrawPending();
// A shot of the screen area into $RK_SCREENS/<name>.png, taken with ImageMagick's import once
// what is pending is drawn.
bool SaveScreenshot(const std::string& name, int x, int y, int width, int height);
// A shot of a shown window with its surroundings (its shaped corners show what lies below).
bool SaveWindowScreenshot(const std::string& name, GtkWidget* window, int margin = 8);
// 0xRRGGBB of a screen pixel, once what is pending is painted.
guint32 ScreenPixel(int x, int y);
// The same at (x, y) of a shown top-level window.
guint32 WindowPixel(GtkWidget* window, int x, int y);
// The first button under widget whose label is text, or null.
GtkWidget* FindButton(GtkWidget* widget, const std::string& text);
// Pumps until the window is shown on the screen and painted.
bool WaitShown(GtkWidget* window);

// Runs the dialog modally; once it is shown, action runs (from the main loop). A dialog still
// running after a minute is ended with the result -1. Returns DoModal's result.
int RunModal(CBaseWnd& dialog, bool showAll, const std::function<void()>& action);
