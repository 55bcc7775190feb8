// The Mifare dialog: reader choice from the settings and the device list, the worker's notifications shown
// on the main thread, and the key list read back handed to the dialog's creator.
#include "ui/CMifareDialog.h"

#include <gtkmm/listitem.h>
#include <gtkmm/signallistitemfactory.h>

#include "app/i18n.h"
#include "readers/DeviceDiscovery.h"
#include "settings/CAppSettings.h"
#include "ui/Accessible.h"
#include "ui/LayoutSpacing.h"

namespace {

// Desktop Mifare readers are the first choice of "<Auto>", other Mifare-capable readers the second.
bool is_first_choice_reader(rdx_reader_model model) {
    return model == 2 || model == 3 || model == 12;
}
bool is_second_choice_reader(rdx_reader_model model) {
    return model == 8 || model == 9 || model == 11;
}
} // namespace

CMifareDialog::CMifareDialog()
    : m_box(Gtk::Orientation::VERTICAL), m_card_rows(Gtk::StringList::create({})),
      m_selection(Gtk::SingleSelection::create(m_card_rows)) {
    build_layout();

    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    if (g_AppSet)
        g_AppSet->get_reader_port(type, name);
    if (type == RDX_PORT_NONE && !is_port_auto(type, name)) {
        set_status_text(_("Port not selected"));
    } else {
        open_search();
        if (type == RDX_PORT_NONE) {
            m_auto_port = true;
            UpdatePort();
        } else {
            m_thread.set_port(type, name);
        }
    }
    m_thread.SetOnNotify([this] { on_mf_thread_notify(); });
    m_dispatcher.connect(sigc::mem_fun(*this, &CMifareDialog::on_disp));
}

CMifareDialog::~CMifareDialog() {
    stop_worker_and_search();
    m_rdx.Finalize();
}

void CMifareDialog::build_layout() {
    set_title(_("Mifare"));
    set_destroy_with_parent(true);
    if (g_AppSet)
        set_default_size(g_AppSet->get_mifare_width(), g_AppSet->get_mifare_height());

    m_box.set_margin(kLayoutMargin);
    m_box.set_expand(true);
    set_child(m_box);

    m_status_label.set_xalign(0.0f);
    m_status_label.set_halign(Gtk::Align::START);
    m_status_label.set_wrap(true);
    m_box.append(m_status_label);

    m_selection->set_autoselect(false);
    m_selection->set_can_unselect(true);
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto* label = Gtk::make_managed<Gtk::Label>();
        label->set_halign(Gtk::Align::START);
        label->set_valign(Gtk::Align::CENTER);
        item->set_child(*label);
    });
    factory->signal_bind().connect([this](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto* label = dynamic_cast<Gtk::Label*>(item->get_child());
        if (label != nullptr)
            label->set_text(m_card_rows->get_string(item->get_position()));
    });
    m_list_view.set_model(m_selection);
    m_list_view.set_factory(factory);
    m_list_view.add_css_class("data-table");
    set_accessible_label(m_list_view, _("Cards"));

    m_scrolled.set_policy(Gtk::PolicyType::AUTOMATIC, Gtk::PolicyType::AUTOMATIC);
    m_scrolled.set_expand(true);
    m_scrolled.set_child(m_list_view);
    m_box.append(m_scrolled);
}

void CMifareDialog::open_search() {
    m_rdx.Init();
    void* handle = nullptr;
    rdx::RDXCheck(rdx_get_search(&handle));
    m_search.Attach(handle);
    rdx::RDXCheck(rdx_search_set_message_callback(m_search, &CMifareDialog::on_rdx_search_message, this));
    rdx::RDXCheck(rdx_search_enable_message_queue(m_search, 1));
}

void CMifareDialog::stop_worker_and_search() {
    m_thread.Stop();
    if (m_search) {
        // Closing the handle first: no search message may reach a dialog on its way out.
        try {
            m_search.Close();
        } catch (const rdx::CRDXException&) {
            // The handle is released by the library either way; nothing is left to do on the way out.
        }
    }
}

void CMifareDialog::StartPrepare() {
    Start(_("Mifare: Preparing Cards"), &CMifareThread::StartPrepare);
}

void CMifareDialog::StartWriteDb(const std::vector<m6::_db_key>& keys, unsigned short lock_code) {
    set_title(_("Mifare: Card Recording"));
    m_thread.StartWriteDb(keys, lock_code);
}

void CMifareDialog::StartReadDb(const sigc::slot<void()>& read_finished) {
    m_read_finished = read_finished;
    Start(_("Mifare: card reading"), &CMifareThread::StartReadDb);
}

void CMifareDialog::StartClear() {
    Start(_("Mifare: Cleaning Cards"), &CMifareThread::StartClear);
}

void CMifareDialog::Start(const char* title, void (CMifareThread::*start)()) {
    set_title(title);
    (m_thread.*start)();
}

void CMifareDialog::GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const {
    m_thread.GetDbData(keys, lock_code);
}

void CMifareDialog::set_status_text(const Glib::ustring& text) {
    m_status_label.set_text(text);
}

void CMifareDialog::on_rdx_search_message(uint32_t, const void*, void* ctx) {
    auto* self = static_cast<CMifareDialog*>(ctx);
    self->m_search_messages.raise();
    self->m_dispatcher.emit();
}

void CMifareDialog::on_mf_thread_notify() {
    m_dispatcher.emit();
}

void CMifareDialog::on_disp() {
    unsigned msgs = 0;
    m_thread.GetNMsgs(msgs);
    if ((msgs & CMifareThread::NMSG_STATUS_TEXT) != 0)
        set_status_text(m_thread.GetStatusText());
    if ((msgs & CMifareThread::NMSG_CARD_ROWS) != 0)
        m_thread.get_card_status(m_card_rows);
    if ((msgs & CMifareThread::NMSG_SELECTED_CARD) != 0) {
        const int index = m_thread.GetSelectedCardIndex();
        m_selection->set_selected(index < 0 ? GTK_INVALID_LIST_POSITION : static_cast<guint>(index));
    }
    if ((msgs & CMifareThread::NMSG_FINISHED) != 0 && m_read_finished) {
        m_thread.Stop();
        if (!m_read_finished.blocked())
            m_read_finished();
    }
    process_search_messages();
}

void CMifareDialog::process_search_messages() {
    // The worker's notifications come while it writes cards through the library, which holds its other
    // callers meanwhile: the queue is read only when the library has put something in it.
    if (!m_search)
        return;
    bool list_changed = false;
    rdx::RDXCheck(rdx::take_search_messages(m_search, m_search_messages, list_changed));
    if (list_changed)
        UpdatePort();
}

void CMifareDialog::UpdatePort() {
    uint32_t count = 0;
    rdx::RDXCheck(rdx_search_get_reader_count(m_search, &count));
    if (count == 0) {
        if (m_auto_port)
            set_status_text(_("Mifare reader not found"));
        return;
    }
    rdx_port_type current_type = RDX_PORT_NONE;
    Glib::ustring current_name;
    m_thread.GetPort(current_type, current_name);
    int first_choice = -1;
    int second_choice = -1;
    std::vector<rdx_reader_info> devices(count);
    for (uint32_t i = 0; i < count; ++i) {
        rdx_reader_info& info = devices[i];
        rdx::RDXCheck(rdx_search_get_reader_info(m_search, i, &info));
        if (info.port_type == current_type && current_name.raw() == info.port_name) {
            // The worker's reader is (still or again) attached: it only needs to connect if it is not.
            m_thread.ensure_connected();
            return;
        }
        if (first_choice < 0 && is_first_choice_reader(info.model))
            first_choice = static_cast<int>(i);
        else if (second_choice < 0 && is_second_choice_reader(info.model))
            second_choice = static_cast<int>(i);
    }
    if (!m_auto_port)
        return;
    const int chosen = first_choice >= 0 ? first_choice : second_choice;
    if (chosen < 0) {
        set_status_text(_("Mifare reader not found"));
        return;
    }
    m_thread.set_port(devices[chosen].port_type, devices[chosen].port_name);
}

void CMifareDialog::on_hide() {
    // A dialog hidden before it was ever shown has no size of its own: keep the stored one then.
    int width = get_width();
    int height = get_height();
    if (width <= 0 || height <= 0)
        get_default_size(width, height);
    if (g_AppSet && width > 0 && height > 0)
        g_AppSet->set_mifare_size(width, height);
    Gtk::Window::on_hide();
}
