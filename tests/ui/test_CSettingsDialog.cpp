// The settings dialog: the rows of both port drop-downs, devices appearing while it is open, the custom port
// controls, and every edited value landing in the settings store on OK (and none on Cancel).
#include <gtest/gtest.h>

#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/frame.h>
#include <gtkmm/label.h>
#include <gtkmm/popovermenu.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/window.h>

#include <functional>
#include <vector>

#include "keys/KeyNumber.h"
#include "readers/RdxWrapper.h"
#include "ui/CSettingsDialog.h"
#include "widgets_TestSupport.h"

namespace {

using widgets_test::find_all;
using widgets_test::find_by_text;

constexpr rdx_reader_model kAdapterModel = 4;
constexpr rdx_reader_model kReaderModel = 2;

// The controls of the "Adapter" or "Reader" frame as the user sees them.
struct PortFrame {
    Gtk::DropDown* port = nullptr;
    Gtk::DropDown* type = nullptr;
    Gtk::Entry* entry = nullptr;

    std::vector<Glib::ustring> rows() const {
        std::vector<Glib::ustring> out;
        if (!port)
            return out;
        auto list = std::dynamic_pointer_cast<Gtk::StringList>(port->get_model());
        for (guint i = 0; list && i < list->get_n_items(); ++i)
            out.push_back(list->get_string(i));
        return out;
    }
    Glib::ustring selected_row() const {
        const auto all = rows();
        const guint row = port->get_selected();
        return row < all.size() ? all[row] : Glib::ustring("(none)");
    }
    void choose(const Glib::ustring& row_text) const {
        const auto all = rows();
        for (guint i = 0; i < all.size(); ++i)
            if (all[i] == row_text) {
                port->set_selected(i);
                return;
            }
        ADD_FAILURE() << "no row " << row_text;
    }
};

class CSettingsDialogTest : public ::testing::Test {
protected:
    widgets_test::GtkReady m_gtk;

    std::unique_ptr<CSettingsDialog> open_dialog() {
        return std::make_unique<CSettingsDialog>(m_parent, m_devices);
    }

    static Gtk::Frame& frame(Gtk::Widget& dialog, const char* title) {
        auto* found = find_by_text<Gtk::Frame>(dialog, title, [](Gtk::Frame& f) { return f.get_label(); });
        if (!found)
            throw std::runtime_error(std::string("no frame ") + title);
        return *found;
    }
    static PortFrame port_frame(Gtk::Widget& dialog, const char* title) {
        PortFrame pf;
        Gtk::Frame* frame = &CSettingsDialogTest::frame(dialog, title);
        auto drops = find_all<Gtk::DropDown>(*frame);
        auto entries = find_all<Gtk::Entry>(*frame);
        if (drops.size() != 2 || entries.size() != 1) {
            ADD_FAILURE() << title << " frame holds " << drops.size() << " drop-downs, " << entries.size()
                          << " entries";
            return pf;
        }
        pf.port = drops[0];
        pf.type = drops[1];
        pf.entry = entries[0];
        return pf;
    }
    static Gtk::CheckButton& check(Gtk::Widget& dialog, const char* label) {
        auto* c =
            find_by_text<Gtk::CheckButton>(dialog, label, [](Gtk::CheckButton& b) { return b.get_label(); });
        if (!c)
            throw std::runtime_error(std::string("no check button ") + label);
        return *c;
    }
    static void click(Gtk::Widget& dialog, const char* label) {
        auto* b = find_by_text<Gtk::Button>(dialog, label, [](Gtk::Button& b) { return b.get_label(); });
        ASSERT_NE(nullptr, b) << label;
        g_signal_emit_by_name(b->gobj(), "clicked");
    }
    static Glib::RefPtr<CReaderInfo> adapter() {
        return CReaderInfo::create(RDX_PORT_COM, "/dev/ttyUSB3", kAdapterModel, 1234, 0x01020300u, 0);
    }
    static Glib::RefPtr<CReaderInfo> reader() {
        return CReaderInfo::create(RDX_PORT_CCID, "ccid-0", kReaderModel, -1, 0, 0);
    }
    // The stored port as (type, name).
    static std::pair<rdx_port_type, std::string> stored_port(bool adapter) {
        rdx_port_type type = RDX_PORT_PROXY;
        Glib::ustring name = "(unread)";
        if (adapter)
            g_AppSet->get_adapter_port(type, name);
        else
            g_AppSet->get_reader_port(type, name);
        return {type, name.raw()};
    }
    static void store(const char* key, const char* value) {
        Gio::Settings::create(CAppSettings::kSchemaId)->set_string(key, value);
    }
    static Glib::ustring row_of(const Glib::RefPtr<CReaderInfo>& info) {
        return CSettingsDialog::_ReaderInfoToStr(*info);
    }

    widgets_test::AppSettingsScope m_settings;
    Gtk::Window m_parent;
    std::shared_ptr<Gio::ListStore<CReaderInfo>> m_devices = Gio::ListStore<CReaderInfo>::create();
};

TEST_F(CSettingsDialogTest, DeviceRowTextHasTheDetailsTheDeviceReports) {
    struct {
        rdx_reader_model model;
        int serial;
        unsigned firmware;
        Glib::ustring expected;
    } cases[] = {
        {0, -1, 0, "COM7"},
        {kAdapterModel, -1, 0, Glib::ustring("COM7 ") + rdx::ReaderModelName(kAdapterModel)},
        {0, 0, 0, "COM7 s/n: 0"},
        {0, -1, 0x01020300u, "COM7 fw: " + version_to_str(0x01020300u)},
        {kReaderModel, 77, 5u,
         Glib::ustring("COM7 ") + rdx::ReaderModelName(kReaderModel) + " s/n: 77 fw: " + version_to_str(5u)},
    };
    for (const auto& c : cases) {
        auto info = CReaderInfo::create(RDX_PORT_COM, "COM7", c.model, c.serial, c.firmware, 0);
        EXPECT_EQ(c.expected, CSettingsDialog::_ReaderInfoToStr(*info));
    }
}

TEST_F(CSettingsDialogTest, PortRowsAreAutoNoneDevicesAndCustom) {
    m_devices->append(reader());
    m_devices->append(adapter());
    auto dialog = open_dialog();
    const PortFrame a = port_frame(*dialog, "Adapter");
    const PortFrame r = port_frame(*dialog, "Reader");
    // The adapter lists adapters only; "<Auto>" names the adapter it would take.
    EXPECT_EQ(
        (std::vector<Glib::ustring>{"<Auto> " + row_of(adapter()), "<None>", row_of(adapter()), "Custom..."}),
        a.rows());
    // The reader lists every device; its "<Auto>" leaves the automatic adapter to the adapter.
    EXPECT_EQ((std::vector<Glib::ustring>{"<Auto> " + row_of(reader()), "<None>", row_of(reader()),
                                          row_of(adapter()), "Custom..."}),
              r.rows());
    // The defaults are "<Auto>" for both; the custom controls are hidden.
    EXPECT_EQ(0u, a.port->get_selected());
    EXPECT_EQ(0u, r.port->get_selected());
    EXPECT_FALSE(a.type->get_visible());
    EXPECT_FALSE(a.entry->get_visible());
}

TEST_F(CSettingsDialogTest, DevicePluggedInWhileOpenAppearsWithoutChangingTheChoice) {
    auto dialog = open_dialog();
    const PortFrame a = port_frame(*dialog, "Adapter");
    const PortFrame r = port_frame(*dialog, "Reader");
    EXPECT_EQ((std::vector<Glib::ustring>{"<Auto>", "<None>", "Custom..."}), a.rows());
    r.choose("<None>");

    m_devices->append(adapter());
    EXPECT_TRUE(widgets_test::pump_until([&] { return a.rows().size() == 4 && r.rows().size() == 4; }));
    EXPECT_EQ(
        (std::vector<Glib::ustring>{"<Auto> " + row_of(adapter()), "<None>", row_of(adapter()), "Custom..."}),
        a.rows());
    EXPECT_EQ(row_of(adapter()), r.rows()[2]);
    EXPECT_EQ(0u, a.port->get_selected());
    EXPECT_EQ("<None>", r.selected_row());

    click(*dialog, "OK");
    EXPECT_EQ(std::make_pair(RDX_PORT_NONE, std::string("<Auto>")), stored_port(true));
    EXPECT_EQ(std::make_pair(RDX_PORT_NONE, std::string()), stored_port(false));
}

TEST_F(CSettingsDialogTest, StoredPortMatchingNoDeviceShowsAsCustom) {
    store("adapter-port-type", "Client");
    store("adapter-port-name", "10.0.0.9:4001");
    m_devices->append(adapter());
    auto dialog = open_dialog();
    const PortFrame a = port_frame(*dialog, "Adapter");
    EXPECT_EQ("Custom...", a.selected_row());
    EXPECT_TRUE(a.type->get_visible());
    EXPECT_TRUE(a.entry->get_visible());
    EXPECT_EQ(guint(RDX_PORT_CLIENT - 1), a.type->get_selected());
    EXPECT_EQ("10.0.0.9:4001", a.entry->get_text());
}

TEST_F(CSettingsDialogTest, EmptyStoredPortShowsAutoButStaysEmpty) {
    store("adapter-port-name", "");
    auto dialog = open_dialog();
    EXPECT_EQ(0u, port_frame(*dialog, "Adapter").port->get_selected());
    click(*dialog, "OK");
    EXPECT_EQ(std::make_pair(RDX_PORT_NONE, std::string()), stored_port(true));
}

TEST_F(CSettingsDialogTest, CustomFromAutoStartsFromTheAutomaticAdapterOrFromAnEmptyUsbPort) {
    {
        m_devices->append(adapter());
        auto dialog = open_dialog();
        const PortFrame a = port_frame(*dialog, "Adapter");
        a.choose("Custom...");
        EXPECT_TRUE(a.type->get_visible());
        EXPECT_EQ(guint(RDX_PORT_COM - 1), a.type->get_selected());
        EXPECT_EQ("/dev/ttyUSB3", a.entry->get_text());
    }
    m_devices->remove_all();
    auto dialog = open_dialog();
    const PortFrame a = port_frame(*dialog, "Adapter");
    a.choose("Custom...");
    EXPECT_EQ(0u, a.type->get_selected()); // "USB"
    EXPECT_EQ("", a.entry->get_text());
}

TEST_F(CSettingsDialogTest, EveryEditedValueLandsInTheStoreOnOk) {
    // Each switch with the store's reading of it; every one is turned from its stored value.
    const std::vector<std::pair<const char*, std::function<bool()>>> switches = {
        {"Search for USB devices", [] { return g_AppSet->get_search_for_usb(); }},
        {"Search for CCID readers", [] { return g_AppSet->get_search_for_ccid(); }},
        {"Search for IP converters in \"Server\" mode", [] { return g_AppSet->get_search_for_server(); }},
        {"Search for IP converters in \"Client\" mode (port 25000)",
         [] { return g_AppSet->get_search_for_client(); }},
        {"Writing a log file", [] { return g_AppSet->get_debug_write_log(); }},
        {"Clear log on startup", [] { return g_AppSet->get_debug_clear_log(); }},
        {"Deleting a database", [] { return g_AppSet->get_delete_db_confirm(); }},
        {"Deleting a key", [] { return g_AppSet->get_delete_key_confirm(); }},
        {"Record the big lock time", [] { return g_AppSet->get_lock_time_confirm(); }},
        {"Recording an incomplete list of keys due to limited device memory",
         [] { return g_AppSet->get_key_list_confirm(); }},
    };
    m_devices->append(reader());
    m_devices->append(adapter());
    auto dialog = open_dialog();
    std::vector<bool> before;
    for (const auto& [label, stored] : switches) {
        before.push_back(stored());
        EXPECT_EQ(before.back(), check(*dialog, label).get_active()) << label;
        check(*dialog, label).set_active(!before.back());
    }
    find_all<Gtk::Entry>(frame(*dialog, "Database folder")).at(0)->set_text("/srv/kestrix/bases");
    find_all<Gtk::DropDown>(frame(*dialog, "Debug")).at(0)->set_selected(1); // "Warning"
    const PortFrame a = port_frame(*dialog, "Adapter");
    a.choose("Custom...");
    a.type->set_selected(RDX_PORT_SERVER - 1);
    a.entry->set_text("192.168.0.20:4001");
    port_frame(*dialog, "Reader").choose(row_of(reader()));

    // Nothing reaches the store before OK.
    for (size_t i = 0; i < switches.size(); ++i)
        EXPECT_EQ(before[i], switches[i].second()) << switches[i].first;
    click(*dialog, "OK");

    for (size_t i = 0; i < switches.size(); ++i)
        EXPECT_EQ(!before[i], switches[i].second()) << switches[i].first;
    EXPECT_EQ("/srv/kestrix/bases", g_AppSet->get_db_dir());
    EXPECT_EQ(LOGLEVEL_WARNING, g_AppSet->get_debug_loglevel());
    EXPECT_EQ(std::make_pair(RDX_PORT_SERVER, std::string("192.168.0.20:4001")), stored_port(true));
    EXPECT_EQ(std::make_pair(RDX_PORT_CCID, std::string("ccid-0")), stored_port(false));
    EXPECT_FALSE(dialog->get_visible());
}

TEST_F(CSettingsDialogTest, CancelDropsEveryEdit) {
    auto dialog = open_dialog();
    check(*dialog, "Search for USB devices").set_active(!g_AppSet->get_search_for_usb());
    const bool usb = g_AppSet->get_search_for_usb();
    port_frame(*dialog, "Adapter").choose("<None>");
    click(*dialog, "Cancel");
    EXPECT_EQ(usb, g_AppSet->get_search_for_usb());
    EXPECT_EQ("", g_AppSet->get_db_dir());
    EXPECT_EQ("<Auto>", stored_port(true).second);
}

TEST_F(CSettingsDialogTest, EmptyDatabaseFolderShowsTheDefaultFolder) {
    auto dialog = open_dialog();
    EXPECT_EQ(GetDbDir().string(),
              find_all<Gtk::Entry>(frame(*dialog, "Database folder")).at(0)->get_text().raw());
}

TEST_F(CSettingsDialogTest, RightClickOnDebugOffersToOpenTheLogFolder) {
    auto dialog = open_dialog();
    dialog->present();
    ASSERT_TRUE(widgets_test::pump_until([&] { return dialog->get_mapped(); }));
    Gtk::Frame* debug = &frame(*dialog, "Debug");
    GtkEventController* secondary = widgets_test::find_controller(*debug, [](GtkEventController* c) {
        return GTK_IS_GESTURE_CLICK(c) &&
               gtk_gesture_single_get_button(GTK_GESTURE_SINGLE(c)) == GDK_BUTTON_SECONDARY;
    });
    ASSERT_NE(nullptr, secondary) << "no right-button gesture on the Debug frame";
    g_signal_emit_by_name(secondary, "pressed", 1, 20.0, 10.0);

    auto popovers = find_all<Gtk::PopoverMenu>(*debug);
    ASSERT_EQ(1u, popovers.size());
    Gtk::Label* item = nullptr;
    ASSERT_TRUE(widgets_test::pump_until([&] {
        item = find_by_text<Gtk::Label>(*popovers[0], "Open the folder containing the log file",
                                        [](Gtk::Label& l) { return l.get_text(); });
        return popovers[0]->get_visible() && item && item->get_mapped();
    }));
    // The item is live only when the dialog provides the "debug.folder" action.
    EXPECT_TRUE(item->is_sensitive());
    popovers[0]->popdown();
    dialog->hide();
}

} // namespace
