// The history window under Xvfb: rows show the local time of day and the text, rows appended while it is
// open appear, and its size is remembered.
#include <gtest/gtest.h>

#include <gtkmm/label.h>

#include "keys/dbf_LocalZone.h"
#include "ui/CHistoryDialog.h"
#include "widgets_TestSupport.h"

namespace {

class CHistoryDialogTest : public ::testing::Test {
protected:
    widgets_test::GtkReady m_gtk;

    static std::int64_t local_time(int hour, int min, int sec) {
        return dbftest::local_time(2026, 7, 1, hour, min, sec);
    }

    static bool shows(Gtk::Widget& root, const Glib::ustring& text) {
        return widgets_test::find_by_text<Gtk::Label>(root, text,
                                                      [](Gtk::Label& l) { return l.get_text(); }) != nullptr;
    }

    widgets_test::AppSettingsScope m_settings;
    Gtk::Window m_parent;
    Glib::RefPtr<Gio::ListStore<CHistoryRec>> m_history = Gio::ListStore<CHistoryRec>::create();
};

TEST_F(CHistoryDialogTest, RowsShowLocalTimeOfDayAndText) {
    m_history->append(CHistoryRec::create(local_time(14, 5, 9), "Database \"Office\" is open"));
    m_history->append(CHistoryRec::create(local_time(7, 0, 0), "Recording has completed successfully"));
    CHistoryDialog dialog(m_parent, m_history);
    dialog.present();
    EXPECT_TRUE(
        widgets_test::pump_until([&] { return shows(dialog, "14:05:09") && shows(dialog, "07:00:00"); }));
    EXPECT_TRUE(shows(dialog, "Database \"Office\" is open"));
    EXPECT_TRUE(shows(dialog, "Recording has completed successfully"));
    EXPECT_TRUE(shows(dialog, "Time"));
    EXPECT_TRUE(shows(dialog, "Status"));
    dialog.hide();
}

TEST_F(CHistoryDialogTest, RowAppendedWhileOpenAppears) {
    CHistoryDialog dialog(m_parent, m_history);
    dialog.present();
    widgets_test::pump_until([&] { return dialog.get_mapped(); });
    m_history->append(CHistoryRec::create(local_time(9, 30, 15), "Database \"Warehouse\" has been closed"));
    EXPECT_TRUE(widgets_test::pump_until([&] {
        return shows(dialog, "09:30:15") && shows(dialog, "Database \"Warehouse\" has been closed");
    }));
    dialog.hide();
}

TEST_F(CHistoryDialogTest, OpensAtTheStoredSizeAndStoresItsSizeWhenHidden) {
    g_AppSet->set_history_size(420, 260);
    CHistoryDialog dialog(m_parent, m_history);
    int width = 0, height = 0;
    dialog.get_default_size(width, height);
    EXPECT_EQ(420, width);
    EXPECT_EQ(260, height);

    dialog.set_default_size(510, 330);
    dialog.present();
    ASSERT_TRUE(widgets_test::pump_until([&] { return dialog.get_mapped() && dialog.get_width() >= 510; }));
    const int shown_width = dialog.get_width();
    const int shown_height = dialog.get_height();
    dialog.hide();
    EXPECT_EQ(shown_width, g_AppSet->get_history_width());
    EXPECT_EQ(shown_height, g_AppSet->get_history_height());
}

} // namespace
