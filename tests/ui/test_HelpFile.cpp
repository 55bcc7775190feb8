// Which help document opens for a locale, with and without an installed translation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ui/HelpFile.h"

namespace {
struct HelpCase {
    const char* locale;
    bool german_installed;
    const char* file;
};

class HelpFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrix-help-XXXXXX").string();
        m_dir = mkdtemp(pattern.data());
        touch("kestrix.pdf");
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    void touch(const char* name) { std::ofstream(m_dir / name) << "%PDF"; }

    std::filesystem::path m_dir;
};
} // namespace

TEST_F(HelpFileTest, LanguageBeforeTheUnderscorePicksAnInstalledTranslation) {
    const HelpCase cases[] = {
        {"en_US.UTF-8", true, "kestrix.pdf"},
        {"de_DE.UTF-8", true, "kestrix.de.pdf"},
        {"de_DE.UTF-8", false, "kestrix.pdf"},
        {"de", true, "kestrix.pdf"},
        {"C", true, "kestrix.pdf"},
    };
    for (const HelpCase& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + (c.german_installed ? " with German" : " without German"));
        std::filesystem::remove(m_dir / "kestrix.de.pdf");
        if (c.german_installed)
            touch("kestrix.de.pdf");
        EXPECT_EQ(m_dir / c.file, help_file_for_locale(m_dir, c.locale));
    }
}
