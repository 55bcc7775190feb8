#include "ui/KeyTextFilter.h"

#include <gtk/gtk.h>

#include <string>
#include <string_view>

#include "keys/AsciiText.h"
#include "keys/CKey.h"
#include "keys/KeyNumber.h"
#include "ui/CKeyPanelCells.h"

namespace {

// Normalised and case-folded, as GTK's string filter prepares both the search and the item's text.
std::string fold(std::string_view text) {
    gchar* normal = g_utf8_normalize(text.data(), static_cast<gssize>(text.size()), G_NORMALIZE_ALL);
    if (normal == nullptr)
        return {};
    gchar* folded = g_utf8_casefold(normal, -1);
    std::string result(folded);
    g_free(folded);
    g_free(normal);
    return result;
}

// Whether haystack holds needle (already lower case), ASCII letters compared without case. Most places do
// not even start the needle: they are passed over with two compares.
bool contains_ascii(std::string_view haystack, std::string_view needle) {
    if (needle.empty())
        return true;
    if (needle.size() > haystack.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; };
    const char first = needle[0];
    const char first_upper = first >= 'a' && first <= 'z' ? static_cast<char>(first - ('a' - 'A')) : first;
    for (std::size_t i = 0, last = haystack.size() - needle.size(); i <= last; ++i) {
        if (haystack[i] != first && haystack[i] != first_upper)
            continue;
        std::size_t j = 1;
        while (j < needle.size() && lower(haystack[i + j]) == needle[j])
            ++j;
        if (j == needle.size())
            return true;
    }
    return false;
}

bool contains(std::string_view text, const std::string& folded_needle, bool ascii_needle) {
    if (ascii_needle && is_ascii(text))
        return contains_ascii(text, folded_needle);
    return fold(text).find(folded_needle) != std::string::npos;
}

} // namespace

extern "C" {

struct KestrixKeyTextFilter {
    GtkFilter parent;
    std::string* needle; // normalised and case-folded; empty: every key shows
    gboolean ascii;
};

struct KestrixKeyTextFilterClass {
    GtkFilterClass parent_class;
};

G_DEFINE_TYPE(KestrixKeyTextFilter, kestrix_key_text_filter, GTK_TYPE_FILTER)

static bool key_matches(const KestrixKeyTextFilter* self, const CKey* key, key_format format) {
    if (key == nullptr)
        return false;
    const KeyNumberText number(key->number(), format);
    return contains(number.view(), *self->needle, self->ascii) ||
           contains(key->description().raw(), *self->needle, self->ascii);
}

static gboolean kestrix_key_text_filter_match(GtkFilter* filter, gpointer item) {
    const auto* self = reinterpret_cast<KestrixKeyTextFilter*>(filter);
    if (self->needle->empty())
        return TRUE;
    return key_matches(self, CKey::of_instance(G_OBJECT(item)), key_cells::shown_format());
}

static GtkFilterMatch kestrix_key_text_filter_get_strictness(GtkFilter* filter) {
    const auto* self = reinterpret_cast<KestrixKeyTextFilter*>(filter);
    return self->needle->empty() ? GTK_FILTER_MATCH_ALL : GTK_FILTER_MATCH_SOME;
}

static void kestrix_key_text_filter_finalize(GObject* object) {
    delete reinterpret_cast<KestrixKeyTextFilter*>(object)->needle;
    G_OBJECT_CLASS(kestrix_key_text_filter_parent_class)->finalize(object);
}

static void kestrix_key_text_filter_class_init(KestrixKeyTextFilterClass* klass) {
    GTK_FILTER_CLASS(klass)->match = kestrix_key_text_filter_match;
    GTK_FILTER_CLASS(klass)->get_strictness = kestrix_key_text_filter_get_strictness;
    G_OBJECT_CLASS(klass)->finalize = kestrix_key_text_filter_finalize;
}

static void kestrix_key_text_filter_init(KestrixKeyTextFilter* self) {
    self->needle = new std::string;
    self->ascii = TRUE;
}

} // extern "C"

namespace key_text_filter {

Glib::RefPtr<Gtk::Filter> create() {
    return Glib::wrap(GTK_FILTER(g_object_new(kestrix_key_text_filter_get_type(), nullptr)));
}

void set_text(const Glib::RefPtr<Gtk::Filter>& filter, const Glib::ustring& text) {
    auto* self = reinterpret_cast<KestrixKeyTextFilter*>(filter->gobj());
    std::string needle = fold(text.raw());
    if (needle == *self->needle)
        return;
    GtkFilterChange change = GTK_FILTER_CHANGE_DIFFERENT;
    if (needle.find(*self->needle) != std::string::npos)
        change = GTK_FILTER_CHANGE_MORE_STRICT;
    else if (self->needle->find(needle) != std::string::npos)
        change = GTK_FILTER_CHANGE_LESS_STRICT;
    *self->needle = std::move(needle);
    self->ascii = is_ascii(*self->needle);
    gtk_filter_changed(filter->gobj(), change);
}

std::vector<GObject*> passing(const Glib::RefPtr<Gtk::Filter>& filter,
                              const std::vector<GObject*>& candidates) {
    g_return_val_if_fail(G_TYPE_CHECK_INSTANCE_TYPE(filter->gobj(), kestrix_key_text_filter_get_type()),
                         candidates);
    const auto* self = reinterpret_cast<KestrixKeyTextFilter*>(filter->gobj());
    if (self->needle->empty())
        return candidates;
    // Each key is three places in memory, each found through the one before: the key's object, the key,
    // its description. They are asked for at three distances ahead, farthest first.
    constexpr std::size_t kObjectAhead = 12;
    constexpr std::size_t kKeyAhead = 8;
    constexpr std::size_t kDescriptionAhead = 4;
    const key_format format = key_cells::shown_format();
    const std::size_t count = candidates.size();
    std::vector<GObject*> shown;
    shown.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kObjectAhead < count)
            __builtin_prefetch(candidates[i + kObjectAhead]);
        if (i + kKeyAhead < count)
            if (const CKey* key = CKey::of_instance(candidates[i + kKeyAhead]))
                __builtin_prefetch(&key->description());
        if (i + kDescriptionAhead < count)
            if (const CKey* key = CKey::of_instance(candidates[i + kDescriptionAhead]))
                __builtin_prefetch(key->description().data());
        if (key_matches(self, CKey::of_instance(candidates[i]), format))
            shown.push_back(candidates[i]);
    }
    return shown;
}

void numbers_changed(const Glib::RefPtr<Gtk::Filter>& filter) {
    if (!reinterpret_cast<KestrixKeyTextFilter*>(filter->gobj())->needle->empty())
        gtk_filter_changed(filter->gobj(), GTK_FILTER_CHANGE_DIFFERENT);
}

} // namespace key_text_filter
