#pragma once
#include <gtk/gtk.h>

#include <string>

class CBPLinkLabel;
class CScanSelectedBottom;
class CScanSelectedDetail;

// Runs what the main loop has ready now (resizes, redraws) without waiting for more.
void Settle();
// Whether a pixel of 0xRRGGBB is near the colour wanted: each channel within the tolerance. The
// strokes of a text in that colour have such pixels whatever its font draws them with, not always
// the exact colour (antialiasing blends even the thickest into the ground).
constexpr int kInkTolerance = 32;
bool IsNearColour(guint32 pixel, guint32 rgb, int tolerance = kInkTolerance);
// Whether any pixel of the widget's area on the screen has the colour 0xRRGGBB, or one near it.
bool AreaHasColour(GtkWidget* widget, guint32 rgb, int tolerance = kInkTolerance);
// 0xRRGGBB of the pixel at (x, y) of the widget's allocation.
guint32 PixelAt(GtkWidget* widget, int x, int y);
// Clicks with the real pointer (xdotool) on the words of linkText inside the label and returns
// once the click has reached this program.
bool ClickLink(CBPLinkLabel* label, const std::string& linkText);
// Once a window other than the main window shows a button labelled text, releases the button
// over it (as a click does) and saves a shot of the window under shot (when given).
void AnswerNextQuestion(const std::string& text, const std::string& shot = "");
// A top-level window of 900 x 560 at the screen's corner with the detail pane above the bottom bar,
// the bar linked to the pane, as the scan page lays them out: shown, or null when it did not show.
GtkWidget* ShowDetailWindow(CScanSelectedDetail* detail, CScanSelectedBottom* bar);
