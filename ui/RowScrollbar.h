// A vertical scroll bar for a table that moves its rows itself (see KeyRowModel.h). GTK's own scroll bar lays
// the whole window out again each time its slider moves; on X that asks the server for the work area and
// waits until it has drawn the frame before, a wait as long as the frame itself. This one draws its slider
// where the adjustment puts it and is laid out only when the slider's length changes.
#pragma once

#include <gtk/gtk.h>

namespace row_scrollbar {

// A new scroll bar over the adjustment (a floating reference, as GTK's constructors give). It looks as the
// theme draws scroll bars (scrollbar.vertical > range > trough > slider) and reads as a scroll bar to
// assistive technology. Its slider is dragged with the first button; a click on the trough takes the slider
// there (and it can be dragged on from there), as GTK's scroll bars do.
GtkWidget* create(GtkAdjustment* adjustment);

// Where the slider is drawn, in the trough's coordinates.
struct SliderPlace {
    double top;
    double length;
    double trough_length;
};
SliderPlace slider_place(GtkWidget* scrollbar);

} // namespace row_scrollbar
