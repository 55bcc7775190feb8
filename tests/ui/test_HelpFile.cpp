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
    const char* installed; // the translation lying beside kestrix.pdf, or nullptr
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
        {"en_US.UTF-8", "kestrix.en.pdf", "kestrix.pdf"}, {"de_DE.UTF-8", "kestrix.de.pdf", "kestrix.de.pdf"},
        {"de_DE.UTF-8", nullptr, "kestrix.pdf"},          {"de", "kestrix.de.pdf", "kestrix.pdf"},
        {"C", "kestrix.de.pdf", "kestrix.pdf"},
    };
    for (const HelpCase& c : cases) {
        SCOPED_TRACE(std::string(c.locale) + " beside " + (c.installed != nullptr ? c.installed : "nothing"));
        std::filesystem::remove(m_dir / "kestrix.de.pdf");
        std::filesystem::remove(m_dir / "kestrix.en.pdf");
        if (c.installed != nullptr)
            touch(c.installed);
        EXPECT_EQ(m_dir / c.file, help_file_for_locale(m_dir, c.locale));
    }
}
