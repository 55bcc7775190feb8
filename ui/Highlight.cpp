#include "ui/Highlight.h"

#include <glibmm/markup.h>
#include <pango/pango.h>

namespace {
constexpr const char* kHighlight = "<span background='#FFFF00' foreground='black'>\\0</span>";

bool is_valid_markup(const Glib::ustring& markup) {
    return pango_parse_markup(markup.c_str(), -1, 0, nullptr, nullptr, nullptr, nullptr) != FALSE;
}
} // namespace

Glib::RefPtr<Glib::Regex> highlight_regex(const Glib::ustring& text) {
    if (text.empty())
        return {};
    try {
        return Glib::Regex::create(Glib::Regex::escape_string(text),
                                   Glib::Regex::CompileFlags::CASELESS | Glib::Regex::CompileFlags::OPTIMIZE);
    } catch (const Glib::Error&) {
        // Without a highlight the cells show plain text; the filter still applies.
        return {};
    }
}

Glib::ustring highlight_markup(const Glib::ustring& text, const Glib::RefPtr<Glib::Regex>& regex) {
    const Glib::ustring escaped = Glib::Markup::escape_text(text);
    if (!regex || text.empty())
        return escaped;
    try {
        const Glib::ustring marked =
            regex->replace(escaped, 0, kHighlight, Glib::Regex::MatchFlags::NOTEMPTY);
        // A match inside an escape ("amp" in "&amp;") would cut the markup apart: such text stays plain.
        return is_valid_markup(marked) ? marked : escaped;
    } catch (const Glib::Error&) {
        return escaped;
    }
}
