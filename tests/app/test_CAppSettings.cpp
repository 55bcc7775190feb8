// The settings store against the real compiled schema on the in-memory GSettings backend. Every test
// starts from the schema defaults; values are planted through a second Gio::Settings object, the way the
// settings dialog and bound widgets change them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <giomm/init.h>
#include <giomm/settings.h>
#include <giomm/settingsschemasource.h>
#include <glibmm/main.h>

#include "app/CAppSettings.h"

namespace fs = std::filesystem;

namespace {
// Runs the default main context until `done` or a generous deadline.
template <typename Pred>
bool wait_for(Pred done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < deadline)
        g_main_context_iteration(nullptr, FALSE);
    return done();
}
} // namespace

class CAppSettingsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // The test runner sets both; these make a direct run of the program behave the same.
        setenv("GSETTINGS_BACKEND", "memory", 0);
        if (!std::getenv("GSETTINGS_SCHEMA_DIR") && std::getenv("KESTRIX_BINARY_DIR"))
            setenv("GSETTINGS_SCHEMA_DIR",
                   (std::string(std::getenv("KESTRIX_BINARY_DIR")) + "/schemas").c_str(), 1);
        Gio::init();
    }

    void SetUp() override {
        auto source = Gio::SettingsSchemaSource::get_default();
        ASSERT_TRUE(source && source->lookup(CAppSettings::kSchemaId, true))
            << "schema not found; set GSETTINGS_SCHEMA_DIR";
        m_refOther = Gio::Settings::create(CAppSettings::kSchemaId);
        for (const auto& key : source->lookup(CAppSettings::kSchemaId, true)->list_keys())
            m_refOther->reset(key);
        g_AppSet = std::make_unique<CAppSettings>();
        if (const char* cfg = std::getenv("XDG_CONFIG_HOME"))
            m_oldConfigHome = cfg;
    }

    void TearDown() override {
        g_AppSet.reset();
        if (m_oldConfigHome)
            setenv("XDG_CONFIG_HOME", m_oldConfigHome->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    Glib::RefPtr<Gio::Settings> m_refOther;
    std::optional<std::string> m_oldConfigHome;
};

// ---- enumeration names ----

TEST_F(CAppSettingsTest, KeyFormatNames) {
    const char* names[] = {"hex", "em-marine", "em-marine+fa", "dec", "dec bytes", "keypad"};
    for (uint32_t i = 0; i < kKeyFormatCount; ++i) {
        EXPECT_EQ(CAppSettings::string_to_key_format(names[i]), static_cast<key_format>(i));
        EXPECT_EQ(CAppSettings::key_format_to_string(static_cast<key_format>(i)), names[i]);
    }
}

TEST_F(CAppSettingsTest, UnknownKeyFormatReadsAsHex) {
    EXPECT_EQ(CAppSettings::string_to_key_format("HEX"), KF_HEX);
    EXPECT_EQ(CAppSettings::string_to_key_format("Dec"), KF_HEX);
    EXPECT_EQ(CAppSettings::string_to_key_format(""), KF_HEX);
    EXPECT_EQ(CAppSettings::string_to_key_format("dec "), KF_HEX);
    EXPECT_EQ(CAppSettings::key_format_to_string(static_cast<key_format>(6)), "hex");
}

TEST_F(CAppSettingsTest, ScanKeyTypeNames) {
    EXPECT_EQ(CAppSettings::string_to_scan_key_type("dallas"), SCAN_KEY_DALLAS);
    EXPECT_EQ(CAppSettings::string_to_scan_key_type("em-marine"), SCAN_KEY_EM_MARINE);
    EXPECT_EQ(CAppSettings::string_to_scan_key_type("kf-300"), SCAN_KEY_KF300);
    EXPECT_EQ(CAppSettings::string_to_scan_key_type("KF-300"), SCAN_KEY_DALLAS);
    EXPECT_EQ(CAppSettings::string_to_scan_key_type(""), SCAN_KEY_DALLAS);
    EXPECT_EQ(CAppSettings::scan_key_type_to_string(SCAN_KEY_KF300), "kf-300");
    EXPECT_EQ(CAppSettings::scan_key_type_to_string(static_cast<ScanKeyType>(-1)), "dallas");
}

TEST_F(CAppSettingsTest, LogLevelNames) {
    EXPECT_EQ(CAppSettings::string_to_loglevel("error"), LOGLEVEL_ERROR);
    EXPECT_EQ(CAppSettings::string_to_loglevel("warning"), LOGLEVEL_WARNING);
    EXPECT_EQ(CAppSettings::string_to_loglevel("info"), LOGLEVEL_INFO);
    EXPECT_EQ(CAppSettings::string_to_loglevel("debug"), LOGLEVEL_DEBUG);
    EXPECT_EQ(CAppSettings::loglevel_to_string(LOGLEVEL_WARNING), "warning");
}

TEST_F(CAppSettingsTest, UnknownLogLevelReadsAsDebug) {
    EXPECT_EQ(CAppSettings::string_to_loglevel(""), LOGLEVEL_DEBUG);
    EXPECT_EQ(CAppSettings::string_to_loglevel("none"), LOGLEVEL_DEBUG);
    EXPECT_EQ(CAppSettings::string_to_loglevel("Error"), LOGLEVEL_DEBUG);
}

TEST_F(CAppSettingsTest, PortTypeNames) {
    const char* names[] = {"", "COM", "CCID", "Server", "Client", "Proxy"};
    for (int i = 0; i <= RDX_PORT_PROXY; ++i) {
        EXPECT_EQ(CAppSettings::string_to_port_type(names[i]), static_cast<rdx_port_type>(i));
        EXPECT_EQ(CAppSettings::port_type_to_string(static_cast<rdx_port_type>(i)), names[i]);
    }
    EXPECT_EQ(CAppSettings::string_to_port_type("com"), RDX_PORT_NONE);
    EXPECT_EQ(CAppSettings::string_to_port_type("Usb"), RDX_PORT_NONE);
    EXPECT_EQ(CAppSettings::port_type_to_string(static_cast<rdx_port_type>(9)), "");
}

// ---- stored values ----

TEST_F(CAppSettingsTest, DefaultsAreUsable) {
    EXPECT_EQ(g_AppSet->get_window_width(), 700);
    EXPECT_EQ(g_AppSet->get_window_height(), 250);
    EXPECT_EQ(g_AppSet->get_key_format(), KF_HEX);
    EXPECT_EQ(g_AppSet->get_scan_key_type(), SCAN_KEY_DALLAS);
    EXPECT_FALSE(g_AppSet->get_debug_write_log());
    EXPECT_EQ(g_AppSet->get_debug_loglevel(), LOGLEVEL_DEBUG);
    EXPECT_TRUE(g_AppSet->get_search_for_usb() && g_AppSet->get_search_for_server() &&
                g_AppSet->get_search_for_client() && g_AppSet->get_search_for_ccid());
    EXPECT_TRUE(g_AppSet->get_delete_db_confirm() && g_AppSet->get_delete_key_confirm() &&
                g_AppSet->get_lock_time_confirm() && g_AppSet->get_key_list_confirm());
    rdx_port_type type = RDX_PORT_PROXY;
    Glib::ustring name;
    g_AppSet->get_adapter_port(type, name);
    EXPECT_EQ(type, RDX_PORT_NONE);
    EXPECT_EQ(name, "<Auto>");
    g_AppSet->get_reader_port(type, name);
    EXPECT_EQ(type, RDX_PORT_NONE);
    EXPECT_EQ(name, "<Auto>");
    EXPECT_TRUE(g_AppSet->get_bases_column_order().empty());
    EXPECT_EQ(g_AppSet->get_keys_sort_column(), "");
    EXPECT_TRUE(g_AppSet->get_search_number().empty());
}

TEST_F(CAppSettingsTest, EnumerationsAreReadFromTheirStrings) {
    m_refOther->set_string("key-format", "HEX");
    EXPECT_EQ(g_AppSet->get_key_format(), KF_HEX);
    m_refOther->set_string("key-format", "dec");
    EXPECT_EQ(g_AppSet->get_key_format(), KF_DECIMAL);
    m_refOther->set_string("debug-log-level", "");
    EXPECT_EQ(g_AppSet->get_debug_loglevel(), LOGLEVEL_DEBUG);
    m_refOther->set_string("debug-log-level", "warning");
    EXPECT_EQ(g_AppSet->get_debug_loglevel(), LOGLEVEL_WARNING);
    m_refOther->set_string("scan-key-type", "nonsense");
    EXPECT_EQ(g_AppSet->get_scan_key_type(), SCAN_KEY_DALLAS);
}

TEST_F(CAppSettingsTest, PortPairsAreReadTogether) {
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    m_refOther->set_string("adapter-port-type", "COM");
    m_refOther->set_string("adapter-port-name", "/dev/ttyUSB0");
    g_AppSet->get_adapter_port(type, name);
    EXPECT_EQ(type, RDX_PORT_COM);
    EXPECT_EQ(name, "/dev/ttyUSB0");
    m_refOther->set_string("adapter-port-type", "com");
    g_AppSet->get_adapter_port(type, name);
    EXPECT_EQ(type, RDX_PORT_NONE);
    m_refOther->set_string("reader-port-type", "Server");
    m_refOther->set_string("reader-port-name", "192.168.0.7:4001");
    g_AppSet->get_reader_port(type, name);
    EXPECT_EQ(type, RDX_PORT_SERVER);
    EXPECT_EQ(name, "192.168.0.7:4001");
}

TEST_F(CAppSettingsTest, SingleSettersStoreTheirNames) {
    g_AppSet->set_key_format(KF_EM_MARINE_CODE);
    EXPECT_EQ(m_refOther->get_string("key-format"), "em-marine+fa");
    g_AppSet->set_scan_key_type(SCAN_KEY_EM_MARINE);
    EXPECT_EQ(m_refOther->get_string("scan-key-type"), "em-marine");
    g_AppSet->set_bases_column_order({"name", "count"});
    g_AppSet->set_keys_column_order({"number"});
    EXPECT_EQ(g_AppSet->get_bases_column_order(), (std::vector<Glib::ustring>{"name", "count"}));
    EXPECT_EQ(g_AppSet->get_keys_column_order(), (std::vector<Glib::ustring>{"number"}));
}

TEST_F(CAppSettingsTest, PairSettersStoreBothValues) {
    g_AppSet->set_window_size(1024, 600);
    g_AppSet->set_history_size(300, 200);
    g_AppSet->set_mifare_size(640, 480);
    g_AppSet->set_bases_sort("count", true);
    g_AppSet->set_keys_sort("number", false);
    EXPECT_EQ(g_AppSet->get_window_width(), 1024);
    EXPECT_EQ(g_AppSet->get_window_height(), 600);
    EXPECT_EQ(g_AppSet->get_history_width(), 300);
    EXPECT_EQ(g_AppSet->get_history_height(), 200);
    EXPECT_EQ(g_AppSet->get_mifare_width(), 640);
    EXPECT_EQ(g_AppSet->get_mifare_height(), 480);
    EXPECT_EQ(g_AppSet->get_bases_sort_column(), "count");
    EXPECT_TRUE(g_AppSet->get_bases_sort_descending());
    EXPECT_EQ(g_AppSet->get_keys_sort_column(), "number");
    EXPECT_FALSE(g_AppSet->get_keys_sort_descending());
}

// ---- search number ----

TEST_F(CAppSettingsTest, SearchNumberOfThreeDigitsReadsAsOneByte) {
    m_refOther->set_string("search-number", "ABC");
    const CCardUID number = g_AppSet->get_search_number();
    EXPECT_EQ(number.length, 1);
    EXPECT_EQ(number.bytes[0], 0xBC);
}

TEST_F(CAppSettingsTest, InvalidSearchNumberReadsAsEmpty) {
    m_refOther->set_string("search-number", "12G4");
    EXPECT_TRUE(g_AppSet->get_search_number().empty());
    m_refOther->set_string("search-number", "");
    EXPECT_TRUE(g_AppSet->get_search_number().empty());
}

// ---- search parameters as one change ----

TEST_F(CAppSettingsTest, SearchParamsRoundTrip) {
    const uint8_t bytes[] = {0x56, 0x34, 0x12};
    g_AppSet->set_search_params(800, 500, 0x1F, CCardUID(bytes, 3), true, 1000, 2000, 0x0A, "Floor 2",
                                CAppSettings::kDescWholeWords | CAppSettings::kDescRegex);
    EXPECT_EQ(g_AppSet->get_search_width(), 800);
    EXPECT_EQ(g_AppSet->get_search_height(), 500);
    EXPECT_EQ(g_AppSet->get_search_flags(), 0x1Fu);
    EXPECT_EQ(m_refOther->get_string("search-number"), "123456");
    EXPECT_EQ(g_AppSet->get_search_number(), CCardUID(bytes, 3));
    EXPECT_TRUE(g_AppSet->get_search_short());
    EXPECT_EQ(g_AppSet->get_search_added_from(), 1000);
    EXPECT_EQ(g_AppSet->get_search_added_to(), 2000);
    EXPECT_EQ(g_AppSet->get_search_attributes(), 0x0Au);
    EXPECT_EQ(g_AppSet->get_search_description(), "Floor 2");
    EXPECT_TRUE(m_refOther->get_boolean("search-whole-words"));
    EXPECT_FALSE(m_refOther->get_boolean("search-case-sensitive"));
    EXPECT_TRUE(m_refOther->get_boolean("search-regex"));
    EXPECT_EQ(g_AppSet->get_search_desc_flags(), CAppSettings::kDescWholeWords | CAppSettings::kDescRegex);
}

TEST_F(CAppSettingsTest, SearchParamsAreAppliedInOneStep) {
    struct Seen {
        int width, height;
        uint32_t criteria;
        std::string number;
        bool is_short;
        int64_t from, to;
        uint32_t attributes;
        Glib::ustring description;
        uint32_t desc_flags;
    };
    std::optional<Seen> first;
    std::set<Glib::ustring> keys;
    g_AppSet->signal_changed().connect([&](const Glib::ustring& key) {
        keys.insert(key);
        if (!first) {
            // Whichever key is reported first, the whole set must already be there.
            first = Seen{g_AppSet->get_search_width(),       g_AppSet->get_search_height(),
                         g_AppSet->get_search_flags(),       g_AppSet->get_search_number().ToString(),
                         g_AppSet->get_search_short(),       g_AppSet->get_search_added_from(),
                         g_AppSet->get_search_added_to(),    g_AppSet->get_search_attributes(),
                         g_AppSet->get_search_description(), g_AppSet->get_search_desc_flags()};
        }
    });
    g_AppSet->set_search_params(900, 650, 0x3, CCardUID(0xA1B2C3, 3), true, -5, 1700000000, 0x1E, "Lobby",
                                CAppSettings::kDescWholeWords | CAppSettings::kDescCaseSensitive |
                                    CAppSettings::kDescRegex);
    ASSERT_TRUE(wait_for([&] { return keys.size() == 12; })) << "changed keys: " << keys.size();
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(first->width, 900);
    EXPECT_EQ(first->height, 650);
    EXPECT_EQ(first->criteria, 0x3u);
    EXPECT_EQ(first->number, "A1B2C3");
    EXPECT_TRUE(first->is_short);
    EXPECT_EQ(first->from, -5);
    EXPECT_EQ(first->to, 1700000000);
    EXPECT_EQ(first->attributes, 0x1Eu);
    EXPECT_EQ(first->description, "Lobby");
    EXPECT_EQ(first->desc_flags, 7u);
}

TEST_F(CAppSettingsTest, ChangesMadeElsewhereAreReEmitted) {
    std::map<Glib::ustring, int> seen;
    g_AppSet->signal_changed().connect([&](const Glib::ustring& key) { ++seen[key]; });
    m_refOther->set_boolean("xor-mode", true);
    m_refOther->set_string("debug-log-level", "info");
    ASSERT_TRUE(wait_for([&] { return seen.count("xor-mode") && seen.count("debug-log-level"); }));
    EXPECT_TRUE(g_AppSet->get_xor_mode());
    g_AppSet->set_key_format(KF_DECIMAL);
    ASSERT_TRUE(wait_for([&] { return seen.count("key-format") != 0; }));
}

TEST_F(CAppSettingsTest, NoSignalAfterDestruction) {
    int calls = 0;
    g_AppSet->signal_changed().connect([&](const Glib::ustring&) { ++calls; });
    g_AppSet.reset();
    m_refOther->set_boolean("xor-mode", true);
    for (int i = 0; i < 10; ++i)
        g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(calls, 0);
}

// ---- database folder ----

TEST_F(CAppSettingsTest, EmptyDbDirGivesDefaultFolder) {
    setenv("XDG_CONFIG_HOME", "/tmp/kestrix-cfg", 1);
    EXPECT_EQ(GetDbDir(), fs::path("/tmp/kestrix-cfg/kestrix/bases"));
    EXPECT_FALSE(fs::exists("/tmp/kestrix-cfg/kestrix/bases")); // not created here
}

TEST_F(CAppSettingsTest, DbDirIsTakenVerbatim) {
    m_refOther->set_string("db-dir", "my/bases");
    EXPECT_EQ(g_AppSet->get_db_dir(), "my/bases");
    EXPECT_EQ(GetDbDir(), fs::path("my/bases"));
    m_refOther->set_string("db-dir", "~/bases/$USER");
    EXPECT_EQ(GetDbDir(), fs::path("~/bases/$USER"));
}
