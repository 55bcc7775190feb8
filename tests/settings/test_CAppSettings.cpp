// The settings store against the real compiled schema on the in-memory GSettings backend. Every test
// starts from the schema defaults; values are planted through a second Gio::Settings object, the way the
// settings dialog and bound widgets change them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

#include <giomm/init.h>
#include <giomm/settings.h>
#include <giomm/settingsschemasource.h>
#include <glibmm/main.h>

#include "settings/CAppSettings.h"

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
        m_other = Gio::Settings::create(CAppSettings::kSchemaId);
        for (const auto& key : source->lookup(CAppSettings::kSchemaId, true)->list_keys())
            m_other->reset(key);
        g_AppSet = std::make_unique<CAppSettings>();
        if (const char* cfg = std::getenv("XDG_CONFIG_HOME"))
            m_old_config_home = cfg;
    }

    void TearDown() override {
        g_AppSet.reset();
        if (m_old_config_home)
            setenv("XDG_CONFIG_HOME", m_old_config_home->c_str(), 1);
        else
            unsetenv("XDG_CONFIG_HOME");
    }

    Glib::RefPtr<Gio::Settings> m_other;
    std::optional<std::string> m_old_config_home;
};

// ---- search parameters as one change ----

TEST_F(CAppSettingsTest, SearchParamsAreAppliedInOneStep) {
    std::optional<std::string> first;
    std::set<Glib::ustring> keys;
    g_AppSet->signal_changed().connect([&](const Glib::ustring& key) {
        keys.insert(key);
        if (first)
            return;
        // Whichever key is reported first, the whole set must already be there.
        const auto& s = *g_AppSet;
        first = std::to_string(s.get_search_width()) + " " + std::to_string(s.get_search_height()) + " " +
                std::to_string(s.get_search_flags()) + " " + s.get_search_number().ToString() + " " +
                std::to_string(s.get_search_short()) + " " + std::to_string(s.get_search_added_from()) + " " +
                std::to_string(s.get_search_added_to()) + " " + std::to_string(s.get_search_attributes()) +
                " " + s.get_search_description().raw() + " " + std::to_string(s.get_search_desc_flags());
    });
    g_AppSet->set_search_params(900, 650, 0x3, CCardUID(0xA1B2C3, 3), true, -5, 1700000000, 0x1E, "Lobby",
                                CAppSettings::kDescWholeWords | CAppSettings::kDescCaseSensitive |
                                    CAppSettings::kDescRegex);
    ASSERT_TRUE(wait_for([&] { return keys.size() == 12; })) << "changed keys: " << keys.size();
    EXPECT_EQ(first.value_or("(none)"), "900 650 3 A1B2C3 1 -5 1700000000 30 Lobby 7");
    // Stored as the settings dialog reads them: the number as database text, the flags as booleans.
    EXPECT_EQ(m_other->get_string("search-number"), "A1B2C3");
    EXPECT_TRUE(m_other->get_boolean("search-whole-words"));
    EXPECT_TRUE(m_other->get_boolean("search-case-sensitive"));
    EXPECT_TRUE(m_other->get_boolean("search-regex"));
}

TEST_F(CAppSettingsTest, ChangesMadeElsewhereAreReEmitted) {
    std::map<Glib::ustring, int> seen;
    g_AppSet->signal_changed().connect([&](const Glib::ustring& key) { ++seen[key]; });
    m_other->set_boolean("xor-mode", true);
    m_other->set_string("debug-log-level", "info");
    ASSERT_TRUE(wait_for([&] { return seen.count("xor-mode") && seen.count("debug-log-level"); }));
    EXPECT_TRUE(g_AppSet->get_xor_mode());
    g_AppSet->set_key_format(KF_DECIMAL);
    ASSERT_TRUE(wait_for([&] { return seen.count("key-format") != 0; }));
}

TEST_F(CAppSettingsTest, NoSignalAfterDestruction) {
    int calls = 0;
    g_AppSet->signal_changed().connect([&](const Glib::ustring&) { ++calls; });
    g_AppSet.reset();
    m_other->set_boolean("xor-mode", true);
    for (int i = 0; i < 10; ++i)
        g_main_context_iteration(nullptr, FALSE);
    EXPECT_EQ(calls, 0);
}

TEST_F(CAppSettingsTest, EmptyDbDirGivesDefaultFolder) {
    setenv("XDG_CONFIG_HOME", "/tmp/kestrix-cfg", 1);
    EXPECT_EQ(GetDbDir(), fs::path("/tmp/kestrix-cfg/kestrix/bases"));
    EXPECT_FALSE(fs::exists("/tmp/kestrix-cfg/kestrix/bases")); // not created here
}

// ---- stored strings that are not (exactly) a known name ----

// Comparisons are exact and case-sensitive; anything unknown reads as the fallback of its enumeration.
TEST_F(CAppSettingsTest, StoredNamesReadExactlyOrAsTheFallback) {
    const auto& s = *g_AppSet;
    const auto adapter_port_type = [&] {
        rdx_port_type type = RDX_PORT_NONE;
        Glib::ustring name;
        s.get_adapter_port(type, name);
        return static_cast<int>(type);
    };
    const auto reader_port_type = [&] {
        rdx_port_type type = RDX_PORT_NONE;
        Glib::ustring name;
        s.get_reader_port(type, name);
        return static_cast<int>(type);
    };
    const struct {
        const char* key;
        const char* stored;
        std::function<int()> read;
        int expected;
    } rows[] = {
        {"key-format", "HEX", [&] { return static_cast<int>(s.get_key_format()); }, KF_HEX},
        {"key-format", "dec", [&] { return static_cast<int>(s.get_key_format()); }, KF_DECIMAL},
        {"key-format", "dec bytes", [&] { return static_cast<int>(s.get_key_format()); }, KF_DECIMAL_BYTES},
        {"key-format", "em-marine+fa", [&] { return static_cast<int>(s.get_key_format()); },
         KF_EM_MARINE_CODE},
        {"key-format", "", [&] { return static_cast<int>(s.get_key_format()); }, KF_HEX},
        {"debug-log-level", "", [&] { return static_cast<int>(s.get_debug_loglevel()); }, LOGLEVEL_DEBUG},
        {"debug-log-level", "none", [&] { return static_cast<int>(s.get_debug_loglevel()); }, LOGLEVEL_DEBUG},
        {"debug-log-level", "Error", [&] { return static_cast<int>(s.get_debug_loglevel()); },
         LOGLEVEL_DEBUG},
        {"debug-log-level", "warning", [&] { return static_cast<int>(s.get_debug_loglevel()); },
         LOGLEVEL_WARNING},
        {"scan-key-type", "KF-300", [&] { return static_cast<int>(s.get_scan_key_type()); }, SCAN_KEY_DALLAS},
        {"scan-key-type", "kf-300", [&] { return static_cast<int>(s.get_scan_key_type()); }, SCAN_KEY_KF300},
        {"adapter-port-type", "COM", adapter_port_type, RDX_PORT_COM},
        {"adapter-port-type", "com", adapter_port_type, RDX_PORT_NONE},
        {"adapter-port-type", " COM", adapter_port_type, RDX_PORT_NONE},
        {"reader-port-type", "Proxy", reader_port_type, RDX_PORT_PROXY},
        {"reader-port-type", "", reader_port_type, RDX_PORT_NONE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key) + " = \"" + row.stored + "\"");
        m_other->set_string(row.key, row.stored);
        EXPECT_EQ(row.read(), row.expected);
    }
}

// The searched number is database text: pairs of digits read from the end, anything else the empty number.
TEST_F(CAppSettingsTest, StoredSearchNumberReadsAsDatabaseText) {
    const struct {
        const char* stored;
        const char* number;
    } rows[] = {{"ABC", "BC"}, {"0a1B2c", "0A1B2C"}, {"", ""}, {"12 34", ""}, {"xyz", ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.stored);
        m_other->set_string("search-number", row.stored);
        EXPECT_EQ(g_AppSet->get_search_number().ToString(), row.number);
    }
}
