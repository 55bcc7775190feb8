#include "ui/KeyRowModel.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

#include "ui/KeyTableOrder.h"

extern "C" {

struct KestrixKeyRows;

// A row: its position, and the model that knows which key is there now (cleared when the model goes).
struct KestrixKeyRow {
    GObject parent;
    KestrixKeyRows* model;
    guint position;
};

struct KestrixKeyRowClass {
    GObjectClass parent_class;
};

G_DEFINE_TYPE(KestrixKeyRow, kestrix_key_row, G_TYPE_OBJECT)

static void kestrix_key_row_class_init(KestrixKeyRowClass*) {}
static void kestrix_key_row_init(KestrixKeyRow*) {}

struct KestrixKeyRows {
    GObject parent;
    const std::vector<GObject*>* keys; // the order's shown keys; null once the owner is gone
    guint offset;                      // the position of the first row among the keys shown
    guint capacity;                    // at most this many rows
    guint shown;                       // the last rows that are never left empty (see set_window)
    guint count;                       // the rows as last announced
    std::vector<KestrixKeyRow*>* rows; // made when first asked for; one reference each
};

struct KestrixKeyRowsClass {
    GObjectClass parent_class;
};

static void kestrix_key_rows_iface_init(GListModelInterface* iface);

G_DEFINE_TYPE_WITH_CODE(KestrixKeyRows, kestrix_key_rows, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(G_TYPE_LIST_MODEL, kestrix_key_rows_iface_init))

static GType kestrix_key_rows_get_item_type(GListModel*) {
    return kestrix_key_row_get_type();
}

static guint kestrix_key_rows_get_n_items(GListModel* model) {
    return reinterpret_cast<KestrixKeyRows*>(model)->count;
}

static gpointer kestrix_key_rows_get_item(GListModel* model, guint position) {
    auto* self = reinterpret_cast<KestrixKeyRows*>(model);
    if (position >= self->count)
        return nullptr;
    auto& rows = *self->rows;
    if (rows.size() <= position)
        rows.resize(position + 1, nullptr);
    if (rows[position] == nullptr) {
        auto* row = static_cast<KestrixKeyRow*>(g_object_new(kestrix_key_row_get_type(), nullptr));
        row->model = self;
        row->position = position;
        rows[position] = row;
    }
    return g_object_ref(rows[position]);
}

static void kestrix_key_rows_iface_init(GListModelInterface* iface) {
    iface->get_item_type = kestrix_key_rows_get_item_type;
    iface->get_n_items = kestrix_key_rows_get_n_items;
    iface->get_item = kestrix_key_rows_get_item;
}

static void drop_rows_from(KestrixKeyRows* self, std::size_t count) {
    auto& rows = *self->rows;
    for (std::size_t i = count; i < rows.size(); ++i)
        if (rows[i] != nullptr) {
            rows[i]->model = nullptr;
            g_object_unref(rows[i]);
        }
    if (rows.size() > count)
        rows.resize(count);
}

static void kestrix_key_rows_dispose(GObject* object) {
    auto* self = reinterpret_cast<KestrixKeyRows*>(object);
    drop_rows_from(self, 0);
    G_OBJECT_CLASS(kestrix_key_rows_parent_class)->dispose(object);
}

static void kestrix_key_rows_finalize(GObject* object) {
    auto* self = reinterpret_cast<KestrixKeyRows*>(object);
    delete self->rows;
    G_OBJECT_CLASS(kestrix_key_rows_parent_class)->finalize(object);
}

static void kestrix_key_rows_class_init(KestrixKeyRowsClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_key_rows_dispose;
    G_OBJECT_CLASS(klass)->finalize = kestrix_key_rows_finalize;
}

static void kestrix_key_rows_init(KestrixKeyRows* self) {
    self->rows = new std::vector<KestrixKeyRow*>;
    self->capacity = G_MAXUINT;
}

// The view's model: the rows of the window, and a selection model that is the window's view of the
// selection over all rows. GTK extends a selection (Shift) from the last row it selected, by window
// position; the window may have moved since, so that row is kept here as a position among all rows.
struct KestrixKeyRowWindow {
    KestrixKeyRows parent;
    GtkSelectionModel* all; // the selection over all rows
    gulong all_changed;     // its selection-changed handler
    guint gtk_anchor;       // the window position GTK extends from, as it last selected
    guint anchor;           // the same row among all rows, as it was then
};

struct KestrixKeyRowWindowClass {
    KestrixKeyRowsClass parent_class;
};

static void kestrix_key_row_window_selection_init(GtkSelectionModelInterface* iface);

G_DEFINE_TYPE_WITH_CODE(KestrixKeyRowWindow, kestrix_key_row_window, kestrix_key_rows_get_type(),
                        G_IMPLEMENT_INTERFACE(GTK_TYPE_SELECTION_MODEL,
                                              kestrix_key_row_window_selection_init))

static KestrixKeyRowWindow* as_window(GtkSelectionModel* model) {
    return reinterpret_cast<KestrixKeyRowWindow*>(model);
}

static guint window_offset(GtkSelectionModel* model) {
    return as_window(model)->parent.offset;
}

static void remember_anchor(GtkSelectionModel* model, guint position) {
    KestrixKeyRowWindow* self = as_window(model);
    self->gtk_anchor = position;
    self->anchor = self->parent.offset + position;
}

// The rows GTK means by a range it selects from its anchor: the range runs from the anchor to the row it
// was asked for, which is the range's other end. With the window moved since, the anchor is elsewhere now.
static void extended_range(GtkSelectionModel* model, guint position, guint n_items, guint& first,
                           guint& count) {
    KestrixKeyRowWindow* self = as_window(model);
    const guint offset = self->parent.offset;
    if (self->anchor == GTK_INVALID_LIST_POSITION || self->gtk_anchor == GTK_INVALID_LIST_POSITION ||
        (position != self->gtk_anchor && position + n_items - 1 != self->gtk_anchor)) {
        first = offset + position;
        count = n_items;
        return;
    }
    const guint cursor = offset + (position == self->gtk_anchor ? position + n_items - 1 : position);
    first = std::min(cursor, self->anchor);
    count = std::max(cursor, self->anchor) - first + 1;
}

static gboolean window_is_selected(GtkSelectionModel* model, guint position) {
    return gtk_selection_model_is_selected(as_window(model)->all, window_offset(model) + position);
}

static GtkBitset* window_get_selection_in_range(GtkSelectionModel* model, guint position, guint n_items) {
    const guint offset = window_offset(model);
    GtkBitset* all =
        gtk_selection_model_get_selection_in_range(as_window(model)->all, offset + position, n_items);
    GtkBitset* shown = gtk_bitset_copy(all);
    gtk_bitset_unref(all);
    gtk_bitset_shift_left(shown, offset);
    return shown;
}

static gboolean window_select_item(GtkSelectionModel* model, guint position, gboolean unselect_rest) {
    remember_anchor(model, position);
    return gtk_selection_model_select_item(as_window(model)->all, window_offset(model) + position,
                                           unselect_rest);
}

static gboolean window_unselect_item(GtkSelectionModel* model, guint position) {
    remember_anchor(model, position);
    return gtk_selection_model_unselect_item(as_window(model)->all, window_offset(model) + position);
}

static gboolean window_select_range(GtkSelectionModel* model, guint position, guint n_items,
                                    gboolean unselect_rest) {
    guint first = 0;
    guint count = 0;
    extended_range(model, position, n_items, first, count);
    return gtk_selection_model_select_range(as_window(model)->all, first, count, unselect_rest);
}

static gboolean window_unselect_range(GtkSelectionModel* model, guint position, guint n_items) {
    guint first = 0;
    guint count = 0;
    extended_range(model, position, n_items, first, count);
    return gtk_selection_model_unselect_range(as_window(model)->all, first, count);
}

static gboolean window_select_all(GtkSelectionModel* model) {
    return gtk_selection_model_select_all(as_window(model)->all);
}

static gboolean window_unselect_all(GtkSelectionModel* model) {
    return gtk_selection_model_unselect_all(as_window(model)->all);
}

static gboolean window_set_selection(GtkSelectionModel* model, GtkBitset* selected, GtkBitset* mask) {
    const guint offset = window_offset(model);
    GtkBitset* all_selected = gtk_bitset_copy(selected);
    GtkBitset* all_mask = gtk_bitset_copy(mask);
    gtk_bitset_shift_right(all_selected, offset);
    gtk_bitset_shift_right(all_mask, offset);
    const gboolean done = gtk_selection_model_set_selection(as_window(model)->all, all_selected, all_mask);
    gtk_bitset_unref(all_mask);
    gtk_bitset_unref(all_selected);
    return done;
}

static void kestrix_key_row_window_selection_init(GtkSelectionModelInterface* iface) {
    iface->is_selected = window_is_selected;
    iface->get_selection_in_range = window_get_selection_in_range;
    iface->select_item = window_select_item;
    iface->unselect_item = window_unselect_item;
    iface->select_range = window_select_range;
    iface->unselect_range = window_unselect_range;
    iface->select_all = window_select_all;
    iface->unselect_all = window_unselect_all;
    iface->set_selection = window_set_selection;
}

// A change of the selection over all rows, as far as the window shows it.
static void on_all_selection_changed(GtkSelectionModel*, guint position, guint n_items, gpointer data) {
    auto* self = static_cast<KestrixKeyRowWindow*>(data);
    const guint offset = self->parent.offset;
    const guint first = std::max(position, offset);
    const guint end = std::min<guint64>(static_cast<guint64>(position) + n_items,
                                        static_cast<guint64>(offset) + self->parent.count);
    if (first < end)
        gtk_selection_model_selection_changed(GTK_SELECTION_MODEL(self), first - offset, end - first);
}

static void kestrix_key_row_window_dispose(GObject* object) {
    auto* self = reinterpret_cast<KestrixKeyRowWindow*>(object);
    if (self->all != nullptr) {
        g_signal_handler_disconnect(self->all, self->all_changed);
        g_clear_object(&self->all);
    }
    G_OBJECT_CLASS(kestrix_key_row_window_parent_class)->dispose(object);
}

static void kestrix_key_row_window_class_init(KestrixKeyRowWindowClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_key_row_window_dispose;
}

static void kestrix_key_row_window_init(KestrixKeyRowWindow* self) {
    self->gtk_anchor = GTK_INVALID_LIST_POSITION;
    self->anchor = GTK_INVALID_LIST_POSITION;
}

} // extern "C"

namespace {

KestrixKeyRows* rows_of(const Glib::RefPtr<Gio::ListModel>& model) {
    return reinterpret_cast<KestrixKeyRows*>(model->gobj());
}

KestrixKeyRowWindow* window_of(const Glib::RefPtr<Gtk::SelectionModel>& model) {
    return reinterpret_cast<KestrixKeyRowWindow*>(model->gobj());
}

KestrixKeyRow* as_row(GObject* object) {
    return object != nullptr && G_TYPE_CHECK_INSTANCE_TYPE(object, kestrix_key_row_get_type())
               ? reinterpret_cast<KestrixKeyRow*>(object)
               : nullptr;
}

// Sets the count of rows, announcing the rows that come or go at the end.
void set_count(KestrixKeyRows* rows, guint count) {
    const guint old_count = rows->count;
    rows->count = count;
    if (count < old_count) {
        drop_rows_from(rows, count);
        g_list_model_items_changed(G_LIST_MODEL(rows), count, old_count - count, 0);
    } else if (count > old_count) {
        g_list_model_items_changed(G_LIST_MODEL(rows), old_count, 0, count - old_count);
    }
}

} // namespace

CKeyRowModel::CKeyRowModel(CKeyTableOrder& order) {
    auto* rows = static_cast<KestrixKeyRows*>(g_object_new(kestrix_key_rows_get_type(), nullptr));
    rows->keys = &order.shown();
    rows->count = static_cast<guint>(order.shown().size());
    m_rows = Glib::wrap(G_LIST_MODEL(rows));
    m_selection = Gtk::MultiSelection::create(m_rows);

    auto* window =
        static_cast<KestrixKeyRowWindow*>(g_object_new(kestrix_key_row_window_get_type(), nullptr));
    window->parent.keys = &order.shown();
    window->parent.capacity = 0;
    window->all = GTK_SELECTION_MODEL(g_object_ref(m_selection->gobj()));
    window->all_changed =
        g_signal_connect(window->all, "selection-changed", G_CALLBACK(on_all_selection_changed), window);
    m_window = Glib::wrap(GTK_SELECTION_MODEL(window));

    m_order_before = order.signal_before_change().connect(
        [this](guint position, guint removed) { m_before.emit(position, removed); });
    m_order_after = order.signal_after_change().connect([this](guint position, guint removed, guint added) {
        // Only the counts of rows change: rows at the end come or go.
        update_counts(window_offset());
        m_after.emit(position, removed, added);
    });
}

CKeyRowModel::~CKeyRowModel() {
    // The view may hold the rows a while longer: they stay as many, but show no key.
    m_order_before.disconnect();
    m_order_after.disconnect();
    rows_of(m_rows)->keys = nullptr;
    window_of(m_window)->parent.keys = nullptr;
}

guint CKeyRowModel::size() const {
    const auto* keys = rows_of(m_rows)->keys;
    return keys ? static_cast<guint>(keys->size()) : 0;
}

GObject* CKeyRowModel::key_at(guint position) const {
    const auto* keys = rows_of(m_rows)->keys;
    return keys && position < keys->size() ? (*keys)[position] : nullptr;
}

void CKeyRowModel::set_window(guint offset, guint capacity, guint shown) {
    KestrixKeyRowWindow* model = window_of(m_window);
    KestrixKeyRows& window = model->parent;
    const guint old_offset = window.offset;
    // What the view shows of each row's selection now: the keys stay as they are, so only the rows that
    // show a key selected otherwise than the one before need telling.
    std::vector<bool> shown_selected(window.count);
    for (guint i = 0; i < window.count; ++i)
        shown_selected[i] = gtk_selection_model_is_selected(model->all, old_offset + i);
    window.offset = offset;
    window.capacity = capacity;
    window.shown = std::min(shown, capacity);
    update_counts(old_offset, &shown_selected);
}

guint CKeyRowModel::window_offset() const {
    return window_of(m_window)->parent.offset;
}

guint CKeyRowModel::window_count() const {
    return window_of(m_window)->parent.count;
}

void CKeyRowModel::update_counts(guint old_offset, const std::vector<bool>* shown_selected) {
    const guint total = size();
    set_count(rows_of(m_rows), total);

    KestrixKeyRowWindow* window = window_of(m_window);
    KestrixKeyRows& rows = window->parent;
    rows.offset = std::min(rows.offset, total > rows.shown ? total - rows.shown : 0);
    if (window->anchor != GTK_INVALID_LIST_POSITION && window->anchor >= total)
        window->anchor = GTK_INVALID_LIST_POSITION;
    const guint count = std::min(rows.capacity, total - rows.offset);
    // GTK's anchor goes with its row when rows go at the end.
    if (window->gtk_anchor != GTK_INVALID_LIST_POSITION && window->gtk_anchor >= count)
        window->gtk_anchor = GTK_INVALID_LIST_POSITION;
    set_count(&rows, count);
    if (rows.offset == old_offset || count == 0)
        return;
    // The rows that stayed show other keys now, selected or not. The view binds every row it is told of
    // again, each of its cells; told only of the rows whose selection it shows wrongly now, it leaves the
    // others to the cells, which follow their rows' keys themselves.
    guint first = 0;
    guint end = count;
    if (shown_selected != nullptr) {
        first = count;
        end = 0;
        for (guint i = 0; i < count; ++i) {
            const bool was = i < shown_selected->size() && (*shown_selected)[i];
            if (was != static_cast<bool>(gtk_selection_model_is_selected(window->all, rows.offset + i))) {
                first = std::min(first, i);
                end = i + 1;
            }
        }
    }
    if (first < end)
        gtk_selection_model_selection_changed(GTK_SELECTION_MODEL(window), first, end - first);
}

GObject* CKeyRowModel::key_of_row(GObject* object) {
    const KestrixKeyRow* row = as_row(object);
    if (row == nullptr || row->model == nullptr || row->model->keys == nullptr)
        return nullptr;
    const auto& keys = *row->model->keys;
    const std::size_t position = static_cast<std::size_t>(row->model->offset) + row->position;
    return position < keys.size() ? keys[position] : nullptr;
}
