// The database list of view mode 0: a column view over the window's list of databases, in a scrolled
// window. The rows go through a sort model driven by the view's sorter, a filter on name or description
// (case-insensitive substring) and a multiple selection. The panel tells the window when the selection
// changes, when a row is activated and when the Delete key is pressed on the list.
#pragma once

#include <giomm/liststore.h>
#include <glibmm/regex.h>
#include <gtkmm/columnview.h>
#include <gtkmm/filterlistmodel.h>
#include <gtkmm/label.h>
#include <gtkmm/multifilter.h>
#include <gtkmm/multiselection.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/sortlistmodel.h>
#include <gtkmm/stringfilter.h>
#include <sigc++/signal.h>

#include <memory>
#include <vector>

#include "ui/CDbInfo.h"
#include "ui/CMyProp.h"
#include "ui/ColumnViewState.h"

class CDbListPanel;

// A text cell of the database list: the highlighted name or description as markup, drawn again when the
// row's text or the list's filter changes.
class CDbTextCell : public Gtk::Label {
public:
    enum class Field { Name, Description, Keys };
    CDbTextCell(CDbListPanel& panel, Field field);
    virtual void bind(const Glib::RefPtr<CDbInfo>& item);
    virtual void unbind();

protected:
    void refresh();

    CDbListPanel& m_panel;
    const Field m_field;
    Glib::RefPtr<CDbInfo> m_item;
    std::vector<sigc::connection> m_connections;
};

// The name cell: also drawn faded (CSS class "cut-item") while its database is cut to the clipboard.
class CDbNameWidget : public CDbTextCell {
public:
    explicit CDbNameWidget(CDbListPanel& panel);
    void bind(const Glib::RefPtr<CDbInfo>& item) override;

private:
    void show_cut();
};

class CDbListPanel : public Gtk::ScrolledWindow {
public:
    // Column ids (the untranslated titles), in their first order.
    static const std::vector<Glib::ustring>& column_ids();

    CDbListPanel(const Glib::RefPtr<Gio::ListStore<CDbInfo>>& store, const Glib::RefPtr<CMyProp>& prop);

    Gtk::ColumnView& view() { return m_view; }
    const Glib::RefPtr<Gtk::MultiSelection>& selection() const { return m_selection; }
    // Restores and from then on keeps the sorting and column order (needs the settings store).
    void persist_columns(CColumnViewState::Storage storage);
    CColumnViewState* column_state() { return m_column_state.get(); }

    // Filters the rows and highlights the text (empty: every row, no highlight). The text goes to the
    // "bases-query" property, which draws the cells again.
    void set_filter(const Glib::ustring& text);
    const Glib::RefPtr<Glib::Regex>& highlight() const { return m_highlight; }

    // The selected rows in display order.
    std::vector<Glib::RefPtr<CDbInfo>> selected_items() const;
    guint selected_count() const;
    bool has_selection() const;
    guint visible_count() const;
    void select_all();
    // Selects the row at a display position alone.
    void select_only(guint position);
    // The display position of a row; GTK_INVALID_LIST_POSITION when it is not shown.
    guint display_position(const Glib::RefPtr<CDbInfo>& item) const;
    void scroll_to(guint position);
    void focus_view();

    const Glib::RefPtr<CMyProp>& prop() const { return m_prop; }
    sigc::signal<void()>& signal_selection_changed() { return m_signal_selection_changed; }
    // Rows shown or hidden (folder changes, filtering).
    sigc::signal<void()>& signal_rows_changed() { return m_signal_rows_changed; }
    sigc::signal<void(guint)>& signal_activated() { return m_signal_activated; }
    // The Delete key on the list; true when Shift was held (delete without asking).
    sigc::signal<void(bool)>& signal_delete_pressed() { return m_signal_delete_pressed; }

private:
    void add_column(const Glib::ustring& id, const Glib::ustring& title, CDbTextCell::Field field,
                    const Glib::RefPtr<Gtk::Sorter>& sorter);
    bool on_key_pressed(guint keyval, guint keycode, Gdk::ModifierType state);

    Glib::RefPtr<CMyProp> m_prop;
    Gtk::ColumnView m_view;
    Glib::RefPtr<Gtk::SortListModel> m_sort_model;
    Glib::RefPtr<Gtk::StringFilter> m_name_filter;
    Glib::RefPtr<Gtk::StringFilter> m_description_filter;
    Glib::RefPtr<Gtk::AnyFilter> m_filter;
    Glib::RefPtr<Gtk::FilterListModel> m_filter_model;
    Glib::RefPtr<Gtk::MultiSelection> m_selection;
    Glib::RefPtr<Glib::Regex> m_highlight;
    std::unique_ptr<CColumnViewState> m_column_state;
    sigc::signal<void()> m_signal_selection_changed;
    sigc::signal<void()> m_signal_rows_changed;
    sigc::signal<void(guint)> m_signal_activated;
    sigc::signal<void(bool)> m_signal_delete_pressed;
};
