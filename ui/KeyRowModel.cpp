#include "ui/KeyRowModel.h"

#include <gio/gio.h>

#include <vector>

#include "ui/ArrayListModel.h"

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
    CKeyRowModel* owner;
    GListModel* source;
    gulong changed_handler;
    std::vector<GObject*>* keys;       // one reference each
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
    return static_cast<guint>(reinterpret_cast<KestrixKeyRows*>(model)->keys->size());
}

static gpointer kestrix_key_rows_get_item(GListModel* model, guint position) {
    auto* self = reinterpret_cast<KestrixKeyRows*>(model);
    if (position >= self->keys->size())
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
    if (self->source != nullptr) {
        g_signal_handler_disconnect(self->source, self->changed_handler);
        g_clear_object(&self->source);
    }
    drop_rows_from(self, 0);
    array_list_model::clear(*self->keys);
    G_OBJECT_CLASS(kestrix_key_rows_parent_class)->dispose(object);
}

static void kestrix_key_rows_finalize(GObject* object) {
    auto* self = reinterpret_cast<KestrixKeyRows*>(object);
    delete self->keys;
    delete self->rows;
    G_OBJECT_CLASS(kestrix_key_rows_parent_class)->finalize(object);
}

static void kestrix_key_rows_class_init(KestrixKeyRowsClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_key_rows_dispose;
    G_OBJECT_CLASS(klass)->finalize = kestrix_key_rows_finalize;
}

static void kestrix_key_rows_init(KestrixKeyRows* self) {
    self->keys = new std::vector<GObject*>;
    self->rows = new std::vector<KestrixKeyRow*>;
}

} // extern "C"

namespace {

KestrixKeyRows* rows_of(const Glib::RefPtr<Gio::ListModel>& model) {
    return reinterpret_cast<KestrixKeyRows*>(model->gobj());
}

KestrixKeyRow* as_row(GObject* object) {
    return object != nullptr && G_TYPE_CHECK_INSTANCE_TYPE(object, kestrix_key_row_get_type())
               ? reinterpret_cast<KestrixKeyRow*>(object)
               : nullptr;
}

} // namespace

struct CKeyRowModelAccess {
    static void on_source_changed(GListModel* source, guint position, guint removed, guint added,
                                  gpointer data) {
        auto* self = static_cast<KestrixKeyRows*>(data);
        CKeyRowModel& owner = *self->owner;
        owner.m_before.emit(position, removed);

        auto& keys = *self->keys;
        const guint old_count = static_cast<guint>(keys.size());
        array_list_model::splice(keys, source, position, removed, added);

        // Only the count of rows changes: rows at the end come or go.
        const guint new_count = static_cast<guint>(keys.size());
        if (new_count < old_count) {
            drop_rows_from(self, new_count);
            g_list_model_items_changed(G_LIST_MODEL(self), new_count, old_count - new_count, 0);
        } else if (new_count > old_count) {
            g_list_model_items_changed(G_LIST_MODEL(self), old_count, 0, new_count - old_count);
        }
        owner.m_after.emit(position, removed, added);
    }
};

CKeyRowModel::CKeyRowModel(const Glib::RefPtr<Gio::ListModel>& keys) {
    auto* self = static_cast<KestrixKeyRows*>(g_object_new(kestrix_key_rows_get_type(), nullptr));
    self->owner = this;
    self->source = G_LIST_MODEL(g_object_ref(keys->gobj()));
    array_list_model::fill(*self->keys, self->source);
    self->changed_handler = g_signal_connect(self->source, "items-changed",
                                             G_CALLBACK(CKeyRowModelAccess::on_source_changed), self);
    m_rows = Glib::wrap(G_LIST_MODEL(self));
}

CKeyRowModel::~CKeyRowModel() {
    // The view may hold the rows a while longer: they keep their keys but follow no more changes.
    KestrixKeyRows* self = rows_of(m_rows);
    if (self->source != nullptr) {
        g_signal_handler_disconnect(self->source, self->changed_handler);
        g_clear_object(&self->source);
    }
    self->owner = nullptr;
}

guint CKeyRowModel::size() const {
    return static_cast<guint>(rows_of(m_rows)->keys->size());
}

GObject* CKeyRowModel::key_at(guint position) const {
    const auto& keys = *rows_of(m_rows)->keys;
    return position < keys.size() ? keys[position] : nullptr;
}

GObject* CKeyRowModel::key_of_row(GObject* object) {
    const KestrixKeyRow* row = as_row(object);
    if (row == nullptr || row->model == nullptr)
        return nullptr;
    const auto& keys = *row->model->keys;
    return row->position < keys.size() ? keys[row->position] : nullptr;
}

guint CKeyRowModel::position_of_row(GObject* object) {
    const KestrixKeyRow* row = as_row(object);
    return row ? row->position : G_MAXUINT;
}
