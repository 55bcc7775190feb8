// Key table columns: cells bound to the keys' properties through expressions (so that a changed key, a new
// filter text or another key format draws them again), and the sorters and filters of the table.
#include "ui/CKeyPanelCells.h"
#include "ui/Highlight.h"

#include <glibmm/markup.h>
#include <gtk/gtk.h>
#include <gtkmm/label.h>
#include <gtkmm/signallistitemfactory.h>

#include <array>
#include <atomic>
#include <ctime>

#include "app/i18n.h"
#include "keys/KeyNumber.h"

namespace key_cells {
namespace {

using Column = CKeyPanel::Column;

std::atomic<key_format> g_shown_format{KF_HEX};

struct ColumnInfo {
    const char* id;
    const char* title;
    const char* watched; // the key property the cell text follows
};

// Ids are the settings' column names; titles are translated where shown.
constexpr std::array<ColumnInfo, CKeyPanel::KEY_COL_COUNT> kColumns{{
    {"ID", N_("ID"), "key-different"},
    {"Type", N_("Type"), "type"},
    {"Attr", N_("Attr"), "attr"},
    {"Number", N_("Number"), "number"},
    {"Short", N_("Short"), "short"},
    {"Created", N_("Added"), "created"},
    {"Description", N_("Description"), "key-description"},
}};

const CKey* key_of(const GValue& value) {
    if (!G_VALUE_HOLDS_OBJECT(&value))
        return nullptr;
    return CKey::of_instance(static_cast<GObject*>(g_value_get_object(&value)));
}

// Expression closures get the values themselves: the first is the object evaluated on, then the
// parameters. The callback is called through this marshaller with the closure's data.
using ValuesFn = void (*)(GValue* result, guint n_values, const GValue* values, gpointer data);

void marshal_values(GClosure* closure, GValue* result, guint n_values, const GValue* values, gpointer,
                    gpointer) {
    auto fn = reinterpret_cast<ValuesFn>(reinterpret_cast<GCClosure*>(closure)->callback);
    fn(result, n_values, values, closure->data);
}

GtkExpression* closure_expression(GType type, std::initializer_list<GtkExpression*> params, ValuesFn fn,
                                  gpointer data = nullptr, GClosureNotify destroy = nullptr) {
    std::vector<GtkExpression*> list(params);
    return gtk_cclosure_expression_new(type, marshal_values, static_cast<guint>(list.size()), list.data(),
                                       G_CALLBACK(fn), data, destroy);
}

GtkExpression* key_property(GtkExpression* key, const char* property) {
    return gtk_property_expression_new(CKey::object_type(), key, property);
}

// The number as the tables show it, for the number sorter and filter (evaluated on the key itself).
void number_text_value(GValue* result, guint, const GValue* values, gpointer) {
    const CKey* key = key_of(values[0]);
    g_value_set_string(result, key ? format_key_number(key->number(), shown_format()).c_str() : "");
}

GtkExpression* number_text_expression() {
    return closure_expression(G_TYPE_STRING, {key_property(nullptr, "number")}, number_text_value);
}

// A cell's closures know their column and the table's highlight.
struct CellInfo {
    Column column;
    const Glib::RefPtr<Glib::Regex>* highlight;
};

void free_cell_info(gpointer data, GClosure*) {
    delete static_cast<CellInfo*>(data);
}

Glib::ustring cell_text(const CKey& key, const CellInfo& info) {
    switch (info.column) {
    case CKeyPanel::KEY_COL_ID:
        return Glib::ustring::format(key.id());
    case CKeyPanel::KEY_COL_TYPE:
        return card_type_abbr(key.card_type());
    case CKeyPanel::KEY_COL_ATTR:
        return key_attr_name(key.attr());
    case CKeyPanel::KEY_COL_NUMBER:
        return highlight_markup(format_key_number(key.number(), shown_format()), *info.highlight);
    case CKeyPanel::KEY_COL_SHORT:
        return key.is_short() ? "*" : " ";
    case CKeyPanel::KEY_COL_CREATED:
        return created_text(key.created());
    case CKeyPanel::KEY_COL_DESCRIPTION:
        return highlight_markup(key.description(), *info.highlight);
    default:
        return {};
    }
}

// values[1] is the list item's key.
void cell_text_value(GValue* result, guint, const GValue* values, gpointer data) {
    const CKey* key = key_of(values[1]);
    g_value_set_string(result, key ? cell_text(*key, *static_cast<CellInfo*>(data)).c_str() : "");
}

// The cell's style classes: the attribute's for the attribute cell, and "error" while the key differs
// from the other table in this column.
void cell_classes_value(GValue* result, guint, const GValue* values, gpointer data) {
    const CKey* key = key_of(values[1]);
    const auto& info = *static_cast<CellInfo*>(data);
    std::array<const char*, 3> classes{nullptr, nullptr, nullptr};
    std::size_t n = 0;
    if (key && info.column == CKeyPanel::KEY_COL_ATTR)
        classes[n++] = key_attr_css_class(key->attr());
    if (key && (key->key_different() & different_bit(info.column)) != 0)
        classes[n++] = "error";
    g_value_set_boxed(result, classes.data());
}

GtkExpression* list_item_key() {
    return gtk_property_expression_new(GTK_TYPE_LIST_ITEM, nullptr, "item");
}

void setup_cell(const Glib::RefPtr<Gtk::ListItem>& list_item, Column column,
                const Glib::RefPtr<CMyProp>& prop, const char* query_property,
                const Glib::RefPtr<Glib::Regex>* highlight) {
    auto* label = Gtk::make_managed<Gtk::Label>();
    label->set_xalign(0.0f);
    const bool markup = column == CKeyPanel::KEY_COL_NUMBER || column == CKeyPanel::KEY_COL_DESCRIPTION;
    label->set_use_markup(markup);
    list_item->set_child(*label);

    // The text follows the key's own property and, where it is highlighted, the table's filter text.
    GtkExpression* text = nullptr;
    auto* text_info = new CellInfo{column, highlight};
    GtkExpression* watched = key_property(list_item_key(), kColumns[column].watched);
    if (markup) {
        GtkExpression* query = gtk_property_expression_new(
            G_OBJECT_TYPE(prop->gobj()), gtk_object_expression_new(G_OBJECT(prop->gobj())), query_property);
        text = closure_expression(G_TYPE_STRING, {list_item_key(), watched, query}, cell_text_value,
                                  text_info, free_cell_info);
    } else {
        text = closure_expression(G_TYPE_STRING, {list_item_key(), watched}, cell_text_value, text_info,
                                  free_cell_info);
    }
    gtk_expression_bind(text, G_OBJECT(label->gobj()), "label", G_OBJECT(list_item->gobj()));

    if (column == CKeyPanel::KEY_COL_ID)
        return;
    auto* class_info = new CellInfo{column, highlight};
    GtkExpression* classes =
        column == CKeyPanel::KEY_COL_ATTR
            ? closure_expression(G_TYPE_STRV,
                                 {list_item_key(), key_property(list_item_key(), "key-different"),
                                  key_property(list_item_key(), "attr")},
                                 cell_classes_value, class_info, free_cell_info)
            : closure_expression(G_TYPE_STRV,
                                 {list_item_key(), key_property(list_item_key(), "key-different")},
                                 cell_classes_value, class_info, free_cell_info);
    gtk_expression_bind(classes, G_OBJECT(label->gobj()), "css-classes", G_OBJECT(list_item->gobj()));
}

template <typename T>
int order(T a, T b) {
    return a < b ? GTK_ORDERING_SMALLER : (b < a ? GTK_ORDERING_LARGER : GTK_ORDERING_EQUAL);
}

// Numeric sorters read the keys' values directly: a sort of a large table compares millions of pairs.
template <typename Value>
int compare_keys(gconstpointer a, gconstpointer b, gpointer) {
    const CKey* ka = CKey::of_instance(G_OBJECT(const_cast<gpointer>(a)));
    const CKey* kb = CKey::of_instance(G_OBJECT(const_cast<gpointer>(b)));
    if (!ka || !kb)
        return order(ka != nullptr, kb != nullptr);
    return order(Value::of(*ka), Value::of(*kb));
}

struct IdValue {
    static std::uint32_t of(const CKey& key) { return key.id(); }
};
struct TypeValue {
    static std::uint32_t of(const CKey& key) { return key.card_type(); }
};
struct AttrValue {
    static std::uint32_t of(const CKey& key) { return key.attr(); }
};
struct ShortValue {
    static bool of(const CKey& key) { return key.is_short(); }
};
struct CreatedValue {
    static std::int64_t of(const CKey& key) { return key.created(); }
};

Glib::RefPtr<Gtk::Sorter> custom_sorter(GCompareDataFunc compare) {
    return Glib::wrap(GTK_SORTER(gtk_custom_sorter_new(compare, nullptr, nullptr)));
}

} // namespace

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

Glib::RefPtr<Gtk::ListItemFactory> make_factory(Column column, const Glib::RefPtr<CMyProp>& prop,
                                                const char* query_property,
                                                const Glib::RefPtr<Glib::Regex>* highlight) {
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect(
        [column, prop, query_property, highlight](const Glib::RefPtr<Gtk::ListItem>& list_item) {
            setup_cell(list_item, column, prop, query_property, highlight);
        });
    return factory;
}

Glib::RefPtr<Gtk::Sorter> make_sorter(Column column) {
    switch (column) {
    case CKeyPanel::KEY_COL_ID:
        return custom_sorter(compare_keys<IdValue>);
    case CKeyPanel::KEY_COL_TYPE:
        return custom_sorter(compare_keys<TypeValue>);
    case CKeyPanel::KEY_COL_ATTR:
        return custom_sorter(compare_keys<AttrValue>);
    case CKeyPanel::KEY_COL_NUMBER:
        return Glib::wrap(GTK_SORTER(gtk_string_sorter_new(number_text_expression())));
    case CKeyPanel::KEY_COL_SHORT:
        return custom_sorter(compare_keys<ShortValue>);
    case CKeyPanel::KEY_COL_CREATED:
        return custom_sorter(compare_keys<CreatedValue>);
    default:
        return Glib::wrap(GTK_SORTER(gtk_string_sorter_new(key_property(nullptr, "key-description"))));
    }
}

Glib::ustring created_text(std::int64_t created) {
    const auto time = static_cast<std::time_t>(created);
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr)
        return {};
    char text[32];
    const std::size_t n = std::strftime(text, sizeof(text), "%d.%m.%Y %H:%M", &local);
    return Glib::ustring(text, text + n);
}

} // namespace key_cells
