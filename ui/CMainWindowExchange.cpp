// Keys and the database list as CSV files: the window asks for the file without blocking, leaves the
// reading and writing to the CSV exchange, and reports the outcome; a failure is shown in a message box
// and kept in the history, and leaves the panel (or the existing file) as it was.
#include <iostream>

#include <gdkmm/device.h>
#include <gdkmm/display.h>
#include <gdkmm/seat.h>
#include <giomm/file.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/filefilter.h>

#include "app/i18n.h"
#include "keys/CsvExchange.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"
#include "ui/WindowRelease.h"

namespace {
// A chosen name without an extension gets ".csv".
std::filesystem::path with_csv_extension(std::filesystem::path path) {
    if (!path.has_extension())
        path += ".csv";
    return path;
}
} // namespace

void CMainWindow::choose_file_natively(const FileRequest& request, FileChosenSlot chosen) {
    if (m_file_chooser)
        m_file_chooser->hide();
    const auto action = request.save ? Gtk::FileChooser::Action::SAVE : Gtk::FileChooser::Action::OPEN;
    auto chooser = Gtk::FileChooserNative::create(request.title, *this, action,
                                                  request.save ? _("_Save") : _("_Open"), _("_Cancel"));
    if (!request.pattern.empty()) {
        auto filter = Gtk::FileFilter::create();
        filter->set_name(request.filter_name);
        filter->add_pattern(request.pattern);
        chooser->add_filter(filter);
    }
    chooser->set_modal(true);
    chooser->signal_response().connect([this, chooser, chosen = std::move(chosen)](int response) {
        std::optional<std::filesystem::path> path;
        try {
            if (response == Gtk::ResponseType::ACCEPT) {
                if (const auto file = chooser->get_file())
                    path = file->get_path();
            }
        } catch (const Glib::Error& e) {
            report_failure(e.what());
        }
        // Released from an idle call: the chooser is still inside its own signal here.
        Glib::signal_idle().connect_once([this, chooser] {
            if (m_file_chooser == chooser)
                m_file_chooser.reset();
        });
        chosen(path);
    });
    destroy_after_response(chooser);
    m_file_chooser = chooser;
    chooser->show();
}

void CMainWindow::report_failure(const Glib::ustring& text) {
    SetStatusMessage(text);
    ShowMessage(text, Gtk::MessageType::ERROR);
}

void CMainWindow::on_action_export_csv() {
    const bool bases = m_view_mode == VIEW_DATABASES;
    const int table = m_active_table;
    m_choose_file({_("Enter the name of the CSV file"), true, _("CSV files (*.csv)"), "*.csv"},
                  [this, bases, table](std::optional<std::filesystem::path> path) {
                      if (!path) {
                          std::cerr << "No file selected" << std::endl;
                          return;
                      }
                      export_csv_file(with_csv_extension(*path), bases, table);
                  });
}

void CMainWindow::on_action_import_csv() {
    // Shift keeps the keys that the file does not name.
    const bool replace = !m_shift_probe();
    const int table = m_active_table;
    m_choose_file({_("Enter the name of the CSV file"), false, _("CSV files (*.csv)"), "*.csv"},
                  [this, replace, table](std::optional<std::filesystem::path> path) {
                      if (!path) {
                          std::cerr << "No file selected" << std::endl;
                          return;
                      }
                      import_csv_file(*path, table, replace);
                  });
}

void CMainWindow::export_csv_file(const std::filesystem::path& path, bool bases, int table) {
    try {
        if (bases) {
            std::vector<CsvDbListRow> rows;
            for (guint i = 0, n = m_db_store->get_n_items(); i < n; ++i) {
                const auto base = m_db_store->get_item(i);
                rows.push_back({base->name(), base->description(), base->keys()});
            }
            const unsigned count = export_bases_to_csv_file(path, rows);
            SetStatusMessage(Glib::ustring::sprintf(NP_("%u databases exported", count), count));
        } else {
            const unsigned count = export_keys_to_csv_file(path, m_docs[table], g_AppSet->get_key_format());
            SetStatusMessage(csv_export_report(count));
        }
    } catch (const std::exception& e) {
        report_failure(e.what());
    }
}

void CMainWindow::import_csv_file(const std::filesystem::path& path, int table, bool replace) {
    CKeyDocument& doc = m_docs[table];
    if (!doc.is_open())
        return;
    try {
        const CsvImportResult result =
            import_keys_from_csv_file(path, doc, replace, g_AppSet->get_key_format());
        SetStatusMessage(csv_import_report(result));
    } catch (const std::exception& e) {
        report_failure(e.what());
    }
    update_action_states();
}
