#include "outside/widgets/CBPAlignment.h"

CBPAlignment::CBPAlignment(double xalign, double yalign, double xscale, double yscale)
    : CBPWidget(gtk_alignment_new(xalign, yalign, xscale, yscale)) {}

void CBPAlignment::Set(double xalign, double yalign, double xscale, double yscale) {
    gtk_alignment_set(GTK_ALIGNMENT(GetWidget()), xalign, yalign, xscale, yscale);
}
