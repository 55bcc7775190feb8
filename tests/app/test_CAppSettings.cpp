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

// Every name round-trips; anything else (other case, stray spaces, out-of-range values) falls back.
TEST_F(CAppSettingsTest, EnumerationNamesAndTheirFallBacks) {
    const char* formats[] = {"hex", "em-marine", "em-marine+fa", "dec", "dec bytes", "keypad"};
    for (uint32_t i = 0; i < kKeyFormatCount; ++i) {
        EXPECT_EQ(CAppSettings::string_to_key_format(formats[i]), static_cast<key_format>(i));
        EXPECT_EQ(CAppSettings::key_format_to_string(static_cast<key_format>(i)), formats[i]);
    }
    const char* ports[] = {"", "COM", "CCID", "Server", "Client", "Proxy"};
    for (int i = 0; i <= RDX_PORT_PROXY; ++i) {
        EXPECT_EQ(CAppSettings::string_to_port_type(ports[i]), static_cast<rdx_port_type>(i));
        EXPECT_EQ(CAppSettings::port_type_to_string(static_cast<rdx_port_type>(i)), ports[i]);
    }
    for (const char* name : {"HEX", "Dec", "", "dec "}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(CAppSettings::string_to_key_format(name), KF_HEX);
        EXPECT_EQ(CAppSettings::string_to_loglevel(name), LOGLEVEL_DEBUG);
        EXPECT_EQ(CAppSettings::string_to_scan_key_type(name), SCAN_KEY_DALLAS);
        EXPECT_EQ(CAppSettings::string_to_port_type(name), RDX_PORT_NONE);
    }
    EXPECT_EQ(CAppSettings::string_to_loglevel("none"), LOGLEVEL_DEBUG);
    EXPECT_EQ(CAppSettings::string_to_loglevel("warning"), LOGLEVEL_WARNING);
    EXPECT_EQ(CAppSettings::string_to_scan_key_type("KF-300"), SCAN_KEY_DALLAS);
    EXPECT_EQ(CAppSettings::string_to_scan_key_type("kf-300"), SCAN_KEY_KF300);
    EXPECT_EQ(CAppSettings::string_to_port_type("com"), RDX_PORT_NONE);
    EXPECT_EQ(CAppSettings::key_format_to_string(static_cast<key_format>(6)), "hex");
    EXPECT_EQ(CAppSettings::scan_key_type_to_string(static_cast<ScanKeyType>(-1)), "dallas");
    EXPECT_EQ(CAppSettings::port_type_to_string(static_cast<rdx_port_type>(9)), "");
}

// ---- stored values ----

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
    // Stored as the settings dialog reads them: the number as database text, the flags as booleans.
    EXPECT_EQ(m_refOther->get_string("search-number"), "A1B2C3");
    EXPECT_TRUE(m_refOther->get_boolean("search-whole-words"));
    EXPECT_TRUE(m_refOther->get_boolean("search-case-sensitive"));
    EXPECT_TRUE(m_refOther->get_boolean("search-regex"));
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
