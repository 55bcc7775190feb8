// A table cell that shows one of a few fixed texts, such as a key's type or attribute. Each text has its own
// inscription with its own style class, all laid out over the cell, and only the chosen one is drawn. A
// rebound cell thus changes no style class and shapes no text: on GTK 4.8 any change of a style class lays
// the whole window out again, which on X waits for the server to finish the frame before.
#pragma once

#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace choice_cell {

struct Choice {
    std::string text;
    const char* css_class; // a string that lives as long as the program; null: none
};
// A new cell (a floating reference) of the choices, each as wide as `width_chars` average characters. It
// reads as a label of the chosen text to assistive technology. Nothing is chosen yet.
GtkWidget* create(const std::vector<Choice>& choices, int width_chars);
bool is_choice_cell(GtkWidget* widget);

// Shows the choice; any other number shows nothing.
void choose(GtkWidget* cell, int choice);
// The inscription of the choice shown; null when nothing is.
GtkWidget* chosen(GtkWidget* cell);
// Adds or removes a style class on every choice (a mark of the cell whichever text it shows).
void set_css_class(GtkWidget* cell, const char* css_class, bool on);

} // namespace choice_cell
