// The status history window.
#include "ui/CHistoryDialog.h"
#include "ui/TextColumn.h"

#include <gtkmm/columnviewcolumn.h>
#include <gtkmm/label.h>
#include <gtkmm/listitem.h>
#include <gtkmm/signallistitemfactory.h>

#include <ctime>

#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/LayoutSpacing.h"

namespace {

Glib::ustring time_text(const CHistoryRec& rec) {
    return CHistoryDialog::format_time(rec.time());
}
Glib::ustring status_text(const CHistoryRec& rec) {
    return rec.text();
}
} // namespace

CHistoryDialog::CHistoryDialog(Gtk::Window& parent, const Glib::RefPtr<Gio::ListStore<CHistoryRec>>& history)
    : m_box(Gtk::Orientation::VERTICAL) {
    set_title(_("History"));
    set_transient_for(parent);
    set_destroy_with_parent(true);
    set_hide_on_close(true);
    if (g_AppSet)
        set_default_size(g_AppSet->get_history_width(), g_AppSet->get_history_height());

    m_selection = Gtk::SingleSelection::create(history);
    m_selection->set_autoselect(false);
    m_selection->set_can_unselect(true);
    m_view.set_model(m_selection);
    m_view.add_css_class("data-table");
    append_text_column(_("Time"), false, &time_text);
    append_text_column(_("Status"), true, &status_text);

    m_scrolled.set_child(m_view);
    m_scrolled.set_vexpand(true);
    m_scrolled.set_hexpand(true);
    m_box.set_margin(kLayoutMargin);
    m_box.append(m_scrolled);
    set_child(m_box);
}

Glib::ustring CHistoryDialog::format_time(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    char buf[16] = "";
    if (localtime_r(&t, &local) == nullptr || std::strftime(buf, sizeof buf, "%T", &local) == 0)
        return {};
    return buf;
}

void CHistoryDialog::append_text_column(const Glib::ustring& title, bool expand,
                                        Glib::ustring (*text_of)(const CHistoryRec&)) {
    m_view.append_column(make_text_column(title, expand, text_of));
}

void CHistoryDialog::on_hide() {
    // A window hidden before it was ever shown has no size of its own: keep the stored one then.
    int width = get_width();
    int height = get_height();
    if (width <= 0 || height <= 0)
        get_default_size(width, height);
    if (g_AppSet && width > 0 && height > 0)
        g_AppSet->set_history_size(width, height);
    Gtk::Window::on_hide();
}
