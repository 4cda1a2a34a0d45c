#pragma once
#include <gtk/gtk.h>

class CBPProgressBar;

// The paint callback of the GUI's progress bars: a grey track, a green fill (orange when the bar
// is in error) of at least 10 pixels, diagonal stripes. 0 when there is nothing to paint on.
int PaintProgressBar(CBPProgressBar* bar);

// A strip of bottom buttons: the widget's allocation filled with fill, a line of colour line along
// its top edge (each 0xRRGGBB).
void PaintStripWithTopLine(GtkWidget* widget, guint32 fill, guint32 line);

// Where a callout's pointer sits: 0-2 top edge (near left, centre, near right), 3-5 left edge
// (near top, centre, near bottom), 6-8 right edge, 9-11 bottom edge; above 11 none.
enum CalloutPosition : unsigned {
    CALLOUT_TOP_LEFT = 0, CALLOUT_TOP_CENTRE, CALLOUT_TOP_RIGHT,
    CALLOUT_LEFT_TOP, CALLOUT_LEFT_CENTRE, CALLOUT_LEFT_BOTTOM,
    CALLOUT_RIGHT_TOP, CALLOUT_RIGHT_CENTRE, CALLOUT_RIGHT_BOTTOM,
    CALLOUT_BOTTOM_LEFT, CALLOUT_BOTTOM_CENTRE, CALLOUT_BOTTOM_RIGHT,
    CALLOUT_NONE,
};

// A rounded box with a triangular pointer of size arrow at position, offset along its edge,
// filled and outlined (colours 0..255 in each field) at alpha; rect null: the widget's allocation.
void DrawCallout(GtkWidget* widget, unsigned position, GdkColor fill, GdkColor stroke, const GdkRectangle* rect,
                 double alpha, double offset, double radius, double arrow);
