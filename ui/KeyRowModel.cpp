#include "ui/KeyRowModel.h"

#include <gio/gio.h>

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
    CKeyRowModel* owner;
    const std::vector<GObject*>* keys; // the order's shown keys; null once the owner is gone
    guint count_left;                  // the count of rows once the owner is gone
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
    const auto* self = reinterpret_cast<KestrixKeyRows*>(model);
    return self->keys ? static_cast<guint>(self->keys->size()) : self->count_left;
}

static gpointer kestrix_key_rows_get_item(GListModel* model, guint position) {
    auto* self = reinterpret_cast<KestrixKeyRows*>(model);
    if (position >= kestrix_key_rows_get_n_items(model))
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

CKeyRowModel::CKeyRowModel(CKeyTableOrder& order) {
    auto* self = static_cast<KestrixKeyRows*>(g_object_new(kestrix_key_rows_get_type(), nullptr));
    self->owner = this;
    self->keys = &order.shown();
    m_rows = Glib::wrap(G_LIST_MODEL(self));
    m_order_before = order.signal_before_change().connect([this](guint position, guint removed) {
        m_before.emit(position, removed);
        m_old_count = size();
    });
    m_order_after = order.signal_after_change().connect([this](guint position, guint removed, guint added) {
        // Only the count of rows changes: rows at the end come or go.
        KestrixKeyRows* rows = rows_of(m_rows);
        const guint new_count = size();
        if (new_count < m_old_count) {
            drop_rows_from(rows, new_count);
            g_list_model_items_changed(G_LIST_MODEL(rows), new_count, m_old_count - new_count, 0);
        } else if (new_count > m_old_count) {
            g_list_model_items_changed(G_LIST_MODEL(rows), m_old_count, 0, new_count - m_old_count);
        }
        m_after.emit(position, removed, added);
    });
}

CKeyRowModel::~CKeyRowModel() {
    // The view may hold the rows a while longer: they stay as many, but show no key.
    m_order_before.disconnect();
    m_order_after.disconnect();
    KestrixKeyRows* self = rows_of(m_rows);
    self->owner = nullptr;
    self->count_left = size();
    self->keys = nullptr;
}

guint CKeyRowModel::size() const {
    const auto* keys = rows_of(m_rows)->keys;
    return keys ? static_cast<guint>(keys->size()) : 0;
}

GObject* CKeyRowModel::key_at(guint position) const {
    const auto* keys = rows_of(m_rows)->keys;
    return keys && position < keys->size() ? (*keys)[position] : nullptr;
}

GObject* CKeyRowModel::key_of_row(GObject* object) {
    const KestrixKeyRow* row = as_row(object);
    if (row == nullptr || row->model == nullptr || row->model->keys == nullptr)
        return nullptr;
    const auto& keys = *row->model->keys;
    return row->position < keys.size() ? keys[row->position] : nullptr;
}

guint CKeyRowModel::position_of_row(GObject* object) {
    const KestrixKeyRow* row = as_row(object);
    return row ? row->position : G_MAXUINT;
}
