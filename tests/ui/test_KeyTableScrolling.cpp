// A key table longer than the screen, scrolled as a user scrolls it: with the scroll bar, the wheel and the
// cursor keys. The view holds only the rows on screen; the selection made on them is kept over all keys.
#include <gdk/gdkkeysyms.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "KeyPanelsFixture.h"
#include "ui/ColumnViewState.h"
#include "ui/RowScrollbar.h"
// Last: Xlib's macros (None, Success...) would rename words of the headers above.
#include <gdk/x11/gdkx.h>

namespace {

constexpr guint kKeys = 500;

class KeyTableScrollingTest : public KeyPanelsFixture {
protected:
    // Keys numbered 1 to kKeys, in that order, in the first table, laid out and its rows counted.
    CKeyPanel& open_long_table() {
        for (guint i = 1; i <= kKeys; ++i) {
            char number[13];
            std::snprintf(number, sizeof number, "%012X", i);
            m_numbers.emplace_back(number);
        }
        // Attributes and types in turn: rows that show other keys show other styles.
        std::vector<StoredKey> keys;
        for (guint i = 0; i < kKeys; ++i)
            keys.push_back({m_numbers[i].c_str(), false, static_cast<KeyAttr>(KA_NORMAL + i % 4), "",
                            i % 3 == 0 ? CT_EM_MARINE : CT_DALLAS});
        make_keys("long", keys);
        // A window of common size: a few dozen rows on screen.
        window_size(900, 900);
        CMainWindow& window = open_databases({"long"});
        CKeyPanel& panel = window.key_panel(0);
        // The window settles its layout over its first frames: the rows must fit over several of them.
        int fitting_frames = 0;
        const guint tick = window.add_tick_callback([&](const Glib::RefPtr<Gdk::FrameClock>&) {
            fitting_frames = rows_fit(panel) ? fitting_frames + 1 : 0;
            window.queue_draw();
            return true;
        });
        EXPECT_TRUE(pump_until([&] { return fitting_frames >= 5; }));
        window.remove_tick_callback(tick);
        return panel;
    }

    static Gtk::Widget& list(CKeyPanel& panel) { return *column_view_list(panel.view()); }
    static std::vector<Gtk::Widget*> rows(CKeyPanel& panel) {
        std::vector<Gtk::Widget*> found;
        for (Gtk::Widget* row = list(panel).get_first_child(); row; row = row->get_next_sibling())
            found.push_back(row);
        return found;
    }
    static guint rows_on_screen(CKeyPanel& panel) {
        return static_cast<guint>(panel.scroll_position()->get_page_size());
    }
    // The view has a row for each row fully on screen and one more, and no more.
    static bool rows_fit(CKeyPanel& panel) {
        const auto shown = rows(panel);
        guint whole = 0;
        for (Gtk::Widget* row : shown) {
            double x = 0;
            double y = 0;
            if (row->get_height() <= 0 || !row->translate_coordinates(list(panel), 0, 0, x, y))
                return false;
            if (y + row->get_height() <= list(panel).get_height())
                ++whole;
        }
        return whole > 0 && rows_on_screen(panel) == whole && shown.size() == whole + 1;
    }
    static guint first_on_screen(CKeyPanel& panel) {
        return static_cast<guint>(panel.scroll_position()->get_value());
    }
    // The number shown in the view's row (the fourth cell of its seven).
    static std::string number_in_row(CKeyPanel& panel, guint row) {
        const auto texts = cell_texts(panel);
        return 7 * row + 3 < texts.size() ? texts[7 * row + 3] : std::string();
    }
    // The numbers of the selected keys.
    static std::vector<std::string> selected_numbers(CKeyPanel& panel) {
        std::vector<std::string> numbers;
        for (const auto& key : panel.selected_keys())
            numbers.push_back(format_key_number(key->number(), KF_HEX));
        return numbers;
    }
    static bool drawn_selected(CKeyPanel& panel, guint row) {
        return (rows(panel)[row]->get_state_flags() & Gtk::StateFlags::SELECTED) == Gtk::StateFlags::SELECTED;
    }
    const std::string& number(guint position) const { return m_numbers[position]; }

    static GtkWidget* scrollbar(CKeyPanel& panel) {
        for (Gtk::Widget* widget : descendants(panel))
            if (g_strcmp0(gtk_widget_get_css_name(widget->gobj()), "scrollbar") == 0 &&
                widget->get_parent() != nullptr && widget->get_parent()->get_parent() == &panel)
                return widget->gobj();
        return nullptr;
    }
    // The first key on screen when the slider's top is at the place in its trough.
    static double first_at(CKeyPanel& panel, double top) {
        const auto slider = row_scrollbar::slider_place(scrollbar(panel));
        const auto& position = panel.scroll_position();
        return top / (slider.trough_length - slider.length) *
               (position->get_upper() - position->get_page_size());
    }
    // The mouse of the X server, as a person moves it: xdotool's commands with points of the trough, each
    // "@Y" put at the middle of the trough across and Y down from its top, in the window's own coordinates.
    void mouse(CKeyPanel& panel, std::vector<std::string> commands) {
        GtkWidget* bar = scrollbar(panel);
        GtkWidget* trough = gtk_widget_get_first_child(gtk_widget_get_first_child(bar));
        Gtk::Window& window = *dynamic_cast<Gtk::Window*>(panel.get_root());
        double surface_x = 0;
        double surface_y = 0;
        gtk_native_get_surface_transform(GTK_NATIVE(window.gobj()), &surface_x, &surface_y);
        const std::string xid = std::to_string(gdk_x11_surface_get_xid(window.get_surface()->gobj()));
        std::vector<std::string> argv{"xdotool"};
        for (std::string& command : commands) {
            if (command[0] != '@') {
                argv.push_back(command);
                continue;
            }
            double x = 0;
            double y = 0;
            ASSERT_TRUE(gtk_widget_translate_coordinates(trough, GTK_WIDGET(window.gobj()),
                                                         gtk_widget_get_width(trough) / 2.0,
                                                         std::stod(command.substr(1)), &x, &y));
            for (const std::string& word :
                 {std::string("mousemove"), std::string("--window"), xid,
                  std::to_string(std::lround(x + surface_x)), std::to_string(std::lround(y + surface_y))})
                argv.push_back(word);
        }
        int status = 0;
        ASSERT_NO_THROW(
            Glib::spawn_sync("", argv, Glib::SpawnFlags::SEARCH_PATH, {}, nullptr, nullptr, &status));
        ASSERT_EQ(0, status);
    }

    // A key pressed while the table has the keyboard focus.
    static void press(CKeyPanel& panel, guint keyval, GdkModifierType state = GdkModifierType(0)) {
        GtkEventController* keys = widgets_test::find_controller(panel.view(), [](GtkEventController* c) {
            return GTK_IS_EVENT_CONTROLLER_KEY(c) &&
                   gtk_event_controller_get_propagation_phase(c) == GTK_PHASE_CAPTURE;
        });
        ASSERT_NE(nullptr, keys);
        gboolean handled = FALSE;
        g_signal_emit_by_name(keys, "key-pressed", keyval, 0u, state, &handled);
        EXPECT_TRUE(handled) << "key " << keyval;
        pump_pending();
    }
    // A click on a row of the view, as the row itself asks its list to select: alone, with Ctrl (toggle)
    // or with Shift (extend).
    static void click_row(CKeyPanel& panel, guint row, bool control = false, bool shift = false) {
        const auto shown = rows(panel);
        ASSERT_LT(row, shown.size());
        shown[row]->grab_focus();
        list(panel).activate_action(
            "list.select-item", Glib::Variant<std::tuple<guint, bool, bool>>::create({row, control, shift}));
        pump_pending();
    }

    void TearDown() override {
        KeyPanelsFixture::TearDown();
        window_size(700, 250);
    }
    // The size the next window opens at.
    static void window_size(int width, int height) {
        auto settings = Gio::Settings::create(CAppSettings::kSchemaId);
        settings->set_int("window-width", width);
        settings->set_int("window-height", height);
    }

    std::vector<std::string> m_numbers;
};

TEST_F(KeyTableScrollingTest, TheScrollBarAndTheWheelMoveTheRowsOverEveryKey) {
    CKeyPanel& panel = open_long_table();
    ASSERT_LT(rows(panel).size(), 100u) << "the view holds the rows on screen, not two hundred";
    EXPECT_EQ(kKeys, panel.scroll_position()->get_upper());
    EXPECT_EQ(number(0), number_in_row(panel, 0));

    panel.scroll_position()->set_value(250);
    pump_pending();
    EXPECT_EQ(number(250), number_in_row(panel, 0));
    EXPECT_EQ(number(250 + rows_on_screen(panel) - 1), number_in_row(panel, rows_on_screen(panel) - 1));

    // Past the end the last key is on the last row fully on screen.
    panel.scroll_position()->set_value(kKeys);
    pump_pending();
    EXPECT_EQ(kKeys - rows_on_screen(panel), first_on_screen(panel));
    EXPECT_EQ(number(kKeys - 1), number_in_row(panel, rows_on_screen(panel) - 1));

    // Two clicks of the wheel up: six rows.
    GtkEventController* wheel = nullptr;
    for (Gtk::Widget* widget = &panel.view(); widget != &panel && wheel == nullptr;
         widget = widget->get_parent())
        wheel = widgets_test::find_controller(*widget, [](GtkEventController* c) {
            return g_strcmp0(gtk_event_controller_get_name(c), "key-table-wheel") == 0;
        });
    ASSERT_NE(nullptr, wheel);
    gboolean scrolled = FALSE;
    g_signal_emit_by_name(wheel, "scroll", 0.0, -2.0, &scrolled);
    ASSERT_TRUE(scrolled);
    EXPECT_EQ(kKeys - rows_on_screen(panel) - 6, first_on_screen(panel));
    EXPECT_EQ(number(kKeys - rows_on_screen(panel) - 6), number_in_row(panel, 0));
}

// The scroll bar: the slider is drawn where the rows are, and moving the rows only draws the window again (a
// layout of the window would, on X, wait for the server to finish the frame before), though the cells then
// show other attributes in other colours. The mouse drags the
// slider, and a click on the trough takes it there.
TEST_F(KeyTableScrollingTest, TheSliderFollowsTheRowsWithoutALayoutAndTheMouseMovesIt) {
    CKeyPanel& panel = open_long_table();
    GtkWidget* bar = scrollbar(panel);
    ASSERT_NE(nullptr, bar);
    ASSERT_TRUE(gtk_widget_get_visible(bar));
    auto slider = row_scrollbar::slider_place(bar);
    int shortest = 0;
    gtk_widget_measure(
        gtk_widget_get_first_child(gtk_widget_get_first_child(gtk_widget_get_first_child(bar))),
        GTK_ORIENTATION_VERTICAL, -1, &shortest, nullptr, nullptr, nullptr);
    EXPECT_NEAR(std::max<double>(shortest, slider.trough_length * rows_on_screen(panel) / kKeys),
                slider.length, 1.0);
    EXPECT_EQ(0.0, slider.top);

    Gtk::Window& window = *dynamic_cast<Gtk::Window*>(panel.get_root());
    int paints = 0;
    auto painted = window.get_frame_clock()->signal_paint().connect([&] { ++paints; });
    int layouts = 0;
    auto counted = window.get_surface()->signal_layout().connect([&](int, int) { ++layouts; });
    const auto move_to = [&](guint first) {
        const int before = paints;
        panel.scroll_position()->set_value(first);
        return pump_until([&] { return paints > before; });
    };
    // Rows that stop showing a selected key fade it out over several frames, each of which lays the window
    // out, and the window settles over its first frames: the count starts after a frame without a layout.
    // A cell makes the text of a type or attribute when it first shows it: four moves by one row show each
    // cell every attribute and type.
    panel.view().get_model()->unselect_all();
    for (guint first : {50u, 0u, 1u, 2u, 3u, 0u})
        ASSERT_TRUE(move_to(first));
    for (int frames = 0;; ++frames) {
        ASSERT_LT(frames, 100) << "the window lays itself out on every frame";
        const int before = layouts;
        window.queue_draw();
        ASSERT_TRUE(move_to(0));
        if (layouts == before)
            break;
    }
    layouts = 0;
    // Not as far as the end, where fewer rows are left and the view lays them out.
    int moves = 0;
    for (guint first = 10; first + 2 * rows_on_screen(panel) < kKeys; first += 37, ++moves)
        ASSERT_TRUE(move_to(first));
    counted.disconnect();
    painted.disconnect();
    // Another part of the window may change a text meanwhile, once or so.
    ASSERT_GE(moves, 10);
    EXPECT_LE(layouts, 2) << "in " << moves << " moves";

    panel.scroll_position()->set_value(kKeys);
    pump_pending();
    EXPECT_NEAR(slider.trough_length - slider.length, row_scrollbar::slider_place(bar).top, 0.5);
    panel.scroll_position()->set_value(0);
    pump_pending();

    // Held by its middle and moved down by a third of the trough.
    const double held = slider.length / 2;
    const double moved = std::round(slider.trough_length / 3);
    mouse(panel, {"@" + std::to_string(held), "mousedown", "1", "@" + std::to_string(held + moved / 2),
                  "@" + std::to_string(held + moved), "mouseup", "1"});
    const double dragged_to = first_at(panel, moved);
    ASSERT_TRUE(pump_until([&] {
        return first_on_screen(panel) > 0 && first_on_screen(panel) >= dragged_to - 2;
    })) << first_on_screen(panel)
        << " for " << dragged_to;
    EXPECT_NEAR(dragged_to, first_on_screen(panel), 2.0);
    EXPECT_EQ(number(first_on_screen(panel)), number_in_row(panel, 0));
    EXPECT_NEAR(moved, row_scrollbar::slider_place(bar).top, 3.0);

    // A click low in the trough puts the slider's middle there.
    const double low = slider.trough_length - slider.length;
    mouse(panel, {"@" + std::to_string(low), "click", "1"});
    const double clicked_to = first_at(panel, low - slider.length / 2);
    ASSERT_TRUE(pump_until([&] { return first_on_screen(panel) >= clicked_to - 2; }))
        << first_on_screen(panel) << " for " << clicked_to;
    EXPECT_NEAR(clicked_to, first_on_screen(panel), 2.0);
}

TEST_F(KeyTableScrollingTest, CursorKeysMoveTheRowsWhereTheCursorLeavesTheScreen) {
    CKeyPanel& panel = open_long_table();
    const guint page = rows_on_screen(panel);
    click_row(panel, 0);

    press(panel, GDK_KEY_End);
    EXPECT_EQ(std::vector<std::string>{number(kKeys - 1)}, selected_numbers(panel));
    EXPECT_EQ(kKeys - page, first_on_screen(panel));
    press(panel, GDK_KEY_Home);
    EXPECT_EQ(std::vector<std::string>{number(0)}, selected_numbers(panel));
    EXPECT_EQ(0u, first_on_screen(panel));

    // Down to the last row on screen moves nothing; one more moves the rows by one.
    for (guint i = 0; i + 1 < page; ++i)
        press(panel, GDK_KEY_Down);
    EXPECT_EQ(0u, first_on_screen(panel));
    press(panel, GDK_KEY_Down);
    EXPECT_EQ(std::vector<std::string>{number(page)}, selected_numbers(panel));
    EXPECT_EQ(1u, first_on_screen(panel));
    EXPECT_EQ(number(page), number_in_row(panel, page - 1));

    // A page down keeps the cursor's place on screen; Ctrl moves the cursor without selecting.
    press(panel, GDK_KEY_Page_Down);
    EXPECT_EQ(std::vector<std::string>{number(2 * page - 1)}, selected_numbers(panel));
    EXPECT_EQ(page, first_on_screen(panel));
    press(panel, GDK_KEY_Page_Up, GDK_CONTROL_MASK);
    EXPECT_EQ(std::vector<std::string>{number(2 * page - 1)}, selected_numbers(panel));
    EXPECT_EQ(1u, first_on_screen(panel));
    press(panel, GDK_KEY_Up);
    EXPECT_EQ(std::vector<std::string>{number(page - 1)}, selected_numbers(panel));
}

TEST_F(KeyTableScrollingTest, SelectionsReachOverRowsScrolledAway) {
    CKeyPanel& panel = open_long_table();
    click_row(panel, 2);
    press(panel, GDK_KEY_End, GDK_SHIFT_MASK);
    EXPECT_EQ(kKeys - 2, panel.selected_count()) << "from the third key to the last";
    press(panel, GDK_KEY_Home, GDK_SHIFT_MASK);
    EXPECT_EQ((std::vector<std::string>{number(0), number(1), number(2)}), selected_numbers(panel));

    // A click with Shift on a row far below extends from the third key too.
    panel.scroll_position()->set_value(300);
    pump_pending();
    click_row(panel, 5, false, true);
    EXPECT_EQ(304u, panel.selected_count());
    // A click with Ctrl adds a row on screen, and the view draws the rows of the selection as selected.
    panel.scroll_position()->set_value(400);
    pump_pending();
    click_row(panel, 0, true);
    EXPECT_EQ(305u, panel.selected_count());
    EXPECT_EQ(number(400), selected_numbers(panel).back());
    EXPECT_TRUE(drawn_selected(panel, 0));
    EXPECT_FALSE(drawn_selected(panel, 1));
    panel.scroll_position()->set_value(0);
    pump_pending();
    EXPECT_TRUE(drawn_selected(panel, 2));
    EXPECT_FALSE(drawn_selected(panel, 0)) << "the rows show the selection of the keys they show now";
}

TEST_F(KeyTableScrollingTest, FoundKeysAndFiltersBringTheirRowsOnScreen) {
    CKeyPanel& panel = open_long_table();
    ASSERT_TRUE(panel.select_key(panel.shown_key(420)));
    const guint first = first_on_screen(panel);
    EXPECT_TRUE(first <= 420 && 420 < first + rows_on_screen(panel));
    EXPECT_EQ(number(420), number_in_row(panel, 420 - first));
    EXPECT_TRUE(drawn_selected(panel, 420 - first));

    // Far down, a filter that leaves a few keys shows them from the top.
    panel.scroll_position()->set_value(460);
    pump_pending();
    panel.set_filter_text("0000000001F");
    pump_pending();
    EXPECT_EQ(0u, first_on_screen(panel));
    EXPECT_EQ(6u, panel.shown_count()) << "1F and 1F0 to 1F4";
    EXPECT_EQ("00000000001F", number_in_row(panel, 0));
    EXPECT_EQ(6u, rows(panel).size());
}

} // namespace
