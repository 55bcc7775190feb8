// The clipboard driven through the window's cut, copy and paste actions: keys between panels and between
// two running instances of the program (a second process of this test program under the same display),
// databases to and from file-manager-style URI lists, and refused names reported while the others are pasted.
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>

#include <gdkmm/clipboard.h>
#include <gdkmm/contentprovider.h>
#include <glibmm/bytes.h>
#include <glibmm/convert.h>

#include "StoredKeyRows.h"
#include "WindowFixture.h"
#include "keys/KeyClipboard.h"

extern char** environ;

namespace {
constexpr char kChildFlag[] = "KESTRIX_CLIPBOARD_SECOND_INSTANCE";
constexpr char kChildTest[] = "ClipboardWindowTest.SecondInstanceCopiesKeys";

// The keys both instances work with: the second instance copies them, the first pastes them.
void add_shared_keys(CKeyDocument& doc) {
    const char* descriptions[] = {"Front door, left", "Склад \"2\""};
    for (std::uint8_t i = 0; i < 2; ++i) {
        const std::uint8_t bytes[] = {static_cast<std::uint8_t>(0xA0 + i), 1, 2, 3, 4, 5};
        auto key = doc.add_key(doc.generate_key_id(), CT_EM_MARINE, CCardUID(bytes, 6), false, KA_MASTER,
                               descriptions[i]);
        key->set_created(1764950400 + i);
    }
}

void set_clipboard_text(Gtk::Widget& widget,
                        const std::vector<std::pair<const char*, std::string>>& formats) {
    std::vector<Glib::RefPtr<Gdk::ContentProvider>> providers;
    for (const auto& [type, text] : formats)
        providers.push_back(
            Gdk::ContentProvider::create(type, Glib::Bytes::create(text.data(), text.size())));
    widget.get_clipboard()->set_content(Gdk::ContentProvider::create(providers));
}
} // namespace

class ClipboardWindowTest : public WindowFixture {
protected:
    void activate_win(const char* name) { m_window->lookup_action(name)->activate(); }

    bool has_base(const char* name) const { return m_window->FindBaseByName(name) != CMainWindow::kNoBase; }

    // A database file outside the database folder, as a file manager would offer it.
    std::filesystem::path outside_database(const std::string& name, int keys) {
        const auto saved = m_db_dir;
        m_db_dir = m_root / "outside";
        std::filesystem::create_directories(m_db_dir);
        make_database(name, keys);
        m_db_dir = saved;
        return m_root / "outside" / (name + ".dbf");
    }
};

// Run only as the second instance, started by KeysTravelBetweenTwoRunningInstances: copies two keys and
// keeps the clipboard until the first instance has pasted them.
TEST_F(ClipboardWindowTest, SecondInstanceCopiesKeys) {
    const char* ready = std::getenv(kChildFlag);
    if (ready == nullptr)
        GTEST_SKIP() << "the second instance of KeysTravelBetweenTwoRunningInstances";
    make_database("theirs");
    CMainWindow& window = open_databases({"theirs"});
    add_shared_keys(window.key_document(0));
    window.key_panel(0).select_all();
    window.key_panel(0).focus_view();
    pump_pending();
    activate_win("copy");
    ASSERT_TRUE(pump_until([&] { return window.clipboard_kind() == CMainWindow::CLIPBOARD_KEYS; }));
    std::ofstream(ready) << "copied";
    const std::filesystem::path done = std::string(ready) + ".done";
    ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(done); }, std::chrono::seconds(120)));
}

TEST_F(ClipboardWindowTest, KeysTravelBetweenTwoRunningInstances) {
    make_database("ours");
    CMainWindow& window = open_databases({"ours"});
    const std::string ready = (m_root / "second-instance").string();
    const std::string flag = std::string(kChildFlag) + "=" + ready;
    const std::string filter = std::string("--gtest_filter=") + kChildTest;
    std::vector<char*> env;
    for (char** e = environ; *e != nullptr; ++e) {
        // The second instance runs its one test whatever shard of the tests this process runs.
        const std::string_view variable(*e);
        if (variable.substr(0, 13) != "ASAN_OPTIONS=" && variable.substr(0, 12) != "GTEST_SHARD_" &&
            variable.substr(0, 18) != "GTEST_TOTAL_SHARDS")
            env.push_back(*e);
    }
    env.push_back(const_cast<char*>(flag.c_str()));
    // The toolkit's own leaks are this process's run to report; the second instance reports its test.
    std::string sanitizer = "ASAN_OPTIONS=detect_leaks=0";
    env.push_back(sanitizer.data());
    env.push_back(nullptr);
    char* argv[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(filter.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(0, posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argv, env.data()));
    int status = 0;
    bool exited = false;
    auto child_exited = [&] {
        if (!exited && waitpid(child, &status, WNOHANG) == child)
            exited = true;
        return exited;
    };

    const bool copied = pump_until([&] { return std::filesystem::exists(ready) || child_exited(); },
                                   std::chrono::seconds(120));
    EXPECT_TRUE(copied && !exited) << "the second instance did not copy";
    EXPECT_TRUE(pump_until([&] { return window.clipboard_kind() == CMainWindow::CLIPBOARD_KEYS; }));
    window.key_panel(0).focus_view();
    pump_pending();
    EXPECT_TRUE(action_enabled("win", "paste"));
    activate_win("paste");
    EXPECT_TRUE(pump_until([&] { return window.key_document(0).get_keys()->get_n_items() == 2; }));

    CKeyDocument expected;
    add_shared_keys(expected);
    EXPECT_EQ(stored_rows(expected), stored_rows(window.key_document(0)));
    EXPECT_EQ(2u, window.key_panel(0).selected_keys().size());

    std::ofstream(ready + ".done") << "pasted";
    ASSERT_TRUE(pump_until(child_exited, std::chrono::seconds(120)));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(ClipboardWindowTest, CutKeysLeaveThePanelAndPasteBackWithNewIds) {
    make_database("a", 3);
    CMainWindow& window = open_databases({"a"});
    CKeyDocument& doc = window.key_document(0);
    const auto before = stored_rows(doc);
    const std::uint32_t last_id = doc.get_last_id();
    window.key_panel(0).select_all();
    window.key_panel(0).focus_view();
    pump_pending();

    activate_win("cut");
    EXPECT_EQ(0u, doc.get_keys()->get_n_items());
    EXPECT_EQ("3 keys were cut out", last_history());
    ASSERT_TRUE(pump_until([&] { return action_enabled("win", "paste"); }));

    activate_win("paste");
    ASSERT_TRUE(pump_until([&] { return doc.get_keys()->get_n_items() == 3; }));
    EXPECT_EQ(before, stored_rows(doc));
    EXPECT_GT(doc.get_keys()->get_item(0)->id(), last_id);

    // Pasted again, the same keys are updated in place and nothing is added.
    const size_t history_before = history_size();
    activate_win("paste");
    ASSERT_TRUE(pump_until([&] { return history_size() > history_before; }));
    EXPECT_EQ("3 keys pasted", last_history());
    EXPECT_EQ(before, stored_rows(doc));
}

TEST_F(ClipboardWindowTest, AnUnreadablePayloadPastesNothingAndIsReported) {
    make_database("a", 1);
    CMainWindow& window = open_databases({"a"});
    window.key_panel(0).focus_view();
    set_clipboard_text(window, {{kKeysMimeType, "[<('not a number', false, 1, 1, int64 0, 'x')>"}});
    ASSERT_TRUE(pump_until([&] { return action_enabled("win", "paste"); }));
    activate_win("paste");
    const std::string shown = message_text();
    EXPECT_FALSE(shown.empty());
    EXPECT_EQ(shown, last_history());
    EXPECT_EQ(1u, window.key_document(0).get_keys()->get_n_items());
}

TEST_F(ClipboardWindowTest, FilesFromAFileManagerArePastedIntoTheDatabaseFolder) {
    struct Case {
        const char* name;
        bool gnome_cut; // "x-special/gnome-copied-files" with "cut": the file is moved
    };
    CMainWindow& window = open_window();
    window.db_panel().focus_view();
    for (const Case c : {Case{"copied", false}, Case{"moved", true}}) {
        SCOPED_TRACE(c.name);
        const auto source = outside_database(c.name, 2);
        const std::string uri = Glib::filename_to_uri(source.string());
        if (c.gnome_cut)
            set_clipboard_text(
                window, {{kGnomeCopiedFilesMimeType, "cut\n" + uri}, {kUriListMimeType, uri + "\r\n"}});
        else
            set_clipboard_text(window, {{kUriListMimeType, uri + "\r\n"}}); // the CR LF a file manager writes
        ASSERT_TRUE(pump_until([&] { return window.clipboard_kind() == CMainWindow::CLIPBOARD_FILES; }));
        ASSERT_TRUE(pump_until([&] { return action_enabled("win", "paste"); }));
        activate_win("paste");
        ASSERT_TRUE(pump_until([&] { return has_base(c.name); }));
        EXPECT_EQ(2, keys_in_file(c.name));
        EXPECT_EQ(2, window.db_store()->get_item(window.FindBaseByName(c.name))->keys());
        EXPECT_EQ(!c.gnome_cut, std::filesystem::exists(source));
        const auto selected = window.db_panel().selected_items();
        ASSERT_EQ(1u, selected.size());
        EXPECT_EQ(c.name, selected[0]->name());
    }
}

TEST_F(ClipboardWindowTest, RefusedNamesAreReportedWhileTheOthersArePasted) {
    make_database("here");
    CMainWindow& window = open_window();
    window.db_panel().focus_view();
    const auto good = outside_database("good", 1);
    const auto text = m_root / "outside" / "notes.txt";
    std::ofstream(text) << "not a database";
    const std::string list = Glib::filename_to_uri(text.string()) + "\r\n" +
                             Glib::filename_to_uri(good.string()) + "\r\n" +
                             Glib::filename_to_uri((m_db_dir / "here.dbf").string()) + "\r\n" +
                             "http://example.org/remote.dbf\r\n";
    set_clipboard_text(window, {{kUriListMimeType, list}});
    ASSERT_TRUE(pump_until([&] { return action_enabled("win", "paste"); }));
    const size_t history_before = history_size();
    activate_win("paste");

    ASSERT_TRUE(pump_until([&] { return has_base("good"); }));
    EXPECT_EQ(1, keys_in_file("good"));
    const std::string message = message_text();
    for (const char* name : {"notes.txt", "here.dbf", "remote.dbf"})
        EXPECT_NE(std::string::npos, message.find(name)) << name << " in " << message;
    EXPECT_EQ(history_before + 3, history_size());
    EXPECT_FALSE(std::filesystem::exists(m_db_dir / "notes.txt"));
}

TEST_F(ClipboardWindowTest, CutDatabasesOfferBothFormsAndLoseTheirMarksWhenTheClipboardChanges) {
    make_database("a", 1);
    make_database("b", 1);
    CMainWindow& window = open_window();
    window.db_panel().select_all();
    window.db_panel().focus_view();
    pump_pending();
    activate_win("cut");
    ASSERT_TRUE(pump_until([&] { return window.clipboard_kind() == CMainWindow::CLIPBOARD_FILES; }));
    const auto formats = window.get_clipboard()->get_formats();
    EXPECT_TRUE(formats->contain_mime_type(kGnomeCopiedFilesMimeType));
    EXPECT_TRUE(formats->contain_mime_type(kUriListMimeType));
    EXPECT_TRUE(window.db_store()->get_item(0)->is_cut());
    EXPECT_TRUE(window.db_store()->get_item(1)->is_cut());

    window.get_clipboard()->set_text("plain text");
    ASSERT_TRUE(pump_until([&] { return window.clipboard_kind() == CMainWindow::CLIPBOARD_TEXT; }));
    EXPECT_FALSE(window.db_store()->get_item(0)->is_cut());
    EXPECT_FALSE(window.db_store()->get_item(1)->is_cut());
    EXPECT_FALSE(action_enabled("win", "paste"));
}
