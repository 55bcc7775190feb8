#include "ui/ArrayListModel.h"

#include <gio/gio.h>

extern "C" {

struct KestrixArrayListModel {
    GObject parent;
    GListModel* source;
    gulong changed_handler;
    std::vector<GObject*>* items; // one reference each
};

struct KestrixArrayListModelClass {
    GObjectClass parent_class;
};

static void kestrix_array_list_model_iface_init(GListModelInterface* iface);

G_DEFINE_TYPE_WITH_CODE(KestrixArrayListModel, kestrix_array_list_model, G_TYPE_OBJECT,
                        G_IMPLEMENT_INTERFACE(G_TYPE_LIST_MODEL, kestrix_array_list_model_iface_init))

static GType kestrix_array_list_model_get_item_type(GListModel* model) {
    return g_list_model_get_item_type(reinterpret_cast<KestrixArrayListModel*>(model)->source);
}

static guint kestrix_array_list_model_get_n_items(GListModel* model) {
    return static_cast<guint>(reinterpret_cast<KestrixArrayListModel*>(model)->items->size());
}

static gpointer kestrix_array_list_model_get_item(GListModel* model, guint position) {
    const auto& items = *reinterpret_cast<KestrixArrayListModel*>(model)->items;
    return position < items.size() ? g_object_ref(items[position]) : nullptr;
}

static void kestrix_array_list_model_iface_init(GListModelInterface* iface) {
    iface->get_item_type = kestrix_array_list_model_get_item_type;
    iface->get_n_items = kestrix_array_list_model_get_n_items;
    iface->get_item = kestrix_array_list_model_get_item;
}

static void on_source_items_changed(GListModel* source, guint position, guint removed, guint added,
                                    gpointer data) {
    auto* self = static_cast<KestrixArrayListModel*>(data);
    array_list_model::splice(*self->items, source, position, removed, added);
    g_list_model_items_changed(G_LIST_MODEL(self), position, removed, added);
}

static void kestrix_array_list_model_dispose(GObject* object) {
    auto* self = reinterpret_cast<KestrixArrayListModel*>(object);
    if (self->source != nullptr) {
        g_signal_handler_disconnect(self->source, self->changed_handler);
        g_clear_object(&self->source);
    }
    array_list_model::clear(*self->items);
    G_OBJECT_CLASS(kestrix_array_list_model_parent_class)->dispose(object);
}

static void kestrix_array_list_model_finalize(GObject* object) {
    delete reinterpret_cast<KestrixArrayListModel*>(object)->items;
    G_OBJECT_CLASS(kestrix_array_list_model_parent_class)->finalize(object);
}

static void kestrix_array_list_model_class_init(KestrixArrayListModelClass* klass) {
    G_OBJECT_CLASS(klass)->dispose = kestrix_array_list_model_dispose;
    G_OBJECT_CLASS(klass)->finalize = kestrix_array_list_model_finalize;
}

static void kestrix_array_list_model_init(KestrixArrayListModel* self) {
    self->items = new std::vector<GObject*>;
}

} // extern "C"

namespace array_list_model {

Glib::RefPtr<Gio::ListModel> create(const Glib::RefPtr<Gio::ListModel>& source) {
    auto* self =
        static_cast<KestrixArrayListModel*>(g_object_new(kestrix_array_list_model_get_type(), nullptr));
    self->source = G_LIST_MODEL(g_object_ref(source->gobj()));
    fill(*self->items, self->source);
    self->changed_handler =
        g_signal_connect(self->source, "items-changed", G_CALLBACK(on_source_items_changed), self);
    return Glib::wrap(G_LIST_MODEL(self));
}

void fill(std::vector<GObject*>& items, GListModel* source) {
    clear(items);
    const guint count = g_list_model_get_n_items(source);
    items.reserve(count);
    for (guint i = 0; i < count; ++i)
        items.push_back(static_cast<GObject*>(g_list_model_get_item(source, i)));
}

void splice(std::vector<GObject*>& items, GListModel* source, guint position, guint removed, guint added) {
    const auto first = items.begin() + position;
    for (auto it = first; it != first + removed; ++it)
        g_object_unref(*it);
    // The added items are read in order, which every source answers cheaply.
    std::vector<GObject*> fresh(added);
    for (guint i = 0; i < added; ++i)
        fresh[i] = static_cast<GObject*>(g_list_model_get_item(source, position + i));
    items.erase(first, first + removed);
    items.insert(items.begin() + position, fresh.begin(), fresh.end());
}

void clear(std::vector<GObject*>& items) {
    for (GObject* item : items)
        g_object_unref(item);
    items.clear();
}

} // namespace array_list_model
