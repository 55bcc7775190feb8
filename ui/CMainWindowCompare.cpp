// Comparing the two open tables: both are sorted by the chosen columns and walked together; keys without
// a partner in the other table are marked in the chosen columns.
#include "app/i18n.h"
#include "ui/CMainWindow.h"

namespace {
// The comparison check buttons in order, and the columns they choose.
constexpr std::array<CKeyPanel::Column, 6> kComparedColumns{
    CKeyPanel::KEY_COL_TYPE,  CKeyPanel::KEY_COL_ATTR,    CKeyPanel::KEY_COL_NUMBER,
    CKeyPanel::KEY_COL_SHORT, CKeyPanel::KEY_COL_CREATED, CKeyPanel::KEY_COL_DESCRIPTION,
};

// The first sorter that tells the keys apart decides their order.
int compare_by(const std::vector<Glib::RefPtr<Gtk::Sorter>>& sorters, const Glib::RefPtr<CKey>& a,
               const Glib::RefPtr<CKey>& b) {
    for (const auto& sorter : sorters) {
        const auto order = sorter->compare(a->gobj(), b->gobj());
        if (order != Gtk::Ordering::EQUAL)
            return order == Gtk::Ordering::SMALLER ? -1 : 1;
    }
    return 0;
}
} // namespace

void CMainWindow::on_compare_button_clicked() {
    std::uint32_t mask = 0;
    std::vector<CKeyPanel::Column> columns;
    for (std::size_t i = 0; i < kComparedColumns.size(); ++i) {
        if (m_compare_checks[i].get_active()) {
            mask |= 1u << i;
            columns.push_back(kComparedColumns[i]);
        }
    }
    {
        ProgrammaticChange change(m_programmatic);
        for (auto& panel : m_key_panels)
            panel->sort_for_comparison(columns);
    }
    std::vector<Glib::RefPtr<Gtk::Sorter>> sorters;
    for (CKeyPanel::Column column : columns)
        sorters.push_back(m_key_panels[0]->column_sorter(column));

    const CKeyPanel& left = *m_key_panels[0];
    const CKeyPanel& right = *m_key_panels[1];
    const guint left_count = left.sorted_count();
    const guint right_count = right.sorted_count();
    guint l = 0;
    guint r = 0;
    unsigned int matches = 0;
    bool marked = false;
    Glib::RefPtr<CKey> first_left;
    Glib::RefPtr<CKey> first_right;
    while (l < left_count && r < right_count) {
        const auto a = left.sorted_key(l);
        const auto b = right.sorted_key(r);
        const int order = compare_by(sorters, a, b);
        if (order == 0) {
            a->set_key_different(0);
            b->set_key_different(0);
            if (matches++ == 0) {
                first_left = a;
                first_right = b;
            }
            ++l;
            ++r;
        } else if (order < 0) {
            a->set_key_different(mask);
            marked = true;
            ++l;
        } else {
            b->set_key_different(mask);
            marked = true;
            ++r;
        }
    }
    for (; l < left_count; ++l, marked = true)
        left.sorted_key(l)->set_key_different(mask);
    for (; r < right_count; ++r, marked = true)
        right.sorted_key(r)->set_key_different(mask);

    if (left_count != 0 && right_count != 0 && !marked)
        ShowMessage(_("The key lists are equal."), Gtk::MessageType::INFO);
    else
        ShowMessage(Glib::ustring::sprintf(_("The key lists are different (matches %u)."), matches),
                    Gtk::MessageType::INFO);
    if (matches != 0) {
        m_key_panels[0]->select_key(first_left);
        m_key_panels[1]->select_key(first_right);
    }
}
