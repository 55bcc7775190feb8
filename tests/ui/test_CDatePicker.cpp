// The date entry of find in files: which texts are dates, what it shows while typing, the time a date stands
// for, and the calendar popup writing into the entry.
#include <gtest/gtest.h>

#include <gtkmm/calendar.h>
#include <gtkmm/label.h>

#include <ctime>

#include "keys/dbf_LocalZone.h"
#include "ui/CDatePicker.h"
#include "widgets_TestSupport.h"

namespace {

class CDatePickerTest : public ::testing::Test {
protected:
    widgets_test::GtkReady m_gtk;
};

struct DateCase {
    const char* text;
    bool accepted;
    unsigned day, month, year;
};

TEST_F(CDatePickerTest, AcceptsOnlyWholeCalendarDatesInTheTwoTwoFourFormat) {
    const DateCase cases[] = {
        {"29.02.2024", true, 29, 2, 2024},
        {"29.02.2000", true, 29, 2, 2000},
        {"29.02.2100", false, 0, 0, 0},
        {"29.02.1900", false, 0, 0, 0},
        {"28.02.2100", true, 28, 2, 2100},
        {"31.04.2026", false, 0, 0, 0},
        {"30.04.2026", true, 30, 4, 2026},
        {"31.12.2100", true, 31, 12, 2100},
        {"01.01.1900", true, 1, 1, 1900},
        {"31.12.1899", false, 0, 0, 0},
        {"01.01.2101", false, 0, 0, 0},
        {"00.01.2026", false, 0, 0, 0},
        {"01.13.2026", false, 0, 0, 0},
        {"1.2.2026", false, 0, 0, 0},
        {"01.02.2026 ", false, 0, 0, 0},
        {"01/02/2026", false, 0, 0, 0},
        {"", true, 0, 0, 0},
    };
    CDatePicker picker;
    for (const auto& c : cases) {
        picker.entry().set_text(c.text);
        unsigned day = 99, month = 99, year = 99;
        EXPECT_EQ(c.accepted, picker.get_date(day, month, year)) << '"' << c.text << '"';
        if (c.accepted) {
            EXPECT_EQ(c.day, day) << c.text;
            EXPECT_EQ(c.month, month) << c.text;
            EXPECT_EQ(c.year, year) << c.text;
        }
        // The error line follows the same verdict while typing.
        EXPECT_EQ(c.accepted, picker.get_error_text().empty()) << '"' << c.text << '"';
        EXPECT_EQ(!c.accepted, picker.entry().has_css_class("error")) << '"' << c.text << '"';
    }
}

TEST_F(CDatePickerTest, ErrorLineSaysWhatIsWrongAndGoesAwayWhenMended) {
    CDatePicker picker;
    picker.entry().set_text("31.04.2026");
    EXPECT_EQ("Invalid format or date", picker.get_error_text());
    EXPECT_EQ("dialog-error-symbolic", picker.entry().get_icon_name(Gtk::Entry::IconPosition::PRIMARY));
    picker.entry().set_text("30.04.2026");
    EXPECT_TRUE(picker.get_error_text().empty());
    EXPECT_TRUE(picker.entry().get_icon_name(Gtk::Entry::IconPosition::PRIMARY).empty());
    EXPECT_EQ("office-calendar-symbolic", picker.entry().get_icon_name(Gtk::Entry::IconPosition::SECONDARY));
}

TEST_F(CDatePickerTest, DateStandsForLocalMidnightAndEmptyForAnOpenBound) {
    CDatePicker picker;
    picker.set_date(15u, 3u, 2024u);
    EXPECT_EQ("15.03.2024", picker.entry().get_text());
    std::time_t time = 12345;
    ASSERT_TRUE(picker.get_date(time));
    EXPECT_EQ(dbftest::local_time(2024, 3, 15), time);

    picker.entry().set_text("");
    ASSERT_TRUE(picker.get_date(time));
    EXPECT_EQ(0, time);

    time = 12345;
    picker.entry().set_text("32.01.2024");
    EXPECT_FALSE(picker.get_date(time));
    EXPECT_EQ(12345, time);
}

TEST_F(CDatePickerTest, TimeIsShownAsItsLocalDate) {
    CDatePicker picker;
    picker.set_date(dbftest::local_time(2025, 1, 7, 23, 59));
    EXPECT_EQ("07.01.2025", picker.entry().get_text());
}

TEST_F(CDatePickerTest, ChoosingADayInTheCalendarWritesItIntoTheEntry) {
    CDatePicker picker;
    auto calendars = widgets_test::find_all<Gtk::Calendar>(picker);
    ASSERT_EQ(1u, calendars.size());
    calendars[0]->select_day(Glib::DateTime::create_local(2026, 5, 4, 0, 0, 0.0));
    g_signal_emit_by_name(calendars[0]->gobj(), "day-selected");
    EXPECT_EQ("04.05.2026", picker.entry().get_text());
}

} // namespace
