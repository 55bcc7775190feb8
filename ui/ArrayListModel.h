// A list model that mirrors another one in an array. A Gio list store keeps its items in a balanced tree,
// so reaching an item by position costs a walk down the tree; a sort model over a hundred thousand keys
// reaches every item in its current sorted order each time it sorts again, and the walks cost more than the
// sort. The mirror answers each position at once and follows the source's changes.
#pragma once

#include <gio/gio.h>
#include <giomm/listmodel.h>

#include <vector>

namespace array_list_model {

Glib::RefPtr<Gio::ListModel> create(const Glib::RefPtr<Gio::ListModel>& source);

// The mirror itself, for models that keep one: items holds a reference to each item of source.
void fill(std::vector<GObject*>& items, GListModel* source);
// Follows a change of source (its items-changed arguments).
void splice(std::vector<GObject*>& items, GListModel* source, guint position, guint removed, guint added);
// Drops every reference.
void clear(std::vector<GObject*>& items);

} // namespace array_list_model
