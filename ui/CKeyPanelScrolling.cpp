// A key table's scrolling. The view is given the rows on screen and one more (see KeyRowModel.h), so the
// panel scrolls through the keys by moving that window: with its own scroll bar, the mouse wheel, and the
// cursor keys that would leave the rows on screen. The view's own scrolling is used only across.
#include <gdk/gdkkeysyms.h>
#include <glibmm/main.h>
#include <gtkmm/eventcontrollerscroll.h>
#include <gtkmm/root.h>

#include <algorithm>
#include <cmath>

#include "app/i18n.h"
#include "ui/Accessible.h"
#include "ui/CKeyPanel.h"
#include "ui/CKeyPanelCells.h"
#include "ui/ColumnViewState.h"
#include "ui/KeyRowModel.h"
#include "ui/RowScrollbar.h"

namespace {
// Rows a click of the mouse wheel scrolls, as GTK's own lists nearly do.
constexpr double kRowsPerWheelClick = 3.0;
} // namespace

void CKeyPanel::build_scrolling() {
    m_scrolled.set_child(m_view);
    m_scrolled.set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::EXTERNAL);
    m_scrolled.set_hexpand(true);
    m_scrolled.set_vexpand(true);
    m_table.append(m_scrolled);

    m_position = Gtk::Adjustment::create(0, 0, 0, 1, 1, 1);
    m_position->signal_value_changed().connect([this] {
        if (!m_showing_position)
            move_window(static_cast<guint>(std::lround(m_position->get_value())));
    });
    m_scrollbar = row_scrollbar::create(m_position->gobj());
    set_accessible_label(GTK_ACCESSIBLE(m_scrollbar),
                         m_index == 0 ? _("Key table 1 position") : _("Key table 2 position"));
    gtk_box_append(m_table.gobj(), m_scrollbar);

    // On the table around the view's scroller, before it: the scroller would scroll the view's few rows.
    auto scroll = Gtk::EventControllerScroll::create();
    scroll->set_name("key-table-wheel");
    scroll->set_flags(Gtk::EventControllerScroll::Flags::VERTICAL);
    scroll->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    scroll->signal_scroll().connect(
        [this, controller = scroll.get()](double, double dy) {
            return on_scroll(controller->get_unit() == Gdk::ScrollUnit::WHEEL, dy);
        },
        false);
    m_table.add_controller(scroll);

    // The rows on screen are counted again whenever the view's height or its rows' height changes; the
    // window changes once the view is laid out, not while it is.
    m_view_height_changed = m_view.get_vadjustment()->signal_changed().connect([this] {
        if (!m_fit_window.connected())
            m_fit_window = Glib::signal_idle().connect(
                [this] {
                    fit_window();
                    return false;
                },
                Glib::PRIORITY_HIGH_IDLE);
    });
    move_window(0);
}

void CKeyPanel::move_window(guint offset) {
    m_rows->set_window(offset, m_rows_on_screen + 1, m_rows_on_screen);
    m_cells->follow_keys();
    // A partly shown last row the view scrolled to is not kept scrolled when the rows move.
    m_view.get_vadjustment()->set_value(0);
    show_position();
}

void CKeyPanel::fit_window() {
    Gtk::Widget* list = column_view_list(m_view);
    if (list == nullptr || list->get_height() <= 0)
        return;
    // A row's height is the distance between two rows (their own heights leave out what lies between).
    Gtk::Widget* first = list->get_first_child();
    Gtk::Widget* second = first ? first->get_next_sibling() : nullptr;
    double x = 0;
    double first_y = 0;
    double second_y = 0;
    if (second != nullptr && first->translate_coordinates(*list, 0, 0, x, first_y) &&
        second->translate_coordinates(*list, 0, 0, x, second_y) && second_y > first_y)
        m_row_height = second_y - first_y;
    else if (first != nullptr && first->get_height() > 0 && m_row_height <= 0)
        m_row_height = first->get_height();
    if (m_row_height <= 0)
        return;
    const auto rows = static_cast<guint>(std::max(1.0, std::floor(list->get_height() / m_row_height)));
    if (rows == m_rows_on_screen)
        return;
    m_rows_on_screen = rows;
    move_window(m_rows->window_offset());
}

void CKeyPanel::show_position() {
    const guint count = m_rows->size();
    m_showing_position = true;
    m_position->configure(m_rows->window_offset(), 0, count, 1, std::max(1u, m_rows_on_screen - 1),
                          std::min(count, m_rows_on_screen));
    m_showing_position = false;
    gtk_widget_set_visible(m_scrollbar, count > m_rows_on_screen);
}

void CKeyPanel::scroll_to(guint position) {
    const guint offset = m_rows->window_offset();
    if (position >= m_rows->size() || (position >= offset && position < offset + m_rows_on_screen))
        return;
    move_window(position > m_rows_on_screen / 2 ? position - m_rows_on_screen / 2 : 0);
}

bool CKeyPanel::on_scroll(bool in_wheel_clicks, double dy) {
    if (dy == 0)
        return false;
    // A touchpad scrolls by pixels, a bit at a time: the parts of a row add up.
    m_scroll_rest += in_wheel_clicks ? dy * kRowsPerWheelClick : dy / std::max(1.0, m_row_height);
    const double rows = std::trunc(m_scroll_rest);
    m_scroll_rest -= rows;
    const double offset =
        std::clamp(m_rows->window_offset() + rows, 0.0, static_cast<double>(m_rows->size()));
    if (static_cast<guint>(offset) != m_rows->window_offset())
        move_window(static_cast<guint>(offset));
    return true;
}

bool CKeyPanel::move_cursor(guint keyval, Gdk::ModifierType state) {
    const guint page = std::max(1u, m_rows_on_screen - 1);
    enum { STEP, PAGE, START, END } move;
    int direction = 1;
    switch (keyval) {
    case GDK_KEY_Up:
    case GDK_KEY_KP_Up:
        move = STEP;
        direction = -1;
        break;
    case GDK_KEY_Down:
    case GDK_KEY_KP_Down:
        move = STEP;
        break;
    case GDK_KEY_Page_Up:
    case GDK_KEY_KP_Page_Up:
        move = PAGE;
        direction = -1;
        break;
    case GDK_KEY_Page_Down:
    case GDK_KEY_KP_Page_Down:
        move = PAGE;
        break;
    case GDK_KEY_Home:
    case GDK_KEY_KP_Home:
        move = START;
        break;
    case GDK_KEY_End:
    case GDK_KEY_KP_End:
        move = END;
        break;
    default:
        return false;
    }
    const guint row = focused_row();
    const guint count = m_rows->size();
    if (row == G_MAXUINT || count == 0)
        return false;
    const guint offset = m_rows->window_offset();
    const guint cursor = offset + row;
    const guint last = count - 1;
    guint target = cursor;
    switch (move) {
    case STEP:
        target = direction < 0 ? (cursor > 0 ? cursor - 1 : 0) : std::min(cursor + 1, last);
        break;
    case PAGE:
        target = direction < 0 ? (cursor > page ? cursor - page : 0) : std::min(cursor + page, last);
        break;
    case START:
        target = 0;
        break;
    case END:
        target = last;
        break;
    }
    // A page moves the rows with the cursor, which keeps its place on screen; otherwise the rows move only
    // as far as the cursor needs.
    guint new_offset = offset;
    if (move == PAGE)
        new_offset = direction < 0 ? offset - std::min(offset, cursor - target) : offset + (target - cursor);
    if (target < new_offset)
        new_offset = target;
    else if (target >= new_offset + m_rows_on_screen)
        new_offset = target - m_rows_on_screen + 1;
    if (new_offset != offset)
        move_window(new_offset);
    const guint new_row = target - m_rows->window_offset();
    if (new_row != row)
        focus_row(new_row);
    // As the view's own cursor keys: Ctrl moves the cursor alone, Shift extends the selection from the row
    // last selected, Ctrl+Shift extends it as that row is.
    const bool control = (state & Gdk::ModifierType::CONTROL_MASK) == Gdk::ModifierType::CONTROL_MASK;
    const bool shift = (state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK;
    if (!control || shift)
        if (Gtk::Widget* list = column_view_list(m_view))
            list->activate_action("list.select-item", Glib::Variant<std::tuple<guint, bool, bool>>::create(
                                                          {new_row, control, shift}));
    return true;
}

guint CKeyPanel::focused_row() const {
    const Gtk::Widget* list = column_view_list(m_view);
    const auto* root = get_root();
    const Gtk::Widget* widget = root ? root->get_focus() : nullptr;
    while (widget != nullptr && widget->get_parent() != list)
        widget = widget->get_parent();
    if (widget == nullptr || list == nullptr)
        return G_MAXUINT;
    guint row = 0;
    for (const Gtk::Widget* child = list->get_first_child(); child != widget;
         child = child->get_next_sibling())
        ++row;
    return row;
}

void CKeyPanel::focus_row(guint window_position) {
    Gtk::Widget* list = column_view_list(m_view);
    Gtk::Widget* child = list ? list->get_first_child() : nullptr;
    for (guint i = 0; child != nullptr && i < window_position; ++i)
        child = child->get_next_sibling();
    if (child != nullptr)
        child->grab_focus();
}
