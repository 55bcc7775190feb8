// The glyph cell: texts of its alphabet from glyphs shaped once per font, any other through a Pango layout
// set up as GtkInscription sets up its own, and both placed where an inscription places its text.
#include "ui/GlyphCell.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The printable characters of ASCII (numbers, ids, times, card types, most descriptions in Latin) and the
// Cyrillic letters of the descriptions people write in Russian, Ukrainian and their neighbours' languages.
constexpr gunichar kFirstAscii = ' ';
constexpr gunichar kLastAscii = '~';
constexpr gunichar kFirstCyrillic = 0x0400;
constexpr gunichar kLastCyrillic = 0x045F;
constexpr std::size_t kAsciiLetters = kLastAscii - kFirstAscii + 1;
constexpr std::size_t kLetters = kAsciiLetters + (kLastCyrillic - kFirstCyrillic + 1);

int letter_of(gunichar c) {
    if (c >= kFirstAscii && c <= kLastAscii)
        return static_cast<int>(c - kFirstAscii);
    if (c >= kFirstCyrillic && c <= kLastCyrillic)
        return static_cast<int>(kAsciiLetters + (c - kFirstCyrillic));
    return -1;
}

gunichar letter(std::size_t index) {
    return index < kAsciiLetters ? kFirstAscii + static_cast<gunichar>(index)
                                 : kFirstCyrillic + static_cast<gunichar>(index - kAsciiLetters);
}

std::size_t pair_index(int first, int second) {
    return static_cast<std::size_t>(first) * kLetters + static_cast<std::size_t>(second);
}

struct Glyph {
    PangoGlyphInfo info;
    bool known = false;  // shaped yet
    bool usable = false; // shaped by the set's font into a glyph of its own
};

// The glyphs of the alphabet in one font: each letter followed by each other (its advance then holds the
// pair's kerning), and each at the end of a text.
struct GlyphSet {
    PangoFont* font; // a reference of the set's own
    PangoShapeFlags flags;
    int line_height; // the logical height of a line, in pixels
    int baseline;    // from the line's top, in Pango units
    std::array<Glyph, kLetters * kLetters> pairs{};
    std::array<Glyph, kLetters> last{};

    GlyphSet(PangoFont* font, PangoShapeFlags flags, int line_height, int baseline)
        : font(PANGO_FONT(g_object_ref(font))), flags(flags), line_height(line_height), baseline(baseline) {}
    ~GlyphSet() { g_object_unref(font); }
    GlyphSet(const GlyphSet&) = delete;
    GlyphSet& operator=(const GlyphSet&) = delete;
};

// The font Pango takes for the text in the context (null when it takes more than one).
PangoFont* font_of(PangoContext* context, const char* text, int length, PangoItem** item_out = nullptr) {
    GList* items = pango_itemize(context, text, 0, length, nullptr, nullptr);
    PangoFont* font = nullptr;
    if (items != nullptr && items->next == nullptr) {
        auto* item = static_cast<PangoItem*>(items->data);
        font = item->analysis.font;
        if (item_out != nullptr) {
            *item_out = item;
            items->data = nullptr;
        }
    }
    g_list_free_full(items, [](gpointer item) {
        if (item != nullptr)
            pango_item_free(static_cast<PangoItem*>(item));
    });
    return font;
}

// Shapes one letter, or two (the first `first_length` bytes of `length`), as a layout shapes them, and keeps
// the first glyph.
void shape(PangoContext* context, const GlyphSet& set, const char* text, int length, int first_length,
           Glyph& glyph) {
    glyph.known = true;
    PangoItem* item = nullptr;
    if (font_of(context, text, length, &item) != set.font) {
        if (item != nullptr)
            pango_item_free(item);
        return;
    }
    PangoGlyphString* glyphs = pango_glyph_string_new();
    pango_shape_with_flags(text, length, text, length, &item->analysis, glyphs, set.flags);
    const bool pair = first_length < length;
    glyph.usable = glyphs->num_glyphs == (pair ? 2 : 1) && glyphs->log_clusters[0] == 0 &&
                   (!pair || glyphs->log_clusters[1] == first_length) &&
                   (glyphs->glyphs[0].glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0;
    glyph.info = glyphs->glyphs[0];
    pango_glyph_string_free(glyphs);
    pango_item_free(item);
}

// Shapes every pair of ASCII characters at once, in a text where each pair comes once (a de Bruijn sequence:
// each character, then it before each later one), and each letter alone. Pairs that are not two glyphs of
// their own there (a ligature such as "fi", a letter beside one) and pairs with a Cyrillic letter are shaped
// when first met: a text that mixed the scripts would be split into thousands of items.
void shape_all(PangoContext* context, GlyphSet& set) {
    std::string text;
    for (std::size_t i = 0; i < kAsciiLetters; ++i) {
        text += static_cast<char>(letter(i));
        for (std::size_t j = i + 1; j < kAsciiLetters; ++j) {
            text += static_cast<char>(letter(i));
            text += static_cast<char>(letter(j));
        }
    }
    text += static_cast<char>(letter(0));
    GList* items = pango_itemize(context, text.data(), 0, static_cast<int>(text.size()), nullptr, nullptr);
    PangoGlyphString* glyphs = pango_glyph_string_new();
    for (GList* it = items; it != nullptr; it = it->next) {
        auto* item = static_cast<PangoItem*>(it->data);
        if (item->analysis.font != set.font)
            continue;
        const char* start = text.data() + item->offset;
        pango_shape_with_flags(start, item->length, text.data(), static_cast<int>(text.size()),
                               &item->analysis, glyphs, set.flags);
        const int* clusters = glyphs->log_clusters;
        const int count = glyphs->num_glyphs;
        // A glyph of one character, alone in its cluster.
        const auto alone = [&](int g) {
            return (g == 0 || clusters[g - 1] != clusters[g]) &&
                   (g + 1 == count || clusters[g + 1] != clusters[g]) &&
                   (glyphs->glyphs[g].glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0;
        };
        for (int g = 0; g + 1 < count; ++g) {
            if (!alone(g) || !alone(g + 1) || clusters[g + 1] != clusters[g] + 1)
                continue;
            Glyph& pair = set.pairs[pair_index(letter_of(static_cast<guchar>(start[clusters[g]])),
                                               letter_of(static_cast<guchar>(start[clusters[g] + 1])))];
            pair.info = glyphs->glyphs[g];
            pair.known = pair.usable = true;
        }
    }
    pango_glyph_string_free(glyphs);
    g_list_free_full(items, reinterpret_cast<GDestroyNotify>(pango_item_free));
    for (std::size_t i = 0; i < kLetters; ++i) {
        char alone[8];
        const int length = g_unichar_to_utf8(letter(i), alone);
        shape(context, set, alone, length, length, set.last[i]);
    }
}

// The sets of the fonts met so far; a program shows its tables in a font or two.
std::vector<std::unique_ptr<GlyphSet>>& glyph_sets() {
    static std::vector<std::unique_ptr<GlyphSet>> sets;
    return sets;
}

GlyphSet* glyph_set_for(PangoContext* context) {
    PangoFont* font = font_of(context, "0", 1);
    if (font == nullptr)
        return nullptr;
    for (const auto& set : glyph_sets())
        if (set->font == font)
            return set.get();
    PangoLayout* line = pango_layout_new(context);
    pango_layout_set_text(line, "0", 1);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(line, nullptr, &logical);
    const int baseline = pango_layout_get_baseline(line);
    g_object_unref(line);
    const auto flags =
        pango_context_get_round_glyph_positions(context) ? PANGO_SHAPE_ROUND_POSITIONS : PANGO_SHAPE_NONE;
    glyph_sets().push_back(std::make_unique<GlyphSet>(font, flags, logical.height, baseline));
    shape_all(context, *glyph_sets().back());
    return glyph_sets().back().get();
}

struct CellData {
    std::string text;
    PangoAttrList* attributes = nullptr;
    guint min_chars = 0;
    guint nat_chars = 0;
    // The glyphs of the text, when it is of the alphabet, from the set of the font of the context as it
    // was (a new font or size gives the context a new serial).
    GlyphSet* set = nullptr;
    guint context_serial = 0;
    PangoGlyphString* run = nullptr;
    bool run_current = false;
    bool run_usable = false;
    int run_width = 0; // Pango units
    // Texts through Pango: made when first needed.
    PangoLayout* layout = nullptr;
    bool layout_current = false;
};

} // namespace

extern "C" {

struct KestrixGlyphCell {
    GtkWidget parent;
    CellData* data;
};

struct KestrixGlyphCellClass {
    GtkWidgetClass parent_class;
};

G_DEFINE_TYPE(KestrixGlyphCell, kestrix_glyph_cell, GTK_TYPE_WIDGET)

} // extern "C"

namespace {

CellData& data_of(GtkWidget* widget) {
    return *reinterpret_cast<KestrixGlyphCell*>(widget)->data;
}

bool right_to_left(GtkWidget* widget) {
    return gtk_widget_get_direction(widget) == GTK_TEXT_DIR_RTL;
}

// The text's glyphs from the font's set, when every letter and pair of it has one.
bool make_run(GtkWidget* widget, CellData& cell) {
    PangoContext* context = gtk_widget_get_pango_context(widget);
    if (cell.set == nullptr || cell.context_serial != pango_context_get_serial(context)) {
        cell.set = glyph_set_for(context);
        cell.context_serial = pango_context_get_serial(context);
        cell.run_current = false;
    }
    if (cell.run_current)
        return cell.run_usable;
    cell.run_current = true;
    cell.run_usable = false;
    if (cell.set == nullptr || cell.attributes != nullptr)
        return false;
    const char* text = cell.text.c_str();
    const char* end = text + cell.text.size();
    pango_glyph_string_set_size(cell.run, static_cast<int>(g_utf8_strlen(text, end - text)));
    cell.run_width = 0;
    int letter = letter_of(g_utf8_get_char_validated(text, end - text));
    for (int i = 0; text < end; ++i) {
        const char* next_char = g_utf8_next_char(text);
        const int next =
            next_char < end ? letter_of(g_utf8_get_char_validated(next_char, end - next_char)) : -2;
        if (letter < 0 || next == -1)
            return false;
        const char* pair_end = next >= 0 ? g_utf8_next_char(next_char) : next_char;
        Glyph& glyph = next >= 0 ? cell.set->pairs[pair_index(letter, next)]
                                 : cell.set->last[static_cast<std::size_t>(letter)];
        if (!glyph.known)
            shape(context, *cell.set, text, static_cast<int>(pair_end - text),
                  static_cast<int>(next_char - text), glyph);
        if (!glyph.usable)
            return false;
        cell.run->glyphs[i] = glyph.info;
        cell.run->log_clusters[i] = static_cast<int>(text - cell.text.c_str());
        cell.run_width += glyph.info.geometry.width;
        text = next_char;
        letter = next;
    }
    cell.run_usable = true;
    return true;
}

// The layout of a text through Pango, set up as an inscription sets up its own.
PangoLayout* layout_for(GtkWidget* widget, CellData& cell) {
    if (cell.layout == nullptr) {
        cell.layout = gtk_widget_create_pango_layout(widget, nullptr);
        pango_layout_set_wrap(cell.layout, PANGO_WRAP_WORD_CHAR);
        pango_layout_set_ellipsize(cell.layout, PANGO_ELLIPSIZE_END);
        pango_layout_set_height(cell.layout, -1);
    }
    if (!cell.layout_current) {
        pango_layout_set_text(cell.layout, cell.text.data(), static_cast<int>(cell.text.size()));
        pango_layout_set_attributes(cell.layout, cell.attributes);
        cell.layout_current = true;
    }
    pango_layout_set_alignment(cell.layout, right_to_left(widget) ? PANGO_ALIGN_RIGHT : PANGO_ALIGN_LEFT);
    pango_layout_set_width(cell.layout, gtk_widget_get_width(widget) * PANGO_SCALE);
    return cell.layout;
}

// Where a line of the height goes: on the row's baseline when it has one, else in the middle.
float line_top(GtkWidget* widget, int line_height, int line_baseline, bool ellipsized) {
    const int baseline = gtk_widget_get_allocated_baseline(widget);
    if (baseline != -1)
        return static_cast<float>(baseline - line_baseline / PANGO_SCALE);
    if (ellipsized)
        return 0.0f;
    return std::max(0.0f, std::floor(static_cast<float>(gtk_widget_get_height(widget) - line_height) * 0.5f));
}

void changed(GtkWidget* widget) {
    CellData& cell = data_of(widget);
    cell.run_current = false;
    cell.layout_current = false;
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, cell.text.c_str(),
                                   -1);
    gtk_widget_queue_draw(widget);
}

} // namespace

extern "C" {

// As wide as the chars asked for, as high as a line: a cell never measures its text.
static void kestrix_glyph_cell_measure(GtkWidget* widget, GtkOrientation orientation, int, int* minimum,
                                       int* natural, int* minimum_baseline, int* natural_baseline) {
    const CellData& cell = data_of(widget);
    PangoFontMetrics* metrics =
        pango_context_get_metrics(gtk_widget_get_pango_context(widget), nullptr, nullptr);
    if (orientation == GTK_ORIENTATION_HORIZONTAL) {
        const int char_width = std::max(pango_font_metrics_get_approximate_char_width(metrics),
                                        pango_font_metrics_get_approximate_digit_width(metrics));
        *minimum = PANGO_PIXELS_CEIL(static_cast<int>(cell.min_chars) * char_width);
        *natural = PANGO_PIXELS_CEIL(static_cast<int>(std::max(cell.min_chars, cell.nat_chars)) * char_width);
    } else {
        const int ascent = pango_font_metrics_get_ascent(metrics);
        *minimum = *natural = PANGO_PIXELS_CEIL(ascent + pango_font_metrics_get_descent(metrics));
        *minimum_baseline = *natural_baseline = PANGO_PIXELS_CEIL(ascent);
    }
    pango_font_metrics_unref(metrics);
}

static void kestrix_glyph_cell_snapshot(GtkWidget* widget, GtkSnapshot* snapshot) {
    CellData& cell = data_of(widget);
    if (cell.text.empty())
        return;
    const int width = gtk_widget_get_width(widget);
    GdkRGBA color;
    gtk_style_context_get_color(gtk_widget_get_style_context(widget), &color);
    const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, static_cast<float>(width),
                                                      static_cast<float>(gtk_widget_get_height(widget)));
    if (make_run(widget, cell) && cell.run_width <= width * PANGO_SCALE) {
        // The alphabet reads left to right: its texts start on the left in any window, as Pango puts them.
        const float top = line_top(widget, cell.set->line_height, cell.set->baseline, false);
        const graphene_point_t origin =
            GRAPHENE_POINT_INIT(0.0f, top + static_cast<float>(cell.set->baseline) / PANGO_SCALE);
        // No node for a text of spaces only: nothing of it is seen.
        GskRenderNode* node = gsk_text_node_new(cell.set->font, cell.run, &color, &origin);
        if (node == nullptr)
            return;
        // Cut to the cell only when some ink reaches out of it: a clip is a good part of drawing a cell.
        graphene_rect_t ink;
        gsk_render_node_get_bounds(node, &ink);
        const bool inside = graphene_rect_contains_rect(&bounds, &ink);
        if (!inside)
            gtk_snapshot_push_clip(snapshot, &bounds);
        gtk_snapshot_append_node(snapshot, node);
        if (!inside)
            gtk_snapshot_pop(snapshot);
        gsk_render_node_unref(node);
        return;
    }
    PangoLayout* layout = layout_for(widget, cell);
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    const float top = line_top(widget, logical.height, pango_layout_get_baseline(layout),
                               pango_layout_is_ellipsized(layout));
    gtk_snapshot_push_clip(snapshot, &bounds);
    gtk_snapshot_save(snapshot);
    const graphene_point_t origin = GRAPHENE_POINT_INIT(0.0f, top);
    gtk_snapshot_translate(snapshot, &origin);
    gtk_snapshot_append_layout(snapshot, layout, &color);
    gtk_snapshot_restore(snapshot);
    gtk_snapshot_pop(snapshot);
}

static void kestrix_glyph_cell_finalize(GObject* object) {
    CellData* cell = reinterpret_cast<KestrixGlyphCell*>(object)->data;
    g_clear_pointer(&cell->attributes, pango_attr_list_unref);
    g_clear_object(&cell->layout);
    pango_glyph_string_free(cell->run);
    delete cell;
    G_OBJECT_CLASS(kestrix_glyph_cell_parent_class)->finalize(object);
}

static void kestrix_glyph_cell_class_init(KestrixGlyphCellClass* klass) {
    G_OBJECT_CLASS(klass)->finalize = kestrix_glyph_cell_finalize;
    auto* widget_class = GTK_WIDGET_CLASS(klass);
    widget_class->measure = kestrix_glyph_cell_measure;
    widget_class->snapshot = kestrix_glyph_cell_snapshot;
    // Styled as the labels and inscriptions it stands beside.
    gtk_widget_class_set_css_name(widget_class, "label");
    gtk_widget_class_set_accessible_role(widget_class, GTK_ACCESSIBLE_ROLE_LABEL);
}

static void kestrix_glyph_cell_init(KestrixGlyphCell* widget) {
    widget->data = new CellData{};
    widget->data->run = pango_glyph_string_new();
}

} // extern "C"

namespace glyph_cell {

GtkWidget* create() {
    return GTK_WIDGET(g_object_new(kestrix_glyph_cell_get_type(), nullptr));
}

bool is_glyph_cell(GtkWidget* widget) {
    return G_TYPE_CHECK_INSTANCE_TYPE(widget, kestrix_glyph_cell_get_type());
}

void set_width_chars(GtkWidget* widget, guint min_chars, guint nat_chars) {
    CellData& cell = data_of(widget);
    if (cell.min_chars == min_chars && cell.nat_chars == nat_chars)
        return;
    cell.min_chars = min_chars;
    cell.nat_chars = nat_chars;
    gtk_widget_queue_resize(widget);
}

void set_text(GtkWidget* widget, const char* text) {
    CellData& cell = data_of(widget);
    if (cell.attributes == nullptr && cell.text == (text ? text : ""))
        return;
    cell.text = text ? text : "";
    g_clear_pointer(&cell.attributes, pango_attr_list_unref);
    changed(widget);
}

void set_markup(GtkWidget* widget, const char* markup) {
    CellData& cell = data_of(widget);
    PangoAttrList* attributes = nullptr;
    char* text = nullptr;
    if (!pango_parse_markup(markup, -1, 0, &attributes, &text, nullptr, nullptr)) {
        set_text(widget, markup);
        return;
    }
    cell.text = text;
    g_free(text);
    g_clear_pointer(&cell.attributes, pango_attr_list_unref);
    cell.attributes = attributes;
    changed(widget);
}

const char* text(GtkWidget* widget) {
    return data_of(widget).text.c_str();
}

PangoAttrList* attributes(GtkWidget* widget) {
    return data_of(widget).attributes;
}

bool draws_from_glyphs(GtkWidget* widget) {
    CellData& cell = data_of(widget);
    return !cell.text.empty() && make_run(widget, cell) &&
           cell.run_width <= gtk_widget_get_width(widget) * PANGO_SCALE;
}

} // namespace glyph_cell
