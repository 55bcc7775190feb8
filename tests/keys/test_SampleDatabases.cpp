// The sample databases that the run command puts into an empty database folder: every one opens, in both
// Cyrillic code pages, with readable Russian text.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "keys/CDbf.h"
#include <giomm/init.h>

#include "keys/CKeyDocument.h"

namespace {
std::filesystem::path samples_dir() {
    const char* source = std::getenv("KESTRIX_SOURCE_DIR");
    return std::filesystem::path(source != nullptr ? source : ".") / "resources/samples";
}
} // namespace

TEST(SampleDatabases, EveryOneOpensAndBothCodePagesAreThere) {
    Gio::init();
    std::set<DbfCodePage> code_pages;
    int databases = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples_dir())) {
        SCOPED_TRACE(entry.path().string());
        ++databases;
        CDbf table;
        table.Open(entry.path(), true);
        code_pages.insert(table.GetCodePage());
        table.Close();

        CKeyDocument doc;
        doc.set_filename(entry.path());
        doc.open();
        ASSERT_TRUE(doc.is_open());
        EXPECT_GT(doc.get_keys()->get_n_items(), 0u);
        EXPECT_FALSE(doc.get_description().empty());
        // A description read through the wrong code page shows box-drawing characters or question marks.
        for (guint i = 0; i < doc.get_keys()->get_n_items(); ++i) {
            const Glib::ustring& text = doc.get_keys()->get_item(i)->description();
            for (gunichar c : text)
                EXPECT_FALSE(c == '?' || (c >= 0x2500 && c <= 0x259F)) << text;
        }
        doc.close(false);
    }
    EXPECT_GE(databases, 4);
    EXPECT_EQ(code_pages, (std::set<DbfCodePage>{DbfCodePage::kCp866, DbfCodePage::kWindows1251}));
}
