// A table cell of one line of text, drawn as GtkInscription draws it but made for texts of ASCII and Cyrillic,
// as numbers, ids, times and card types are and most descriptions. Such a text is put together from glyphs
// shaped once per font, two characters at a time so that pairs keep their kerning, instead of being itemized
// and shaped again each time the row shows another key: in a long table scrolled a page per frame, shaping
// was the largest part of the work. Any other text, a text with a ligature ("fi"), a text with attributes (a
// highlight) and a text too long for the cell, which ends in an ellipsis, go through Pango as in an
// inscription.
#pragma once

#include <gtk/gtk.h>

namespace glyph_cell {

// A new cell (a floating reference), empty, its text at the start. It reads as a label of its text to
// assistive technology.
GtkWidget* create();
bool is_glyph_cell(GtkWidget* widget);

// The cell asks for `min_chars` to `nat_chars` average characters of width and one line of height; it never
// measures its text.
void set_width_chars(GtkWidget* cell, guint min_chars, guint nat_chars);
void set_text(GtkWidget* cell, const char* text);
// The text with Pango markup; the attributes apply until the next set_text.
void set_markup(GtkWidget* cell, const char* markup);
const char* text(GtkWidget* cell);
// The attributes of the markup set last; null after set_text.
PangoAttrList* attributes(GtkWidget* cell);
// Whether the text as it is now is drawn from the shaped glyphs (true) or through Pango.
bool draws_from_glyphs(GtkWidget* cell);

} // namespace glyph_cell
