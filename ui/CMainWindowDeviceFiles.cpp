// Dump files of controllers and DS1996L keys: chosen without blocking the window, checked and handed to the
// worker before a "File --> ..." command starts, and written after a "... --> File" command has read them.
#include <fstream>
#include <iostream>

#include <glibmm/main.h>

#include "app/i18n.h"
#include "layouts/m6.h"
#include "ui/CMainWindow.h"

namespace {

// A DS1996L holds 8192 bytes; a longer file is cut there.
constexpr std::size_t kDs1996Bytes = 8192;
// A memory image carries its memory-type code at this offset.
constexpr std::size_t kMemCodeOffset = 5;

Glib::ustring with_path(const char* text, const std::filesystem::path& path) {
    return Glib::ustring(text) + path.string();
}

// Reads at most `limit` bytes of the file; `longer` tells whether more followed.
std::vector<unsigned char> read_dump_file(const std::filesystem::path& path, std::size_t limit,
                                          bool& longer) {
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open())
        throw std::runtime_error(with_path(_("Cannot open file: "), path));
    std::vector<unsigned char> data;
    char buffer[4096];
    longer = false;
    while (in) {
        in.read(buffer, sizeof(buffer));
        const auto got = static_cast<std::size_t>(in.gcount());
        const std::size_t take = std::min(got, limit - data.size());
        data.insert(data.end(), buffer, buffer + take);
        if (take < got) {
            longer = true;
            break;
        }
    }
    if (in.bad() || (!in.eof() && !longer))
        throw std::runtime_error(with_path(_("Error reading file: "), path));
    return data;
}

bool is_memory_image(const std::vector<unsigned char>& data) {
    return data.size() > kMemCodeOffset && m6::MemCodeToMemType(data[kMemCodeOffset]) != m6::MEM_NONE;
}

// The question a file asks before it is written, or "" when it can go as it is.
Glib::ustring file_question_text(CAdapterThread::Cmd cmd, bool image, bool longer) {
    if (cmd == CAdapterThread::CMD_Q4T_FROM_FILE)
        return image ? Glib::ustring() : Glib::ustring(_("The data format is incorrect. Continue?"));
    Glib::ustring text;
    if (!image)
        text += _("The data format is incorrect.\n");
    if (longer)
        text += Glib::ustring::sprintf(_("The memory is limited, maximum %u bytes.\n"),
                                       static_cast<unsigned>(kDs1996Bytes));
    if (!text.empty())
        text += _("Continue?");
    return text;
}

} // namespace

void CMainWindow::choose_dump_file(bool save, FileChosenSlot done) {
    m_choose_file({save ? _("Save the memory dump") : _("Open a memory dump"), save, {}, {}},
                  std::move(done));
}

void CMainWindow::load_dump_file(CAdapterThread::Cmd cmd, const std::filesystem::path& path) {
    auto data = std::make_shared<std::vector<unsigned char>>();
    bool longer = false;
    try {
        *data = read_dump_file(path, cmd == CAdapterThread::CMD_DS1996_FROM_FILE ? kDs1996Bytes : SIZE_MAX,
                               longer);
    } catch (const std::exception& e) {
        report_device_error(e.what());
        return;
    }
    const auto start = [this, cmd, data] {
        m_adapter_thread.set_cmd_file_data(*data);
        start_adapter_cmd(cmd);
        UpdateAdapterActionsState();
    };
    const Glib::ustring question = file_question_text(cmd, is_memory_image(*data), longer);
    if (question.empty()) {
        start();
        return;
    }
    m_file_question =
        std::make_unique<CWorkerQuestion>(*this, m_closed_windows, cmd, [this, start](bool yes) {
            m_file_question.reset();
            if (yes)
                start();
        });
    m_file_question->confirm(question, [this] { m_file_question->answer(true); });
}

void CMainWindow::save_dump_file(std::vector<unsigned char> data, const std::filesystem::path& path) {
    try {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        if (!out.is_open())
            throw std::runtime_error(with_path(_("Cannot open file for writing: "), path));
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        out.close();
        if (!out)
            throw std::runtime_error(with_path(_("Error writing to file: "), path));
    } catch (const std::exception& e) {
        report_device_error(e.what());
        return;
    }
    SetStatusMessage(Glib::ustring::sprintf(_("%u bytes saved to the file \"%s\""),
                                            static_cast<unsigned>(data.size()), path.string()));
}

void CMainWindow::report_device_error(const Glib::ustring& text, const char* prefix) {
    std::cout << prefix << text << std::endl;
    SetStatusMessage(text);
    ShowMessage(text, Gtk::MessageType::ERROR);
}
