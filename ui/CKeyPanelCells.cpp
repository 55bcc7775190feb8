// Key table columns: cells bound by hand to the rows of the table (each follows the key its row shows, and a
// notify handler on that key draws it again when the key changes), and the sorters of the table, which read
// the keys' values directly.
#include "ui/CKeyPanelCells.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "keys/TextOrder.h"
#include "ui/ChoiceCell.h"
#include "ui/GlyphCell.h"
#include "ui/Highlight.h"
#include "ui/KeyRowModel.h"

namespace key_cells {

using Column = CKeyPanel::Column;

namespace {

std::atomic<key_format> g_shown_format{KF_HEX};

struct ColumnInfo {
    const char* id;
    const char* title;
    // The width a cell asks for, in average characters: cells do not measure their text, so that binding
    // a row never lays it out. Room for the longest form: decimal bytes, attribute names in Russian.
    int width_chars;
};

// Ids are the settings' column names; titles are translated where shown.
constexpr std::array<ColumnInfo, CKeyPanel::KEY_COL_COUNT> kColumns{{
    {"ID", N_("ID"), 6},
    {"Type", N_("Type"), 7},
    {"Attr", N_("Attr"), 13},
    {"Number", N_("Number"), 14}, // hexadecimal; the other forms set their own (number_width)
    {"Short", N_("Short"), 4},
    {"Created", N_("Added"), 17},
    {"Description", N_("Description"), 40},
}};

const char* const kCellData = "kestrix-key-cell";

// The number column's width in each form: its longest text and a little room.
guint number_width(key_format format) {
    switch (format) {
    case KF_EM_MARINE:
        return 11; // 255,65535
    case KF_EM_MARINE_CODE:
        return 18; // [FFFF] 255,65535
    case KF_DECIMAL:
        return 22; // 20 digits
    case KF_DECIMAL_BYTES:
        return 25; // 255 255 255 255 255 255
    case KF_KEYPAD:
        return 8;
    case KF_HEX:
    default:
        return 14;
    }
}

} // namespace

struct Cell;

// The keys the cells show, each watched once for all the cells of its row: a long scroll binds every row
// again on each frame, and a signal connection is dear beside a cell's other work.
struct KeyWatch {
    gulong handler = 0;
    std::vector<Cell*> cells;
};

struct CCells::State {
    Glib::RefPtr<Glib::Regex> highlight;
    // Each bound cell knows its index here: binding and unbinding cost no search.
    std::vector<Cell*> bound;
    std::unordered_map<GObject*, KeyWatch> watched; // each key holds a reference of the table's own
};

// One cell of a row: its widget, the key bound to it and what it shows of the key.
struct Cell {
    GtkWidget* widget; // a choice cell in the columns of few values, a glyph cell in the others
    Column column;
    std::shared_ptr<CCells::State> state;
    GObject* row = nullptr; // the row bound to the cell (held by its list item)
    GObject* key = nullptr; // the key the row shows (a reference of the cell's own)
    std::size_t bound_index = 0;
    bool error = false;
};

namespace {

// The columns of few values: a key's attribute and whether its number is short.
bool has_choices(Column column) {
    return column == CKeyPanel::KEY_COL_ATTR || column == CKeyPanel::KEY_COL_SHORT;
}

// A column's choices, in the order of the values they show.
std::vector<choice_cell::Choice> make_choices(Column column) {
    if (column != CKeyPanel::KEY_COL_ATTR)
        return {{" ", nullptr}, {"*", nullptr}};
    std::vector<choice_cell::Choice> choices;
    for (std::uint32_t attr = 0; attr < kKeyAttrCount; ++attr)
        choices.push_back({key_attr_name(static_cast<KeyAttr>(attr)).raw(),
                           key_attr_css_class(static_cast<KeyAttr>(attr))});
    return choices;
}

// Columns of values keep their width when two tables share the window (a number cut short would be of no
// use in a comparison); only descriptions give way, down to a few words.
void set_width(Cell& cell, guint chars) {
    constexpr guint kDescriptionMinimum = 12;
    glyph_cell::set_width_chars(
        cell.widget,
        cell.column == CKeyPanel::KEY_COL_DESCRIPTION ? std::min(chars, kDescriptionMinimum) : chars, chars);
}

void show_text(Cell& cell, const Glib::ustring& text, bool highlighted) {
    const auto& highlight = cell.state->highlight;
    if (highlighted && highlight && highlight->match(text))
        glyph_cell::set_markup(cell.widget, highlight_markup(text, highlight).c_str());
    else
        glyph_cell::set_text(cell.widget, text.c_str());
}

void mark_error(Cell& cell, bool error) {
    if (error == cell.error)
        return;
    cell.error = error;
    if (has_choices(cell.column))
        choice_cell::set_css_class(cell.widget, "error", error);
    else if (error)
        gtk_widget_add_css_class(cell.widget, "error");
    else
        gtk_widget_remove_css_class(cell.widget, "error");
}

void draw(Cell& cell) {
    const CKey* key = cell.key ? CKey::of_instance(cell.key) : nullptr;
    if (key == nullptr) {
        if (has_choices(cell.column))
            choice_cell::choose(cell.widget, -1);
        else
            show_text(cell, {}, false);
        return;
    }
    switch (cell.column) {
    case CKeyPanel::KEY_COL_ID: {
        char text[16];
        std::snprintf(text, sizeof(text), "%u", key->id());
        show_text(cell, text, false);
        break;
    }
    case CKeyPanel::KEY_COL_TYPE:
        show_text(cell, card_type_abbr(key->card_type()), false);
        break;
    case CKeyPanel::KEY_COL_ATTR:
        // Any other value reads as "Normal", as the attribute's style class has it.
        choice_cell::choose(cell.widget,
                            static_cast<int>(key->attr() < kKeyAttrCount ? key->attr() : KA_NONE));
        break;
    case CKeyPanel::KEY_COL_NUMBER:
        set_width(cell, number_width(shown_format()));
        show_text(cell, format_key_number(key->number(), shown_format()), true);
        break;
    case CKeyPanel::KEY_COL_SHORT:
        choice_cell::choose(cell.widget, key->is_short() ? 1 : 0);
        break;
    case CKeyPanel::KEY_COL_CREATED:
        show_text(cell, created_text(key->created()), false);
        break;
    default:
        show_text(cell, key->description(), true);
        break;
    }
    mark_error(cell, (key->key_different() & different_bit(cell.column)) != 0);
}

// Any change of a key draws its cells again: keys change one at a time, by the user or a comparison.
void on_key_notify(GObject* key, GParamSpec*, gpointer data) {
    const auto& watched = static_cast<CCells::State*>(data)->watched;
    if (const auto found = watched.find(key); found != watched.end())
        for (Cell* cell : found->second.cells)
            draw(*cell);
}

void set_key(Cell& cell, GObject* key) {
    auto& watched = cell.state->watched;
    if (cell.key != nullptr) {
        const auto found = watched.find(cell.key);
        auto& cells = found->second.cells;
        cells.erase(std::find(cells.begin(), cells.end(), &cell));
        if (cells.empty()) {
            g_signal_handler_disconnect(cell.key, found->second.handler);
            g_object_unref(cell.key);
            watched.erase(found);
        }
    }
    cell.key = key;
    if (key != nullptr) {
        auto [found, added] = watched.try_emplace(key);
        if (added)
            found->second.handler =
                g_signal_connect(g_object_ref(key), "notify", G_CALLBACK(on_key_notify), cell.state.get());
        found->second.cells.push_back(&cell);
    }
}

// Shows the key the cell's row shows now, and follows its changes.
void follow_row(Cell& cell) {
    GObject* key = CKeyRowModel::key_of_row(cell.row);
    if (key == cell.key)
        return;
    set_key(cell, key);
    draw(cell);
}

void unbind(Cell& cell) {
    if (cell.row == nullptr)
        return;
    cell.row = nullptr;
    set_key(cell, nullptr);
    auto& bound = cell.state->bound;
    bound[cell.bound_index] = bound.back();
    bound[cell.bound_index]->bound_index = cell.bound_index;
    bound.pop_back();
}

void free_cell(gpointer data) {
    auto* cell = static_cast<Cell*>(data);
    unbind(*cell);
    delete cell;
}

struct FactoryData {
    Column column;
    std::shared_ptr<CCells::State> state;
    std::vector<choice_cell::Choice> choices; // in the columns of few values
};

void on_setup(GtkSignalListItemFactory*, GtkListItem* list_item, gpointer data) {
    const auto& factory = *static_cast<FactoryData*>(data);
    const int width_chars = kColumns[factory.column].width_chars;
    // A text wider than its column (a long description, a column made narrow) ends in an ellipsis.
    GtkWidget* widget = has_choices(factory.column) ? choice_cell::create(factory.choices, width_chars)
                                                    : glyph_cell::create();
    auto* cell = new Cell{widget, factory.column, factory.state};
    if (!has_choices(factory.column))
        set_width(*cell, static_cast<guint>(width_chars));
    gtk_list_item_set_child(list_item, widget);
    g_object_set_data_full(G_OBJECT(list_item), kCellData, cell, free_cell);
}

void on_bind(GtkSignalListItemFactory*, GtkListItem* list_item, gpointer) {
    auto* cell = static_cast<Cell*>(g_object_get_data(G_OBJECT(list_item), kCellData));
    unbind(*cell);
    cell->row = G_OBJECT(gtk_list_item_get_item(list_item));
    if (cell->row == nullptr) {
        draw(*cell);
        return;
    }
    cell->bound_index = cell->state->bound.size();
    cell->state->bound.push_back(cell);
    follow_row(*cell);
}

void on_unbind(GtkSignalListItemFactory*, GtkListItem* list_item, gpointer) {
    unbind(*static_cast<Cell*>(g_object_get_data(G_OBJECT(list_item), kCellData)));
}

void free_factory_data(gpointer data, GClosure*) {
    delete static_cast<FactoryData*>(data);
}

template <typename T>
int order(T a, T b) {
    return a < b ? GTK_ORDERING_SMALLER : (b < a ? GTK_ORDERING_LARGER : GTK_ORDERING_EQUAL);
}

// A column's sorter compares two keys as the table's order does.
template <Column C>
int compare_keys(gconstpointer a, gconstpointer b, gpointer) {
    const CKey* ka = CKey::of_instance(static_cast<GObject*>(const_cast<gpointer>(a)));
    const CKey* kb = CKey::of_instance(static_cast<GObject*>(const_cast<gpointer>(b)));
    if (!ka || !kb)
        return order(ka != nullptr, kb != nullptr);
    return order(compare_in_column(*ka, *kb, C), 0);
}

Glib::RefPtr<Gtk::Sorter> custom_sorter(GCompareDataFunc compare) {
    return Glib::wrap(GTK_SORTER(gtk_custom_sorter_new(compare, nullptr, nullptr)));
}

} // namespace

CCells::CCells() : m_state(std::make_shared<State>()) {}

CCells::~CCells() = default;

Glib::RefPtr<Gtk::ListItemFactory> CCells::make_factory(Column column) {
    GtkListItemFactory* factory = gtk_signal_list_item_factory_new();
    auto* data = new FactoryData{
        column, m_state, has_choices(column) ? make_choices(column) : std::vector<choice_cell::Choice>{}};
    g_signal_connect_data(factory, "setup", G_CALLBACK(on_setup), data, free_factory_data, GConnectFlags{});
    g_signal_connect(factory, "bind", G_CALLBACK(on_bind), nullptr);
    g_signal_connect(factory, "unbind", G_CALLBACK(on_unbind), nullptr);
    return Glib::wrap(factory);
}

void CCells::set_highlight(Glib::RefPtr<Glib::Regex> highlight) {
    m_state->highlight = std::move(highlight);
}

void CCells::redraw() {
    for (Cell* cell : m_state->bound)
        draw(*cell);
}

void CCells::redraw_highlighted() {
    for (Cell* cell : m_state->bound)
        if (cell->column == CKeyPanel::KEY_COL_NUMBER || cell->column == CKeyPanel::KEY_COL_DESCRIPTION)
            draw(*cell);
}

void CCells::follow_keys() {
    for (Cell* cell : m_state->bound)
        follow_row(*cell);
}

void set_shown_format(key_format format) {
    g_shown_format = format;
}

key_format shown_format() {
    return g_shown_format;
}

Glib::ustring column_id(Column column) {
    return kColumns[column].id;
}

Glib::ustring column_title(Column column) {
    return _(kColumns[column].title);
}

unsigned int different_bit(Column column) {
    return column == CKeyPanel::KEY_COL_ID ? 0u : 1u << (column - CKeyPanel::KEY_COL_TYPE);
}

SortValue sort_value(const CKey& key, Column column) {
    switch (column) {
    case CKeyPanel::KEY_COL_ID:
        return key.id();
    case CKeyPanel::KEY_COL_TYPE:
        return key.card_type();
    case CKeyPanel::KEY_COL_ATTR:
        return key.attr();
    case CKeyPanel::KEY_COL_NUMBER: {
        const NumberSortKey number = number_sort_key(key.number(), shown_format());
        return SortValue{number.present} << 64 | number.value;
    }
    case CKeyPanel::KEY_COL_SHORT:
        return key.is_short();
    case CKeyPanel::KEY_COL_CREATED:
        // Earlier times first: the sign bit flipped orders signed values as unsigned ones.
        return static_cast<std::uint64_t>(key.created()) ^ (std::uint64_t{1} << 63);
    default:
        return 0;
    }
}

int compare_in_column(const CKey& a, const CKey& b, Column column) {
    if (column == CKeyPanel::KEY_COL_DESCRIPTION) {
        const int c = compare_text_caseless(a.description().raw(), b.description().raw());
        return (c > 0) - (c < 0);
    }
    const SortValue va = sort_value(a, column);
    const SortValue vb = sort_value(b, column);
    return (va > vb) - (va < vb);
}

Glib::RefPtr<Gtk::Sorter> make_sorter(Column column) {
    static constexpr GCompareDataFunc kCompare[CKeyPanel::KEY_COL_COUNT] = {
        compare_keys<CKeyPanel::KEY_COL_ID>,          compare_keys<CKeyPanel::KEY_COL_TYPE>,
        compare_keys<CKeyPanel::KEY_COL_ATTR>,        compare_keys<CKeyPanel::KEY_COL_NUMBER>,
        compare_keys<CKeyPanel::KEY_COL_SHORT>,       compare_keys<CKeyPanel::KEY_COL_CREATED>,
        compare_keys<CKeyPanel::KEY_COL_DESCRIPTION>,
    };
    return custom_sorter(kCompare[column]);
}

Glib::ustring created_text(std::int64_t created) {
    // Keys imported from a file without the column, or with a time that did not read, keep 0.
    if (created == 0)
        return {};
    const auto time = static_cast<std::time_t>(created);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return {};
    char text[32];
    const std::size_t n = std::strftime(text, sizeof(text), "%d.%m.%Y %H:%M", &local);
    return Glib::ustring(text, text + n);
}

} // namespace key_cells
