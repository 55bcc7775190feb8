// The status line: the row count and the double click that asks for the history.
#include <gtest/gtest.h>

#include <gtkmm/eventcontroller.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/label.h>

#include "ui/CMyStatusBar.h"
#include "widgets_TestSupport.h"

namespace {

class CMyStatusBarTest : public ::testing::Test {
protected:
    widgets_test::GtkReady m_gtk;

    // Simulates n presses of the primary button on the label showing the status.
    void press_main_label(CMyStatusBar& bar, int n_press) {
        auto* label = widgets_test::find_by_text<Gtk::Label>(bar, bar.get_status(),
                                                             [](Gtk::Label& l) { return l.get_text(); });
        ASSERT_NE(nullptr, label);
        GtkEventController* gesture = widgets_test::find_controller(
            *label, [](GtkEventController* c) { return GTK_IS_GESTURE_CLICK(c); });
        ASSERT_NE(nullptr, gesture) << "the main label has no click gesture";
        g_signal_emit_by_name(gesture, "pressed", n_press, 1.0, 1.0);
    }
};

TEST_F(CMyStatusBarTest, CountShowsSelectedOfTotalOrNothing) {
    struct {
        unsigned selected, total;
        const char* shown;
    } cases[] = {{3, 10, "3/10"},
                 {0, 0, "0/0"},
                 {7, 0xFFFFFFFFu, ""},
                 {4000000000u, 4000000001u, "4000000000/4000000001"}};
    CMyStatusBar bar;
    for (const auto& c : cases) {
        bar.set_count(c.selected, c.total);
        EXPECT_EQ(c.shown, bar.get_count()) << c.selected << " of " << c.total;
    }
}

TEST_F(CMyStatusBarTest, OnlyADoubleClickOnTheReadyStatusAsksForDetails) {
    CMyStatusBar bar;
    EXPECT_EQ("Ready", bar.get_status());
    int requests = 0;
    bar.signal_details_requested().connect([&] { ++requests; });
    press_main_label(bar, 1);
    EXPECT_EQ(0, requests);
    press_main_label(bar, 2);
    EXPECT_EQ(1, requests);
}

} // namespace
