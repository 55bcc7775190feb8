// The main window frame driven as a user would: its title, closing with unsaved documents, keyboard
// handling between the key tables, cut/copy/paste enabling and the names assistive technology reads.
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/columnview.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/icontheme.h>
#include <gtkmm/spinbutton.h>

#include "WindowFixture.h"

namespace {
const std::string kDash = " \u2013 ";

bool has_accessible_label(Gtk::Widget& widget) {
    return gtk_test_accessible_has_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL);
}
} // namespace

class CMainWindowTest : public WindowFixture {};

struct TitleCase {
    const char* port;
    bool xor_mode;
    std::vector<std::string> databases;
    std::string title;
};

TEST_F(CMainWindowTest, TitleShowsPortXorModeAndOpenDatabases) {
    const TitleCase cases[] = {
        {"", false, {}, "Kestrix"},
        {"", false, {"a"}, "a" + kDash + "Kestrix"},
        {"/dev/ttyUSB0", false, {}, "[/dev/ttyUSB0]" + kDash + "Kestrix"},
        {"/dev/ttyUSB0", true, {"a", "b"}, "[/dev/ttyUSB0, Xor0]" + kDash + "a, b" + kDash + "Kestrix"},
    };
    make_database("a");
    make_database("b");
    CMainWindow& window = open_window();
    for (const TitleCase& c : cases) {
        SCOPED_TRACE(c.title);
        m_settings->set_boolean("xor-mode", c.xor_mode);
        window.SetAdapterPortText(c.port);
        window.OpenDatabases({c.databases.begin(), c.databases.end()});
        EXPECT_TRUE(pump_until([&] { return window.get_title().raw() == c.title; })) << window.get_title();
        window.DoClose(true, {});
    }
}

TEST_F(CMainWindowTest, ClosingAsksAboutEachModifiedDocumentInOrderAndCancelKeepsThemOpen) {
    make_database("a");
    make_database("b");
    CMainWindow& window = open_databases({"a", "b"});
    add_key(window.key_document(0), 1);
    add_key(window.key_document(1), 2);

    activate("close");
    Gtk::MessageDialog* question = wait_for_question();
    ASSERT_NE(nullptr, question);
    EXPECT_NE(std::string::npos, question->property_secondary_text().get_value().find("\"a\""));
    question->response(0); // Cancel
    ASSERT_TRUE(pump_until([&] { return find_question() == nullptr; }));
    pump_pending();
    EXPECT_TRUE(window.key_document(0).is_open());
    EXPECT_TRUE(window.key_document(1).is_open());
    EXPECT_EQ(CMainWindow::VIEW_TWO_DBS, window.GetViewMode());

    activate("close");
    question = wait_for_question();
    ASSERT_NE(nullptr, question);
    question->response(1); // No: database a closes unsaved, then database b is asked about
    ASSERT_TRUE(pump_until([&] {
        auto* next = find_question();
        return next != nullptr &&
               next->property_secondary_text().get_value().find("\"b\"") != std::string::npos;
    }));
    EXPECT_FALSE(window.key_document(0).is_open());
    EXPECT_EQ(0, keys_in_file("a"));
    find_question()->response(2); // Yes
    ASSERT_TRUE(pump_until([&] { return !window.key_document(1).is_open(); }));
    EXPECT_EQ(1, keys_in_file("b"));
    EXPECT_EQ(CMainWindow::VIEW_DATABASES, window.GetViewMode());
}

TEST_F(CMainWindowTest, CloseButtonWaitsForTheAnswerAndNoDestroysWithoutSaving) {
    make_database("a");
    CMainWindow& window = open_databases({"a"});
    add_key(window.key_document(0), 1);

    window.close();
    Gtk::MessageDialog* question = wait_for_question();
    ASSERT_NE(nullptr, question);
    pump_pending();
    ASSERT_NE(nullptr, m_window);
    EXPECT_TRUE(window.get_visible());

    question->response(1); // No
    EXPECT_TRUE(pump_until([this] { return m_window == nullptr; }));
    EXPECT_EQ(0, keys_in_file("a"));
}

TEST_F(CMainWindowTest, TabMovesBetweenTablesOnlyWhenTwoAreShown) {
    make_database("a", 2);
    make_database("b", 2);
    CMainWindow& window = open_databases({"a"});
    ASSERT_TRUE(pump_until([&] { return window.key_panel(0).has_focus_within(); }));
    EXPECT_FALSE(window.on_key_pressed(CMainWindow::kKeyTab, 0, Gdk::ModifierType{}));
    window.DoClose(true, {});

    window.OpenDatabases({"a", "b"});
    ASSERT_TRUE(pump_until([&] { return window.key_panel(0).has_focus_within(); }));
    EXPECT_TRUE(window.on_key_pressed(CMainWindow::kKeyTab, 0, Gdk::ModifierType{}));
    EXPECT_TRUE(pump_until([&] { return window.key_panel(1).has_focus_within(); }));
    EXPECT_EQ(1, window.GetActiveKeyTable());
}

struct ClipboardCase {
    const char* name;
    CMainWindow::ViewMode mode;
    bool focus_text;
    bool selection;
    CMainWindow::ClipboardKind clipboard;
    bool cut_copy;
    bool paste;
};

TEST_F(CMainWindowTest, CutCopyPasteFollowFocusSelectionAndClipboard) {
    using W = CMainWindow;
    const ClipboardCase cases[] = {
        {"entry, text on clipboard", W::VIEW_DATABASES, true, false, W::CLIPBOARD_TEXT, true, true},
        {"entry, files on clipboard", W::VIEW_ONE_DB, true, false, W::CLIPBOARD_FILES, true, false},
        {"list without selection, files", W::VIEW_DATABASES, false, false, W::CLIPBOARD_FILES, false, true},
        {"list with selection, keys", W::VIEW_DATABASES, false, true, W::CLIPBOARD_KEYS, true, false},
        {"table with selection, keys", W::VIEW_ONE_DB, false, true, W::CLIPBOARD_KEYS, true, true},
        {"table without selection, text", W::VIEW_ONE_DB, false, false, W::CLIPBOARD_TEXT, false, false},
    };
    make_database("a", 2);
    CMainWindow& window = open_window();
    for (const ClipboardCase& c : cases) {
        SCOPED_TRACE(c.name);
        window.DoClose(true, {});
        if (c.mode == W::VIEW_ONE_DB)
            window.OpenDatabases({"a"});
        Gtk::Widget& list = c.mode == W::VIEW_DATABASES ? static_cast<Gtk::Widget&>(window.db_panel().view())
                                                        : window.key_panel(0).view();
        auto selection =
            c.mode == W::VIEW_DATABASES ? window.db_panel().selection() : window.key_panel(0).selection();
        if (c.selection)
            selection->select_item(0, true);
        else
            selection->unselect_all();
        if (c.focus_text)
            window.search_entry().grab_focus();
        else
            list.grab_focus();
        window.set_clipboard_kind(c.clipboard);
        ASSERT_TRUE(pump_until([&] {
            auto* focus = window.get_focus();
            const bool in_text = focus != nullptr && dynamic_cast<Gtk::Editable*>(focus) != nullptr;
            return in_text == c.focus_text;
        }));
        EXPECT_EQ(c.cut_copy, action_enabled("win", "cut"));
        EXPECT_EQ(c.cut_copy, action_enabled("win", "copy"));
        EXPECT_EQ(c.paste, action_enabled("win", "paste"));
    }
}

TEST_F(CMainWindowTest, EveryToolbarButtonIsNamedByItsToolbarLabel) {
    CMainWindow& window = open_window();
    ASSERT_NE(nullptr, window.toolbar());
    // The application's resource path gives the icon theme our own drawings (each new path makes the theme
    // look through its folders again).
    const auto icons = Gtk::IconTheme::get_for_display(window.get_display());
    icons->add_resource_path("/org/kestrix/Kestrix/icons");
    int buttons = 0;
    for (Gtk::Widget* child : descendants(*window.toolbar())) {
        auto* button = dynamic_cast<Gtk::Button*>(child);
        if (button == nullptr)
            continue;
        ++buttons;
        const Glib::ustring tooltip = button->get_tooltip_text();
        SCOPED_TRACE(button->get_action_name());
        EXPECT_FALSE(tooltip.empty());
        EXPECT_TRUE(accessible_label_is(*button, tooltip.c_str()));
        const std::string action = button->get_action_name();
        const std::string icon = "kestrix-" + action.substr(action.find('.') + 1) + "-symbolic";
        EXPECT_EQ(icon, button->get_icon_name().raw());
        EXPECT_TRUE(icons->has_icon(icon)) << icon;
    }
    EXPECT_EQ(16, buttons);
}

TEST_F(CMainWindowTest, EveryControlHasAnAccessibleName) {
    CMainWindow& window = open_window();
    for (Gtk::Widget* widget : descendants(window)) {
        const bool control = dynamic_cast<Gtk::Button*>(widget) != nullptr ||
                             dynamic_cast<Gtk::CheckButton*>(widget) != nullptr ||
                             dynamic_cast<Gtk::Entry*>(widget) != nullptr ||
                             dynamic_cast<Gtk::SpinButton*>(widget) != nullptr ||
                             dynamic_cast<Gtk::DropDown*>(widget) != nullptr ||
                             dynamic_cast<Gtk::ColumnView*>(widget) != nullptr;
        // Parts the toolkit builds inside its own widgets (the drop-down's button, the spin button's arrows)
        // are named by the toolkit.
        if (!control || widget->get_ancestor(GTK_TYPE_DROP_DOWN) != nullptr ||
            (widget->get_parent() != nullptr &&
             widget->get_parent()->get_ancestor(GTK_TYPE_SPIN_BUTTON) != nullptr))
            continue;
        EXPECT_TRUE(has_accessible_label(*widget)) << G_OBJECT_TYPE_NAME(widget->gobj());
    }
}

// GTK's accessibility bridge (4.8), asked by a screen reader for a window past the shown ones, answers with
// the last window in GTK's list and crashes when that one is hidden. Screen readers ask just that while a
// window closes, so no closed dialog may stay in the list, hidden, until the main loop turns again.
TEST_F(CMainWindowTest, ClosedDialogsLeaveGtksListOfWindowsAtOnce) {
    CMainWindow& window = open_window();
    const auto hidden_windows = [] {
        std::vector<std::string> hidden;
        GListModel* toplevels = gtk_window_get_toplevels();
        for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
            auto* toplevel = static_cast<GtkWidget*>(g_list_model_get_item(toplevels, i));
            if (!gtk_widget_get_visible(toplevel))
                hidden.push_back(G_OBJECT_TYPE_NAME(toplevel));
            g_object_unref(toplevel);
        }
        return hidden;
    };
    const auto shown_dialog = [&]() -> GtkWindow* {
        for (Gtk::Window* toplevel : Gtk::Window::list_toplevels())
            if (toplevel != &window && toplevel->get_visible())
                return toplevel->gobj();
        return nullptr;
    };
    EXPECT_EQ(std::vector<std::string>{}, hidden_windows()) << "after start-up";

    const std::pair<const char*, std::function<void()>> openings[] = {
        {"about", [&] { activate("about"); }},
        {"settings", [&] { activate("settings"); }},
        {"find in files", [&] { activate("find-in-files"); }},
        {"message", [&] { window.ShowMessage("Something to say", Gtk::MessageType::INFO); }},
    };
    for (const auto& [name, open] : openings) {
        open();
        GtkWindow* dialog = nullptr;
        ASSERT_TRUE(pump_until([&] { return (dialog = shown_dialog()) != nullptr; })) << name;
        gtk_window_close(dialog);
        EXPECT_EQ(std::vector<std::string>{}, hidden_windows()) << name;
        pump_pending();
        EXPECT_EQ(nullptr, shown_dialog()) << name;
    }
}

TEST_F(CMainWindowTest, AboutShowsTheVersionWithoutItsBuildByte) {
    CMainWindow& window = open_window();
    activate("about");
    ASSERT_TRUE(pump_until([&] { return window.about_dialog() && window.about_dialog()->get_visible(); }));
    EXPECT_EQ("1.1.0", window.about_dialog()->get_version());
}
