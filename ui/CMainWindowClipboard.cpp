// The window's side of the clipboard: selected keys travel as the program's own payload (also to another
// running instance), selected databases as file URIs in the forms desktop file managers use. The formats
// themselves are the clipboard exchange's; here the content is offered, read back asynchronously and merged
// into the panel or copied into the database folder, and the paste action follows what the clipboard holds.
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>

#include <gdkmm/clipboard.h>
#include <gdkmm/contentformats.h>
#include <gdkmm/contentprovider.h>
#include <giomm/file.h>
#include <giomm/inputstream.h>
#include <glibmm/bytes.h>
#include <gtkmm/bitset.h>
#include <sigc++/adaptors/track_obj.h>

#include "app/i18n.h"
#include "keys/CKeyDb.h"
#include "keys/KeyClipboard.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
Glib::RefPtr<Gdk::ContentProvider> text_content(const char* mime_type, const std::string& text) {
    return Gdk::ContentProvider::create(mime_type, Glib::Bytes::create(text.data(), text.size()));
}

std::vector<std::filesystem::path> base_paths(const std::vector<Glib::RefPtr<CDbInfo>>& bases) {
    std::vector<std::filesystem::path> paths;
    const std::filesystem::path dir = std::filesystem::absolute(GetDbDir());
    for (const auto& base : bases)
        paths.push_back(dir / (base->name().raw() + CKeyDb::kFileExtension));
    return paths;
}

// Reads a stream to its end, a piece at a time, then hands the text on; a failed read ends there.
void read_to_end(const Glib::RefPtr<Gio::InputStream>& input, const std::shared_ptr<std::string>& text,
                 const sigc::trackable& owner, const std::function<void(std::string)>& done) {
    constexpr gsize kPiece = 64 * 1024;
    input->read_bytes_async(kPiece, sigc::track_obj(
                                        [input, text, &owner, done](Glib::RefPtr<Gio::AsyncResult>& result) {
                                            Glib::RefPtr<Glib::Bytes> bytes;
                                            try {
                                                bytes = input->read_bytes_finish(result);
                                            } catch (const Glib::Error& e) {
                                                std::cerr << "Async read error: " << e.what() << std::endl;
                                                return;
                                            }
                                            gsize size = 0;
                                            const auto* data = static_cast<const char*>(
                                                bytes ? bytes->get_data(size) : nullptr);
                                            if (data == nullptr || size == 0) {
                                                done(std::move(*text));
                                                return;
                                            }
                                            text->append(data, size);
                                            read_to_end(input, text, owner, done);
                                        },
                                        owner));
}

// Reads the clipboard's content of one type, then hands the text on.
void read_clipboard_text(const Glib::RefPtr<Gdk::Clipboard>& clipboard, const char* mime_type,
                         const sigc::trackable& owner, std::function<void(std::string)> done) {
    clipboard->read_async({mime_type}, Glib::PRIORITY_DEFAULT,
                          sigc::track_obj(
                              [clipboard, done, &owner](Glib::RefPtr<Gio::AsyncResult>& result) {
                                  Glib::RefPtr<Gio::InputStream> input;
                                  try {
                                      Glib::ustring type;
                                      input = clipboard->read_finish(result, type);
                                  } catch (const Glib::Error& e) {
                                      std::cerr << "Async read error: " << e.what() << std::endl;
                                      return;
                                  }
                                  read_to_end(input, std::make_shared<std::string>(), owner, done);
                              },
                              owner));
}
} // namespace

void copy_files_to_clipboard(const Glib::RefPtr<Gdk::Clipboard>& clipboard,
                             const std::vector<std::filesystem::path>& paths) {
    clipboard->set_content(text_content(kUriListMimeType, format_uri_list(paths)));
}

void cut_files_to_clipboard(const Glib::RefPtr<Gdk::Clipboard>& clipboard,
                            const std::vector<std::filesystem::path>& paths) {
    clipboard->set_content(Gdk::ContentProvider::create(
        {text_content(kUriListMimeType, format_uri_list(paths)),
         text_content(kGnomeCopiedFilesMimeType, format_gnome_copied_files(paths, true))}));
}

void CMainWindow::connect_clipboard() {
    // A member slot: the connection ends with the window, the clipboard lives on.
    get_clipboard()->signal_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_clipboard_changed));
    on_clipboard_changed();
}

void CMainWindow::on_clipboard_changed() {
    const auto formats = get_clipboard()->get_formats();
    ClipboardKind kind = CLIPBOARD_OTHER;
    if (formats->contain_mime_type(kGnomeCopiedFilesMimeType) || formats->contain_mime_type(kUriListMimeType))
        kind = CLIPBOARD_FILES;
    else if (formats->contain_mime_type(kKeysMimeType))
        kind = CLIPBOARD_KEYS;
    else if (formats->contain_mime_type("text/plain"))
        kind = CLIPBOARD_TEXT;
    // Cut marks mean "moved once pasted"; with other content on the clipboard nothing will be moved.
    if (kind != CLIPBOARD_FILES) {
        for (guint i = 0, n = m_db_store->get_n_items(); i < n; ++i)
            m_db_store->get_item(i)->set_cut(false);
    }
    set_clipboard_kind(kind);
}

// ---- keys ----

void CMainWindow::CopyKeysToClipboard() {
    const auto keys = m_key_panels[m_active_table]->selected_keys();
    if (keys.empty())
        return;
    get_clipboard()->set_content(text_content(kKeysMimeType, encode_key_payload(keys)));
}

void CMainWindow::CutKeysToClipboard() {
    const auto keys = m_key_panels[m_active_table]->selected_keys();
    if (keys.empty())
        return;
    CopyKeysToClipboard();
    for (const auto& key : keys)
        key->set_deleted(true);
    m_docs[m_active_table].remove_deleted_keys();
    SetStatusMessage(
        Glib::ustring::sprintf(NP_("%u keys were cut out", keys.size()), static_cast<unsigned>(keys.size())));
}

void CMainWindow::PasteKeysFromClipboard() {
    read_clipboard_text(get_clipboard(), kKeysMimeType, *this,
                        [this](std::string text) { paste_keys_text(text); });
}

void CMainWindow::paste_keys_text(const std::string& text) {
    const int table = m_active_table;
    CKeyDocument& doc = m_docs[table];
    if (!doc.is_open())
        return;
    try {
        const std::vector<key_info> keys = parse_key_payload(text);
        // Before the first selected key, or at the end.
        guint position = doc.get_keys()->get_n_items();
        const auto selected = m_key_panels[table]->selected_keys();
        if (!selected.empty()) {
            const auto [found, at] = doc.get_keys()->find(selected.front());
            if (found)
                position = at;
        }
        const CKeyDocument::KeyList inserted = paste_keys_into_document(doc, keys, position);
        select_keys(table, inserted);
        SetStatusMessage(
            Glib::ustring::sprintf(NP_("%u keys pasted", keys.size()), static_cast<unsigned>(keys.size())));
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        report_failure(e.what());
    }
    update_action_states();
}

void CMainWindow::select_keys(int table, const CKeyDocument::KeyList& keys) {
    m_key_panels[table]->select_keys(keys);
}

// ---- databases ----

void CMainWindow::CopyBasesToClipboard() {
    const auto bases = m_db_panel.selected_items();
    if (!bases.empty())
        copy_files_to_clipboard(get_clipboard(), base_paths(bases));
}

void CMainWindow::CutBasesToClipboard() {
    const auto bases = m_db_panel.selected_items();
    if (bases.empty())
        return;
    cut_files_to_clipboard(get_clipboard(), base_paths(bases));
    for (const auto& base : bases)
        base->set_cut(true);
}

void CMainWindow::PasteBasesFromClipboard() {
    auto clipboard = get_clipboard();
    const bool gnome_form = clipboard->get_formats()->contain_mime_type(kGnomeCopiedFilesMimeType);
    read_clipboard_text(clipboard, gnome_form ? kGnomeCopiedFilesMimeType : kUriListMimeType, *this,
                        [this, gnome_form](std::string text) { paste_files(text, gnome_form); });
}

void CMainWindow::paste_files(const std::string& text, bool gnome_form) {
    const ClipboardFiles files = gnome_form ? parse_gnome_copied_files(text) : parse_uri_list(text);
    const DatabasePastePlan plan = plan_database_paste(files.uris, GetDbDir());

    if (!plan.refused.empty()) {
        Glib::ustring lines;
        for (const auto& refusal : plan.refused) {
            const Glib::ustring line = Glib::ustring::sprintf(_("Not pasted: %s"), refusal.reason);
            SetStatusMessage(line);
            lines += (lines.empty() ? "" : "\n") + line;
        }
        ShowMessage(lines, Gtk::MessageType::WARNING);
    }

    // The list selects what was pasted once every transfer has finished, whichever way it went.
    struct Pending {
        std::size_t remaining = 0;
        std::vector<Glib::ustring> names;
    };
    auto pending = std::make_shared<Pending>();
    pending->remaining = plan.accepted.size();
    for (const auto& transfer : plan.accepted) {
        auto source = Gio::File::create_for_path(transfer.source.string());
        // The file arrives under a name the database list does not show and takes its own name in one
        // rename: the list never reads a database that is still being written. (Appended rather than
        // added: GCC 12 sees a false overflow in "." + std::string once the standard library is precompiled.)
        const auto partial_path =
            transfer.target.parent_path() /
            std::string(".").append(transfer.target.filename().string()).append(".part");
        auto partial = Gio::File::create_for_path(partial_path.string());
        auto target = Gio::File::create_for_path(transfer.target.string());
        const bool move = files.move;
        auto finished = sigc::track_obj(
            [this, source, partial, target, move, transfer, pending](Glib::RefPtr<Gio::AsyncResult>& result) {
                try {
                    try {
                        if (move)
                            source->move_finish(result);
                        else
                            source->copy_finish(result);
                        partial->move(target, Gio::File::CopyFlags::OVERWRITE);
                    } catch (const Glib::Error&) {
                        std::error_code ignored;
                        std::filesystem::remove(partial->get_path(), ignored);
                        throw;
                    }
                    on_base_pasted(transfer.name, transfer.target);
                    pending->names.push_back(transfer.name);
                } catch (const Glib::Error& e) {
                    g_warning("Paste error: %s", e.what());
                    SetStatusMessage(Glib::ustring::sprintf(_("Paste error: %s"), e.what()));
                }
                if (--pending->remaining != 0)
                    return;
                m_db_panel.selection()->unselect_all();
                for (const auto& name : pending->names) {
                    const guint position = FindBaseByName(name);
                    if (position != kNoBase)
                        m_db_panel.selection()->select_item(position, false);
                }
                update_action_states();
            },
            *this);
        if (move)
            source->move_async(partial, finished, Gio::File::CopyFlags::OVERWRITE);
        else
            source->copy_async(partial, finished, Gio::File::CopyFlags::OVERWRITE);
    }
}

void CMainWindow::on_base_pasted(const Glib::ustring& name, const std::filesystem::path& target) {
    if (FindBaseByName(name) != kNoBase)
        return;
    Glib::ustring description;
    int keys = 0;
    CKeyDb::GetKeyDbInfo(target, description, keys);
    m_db_store->append(CDbInfo::create(name, description, keys));
}
