// The key editor ("Key" frame) and the operations on the active key table: editor from selection, add,
// find, apply, delete, the table filter, the lock time, and the emulate and power-off buttons.
#include <algorithm>
#include <cstring>
#include <set>

#include <glibmm/main.h>
#include <glibmm/regex.h>
#include <gtkmm/eventcontrollerfocus.h>
#include <gtkmm/gestureclick.h>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
constexpr std::array<KeyAttr, 4> kAttrOrder{KA_NORMAL, KA_BLOCKING, KA_MASTER, KA_INACTIVE};

// Words of a description for "Find": runs of letters and digits.
std::vector<Glib::ustring> description_words(const Glib::ustring& text) {
    static const auto separators = Glib::Regex::create("[^[:alnum:]]+");
    std::vector<Glib::ustring> words;
    for (const auto& word : separators->split(text))
        if (!word.empty())
            words.push_back(word);
    return words;
}

bool same_number(const CCardUID& a, const CCardUID& b) {
    return a.length == b.length && std::memcmp(a.bytes, b.bytes, a.length) == 0;
}

void join_change(Glib::ustring& changes, const Glib::ustring& part) {
    if (!changes.empty())
        changes += ", ";
    changes += part;
}
} // namespace

// Called once the frames and the key tables exist.
void CMainWindow::connect_key_editor() {
    m_key_editor.format = g_AppSet->get_key_format();
    m_key_add_button.signal_clicked().connect(
        sigc::mem_fun(*this, &CMainWindow::on_createkey_button_clicked));
    m_key_find_button.signal_clicked().connect(sigc::mem_fun(*this, &CMainWindow::on_findkey_button_clicked));
    m_key_apply_button.signal_clicked().connect([this] { DoApplyKey(true); });
    m_compare_button.signal_clicked().connect(sigc::mem_fun(*this, &CMainWindow::on_compare_button_clicked));

    // Emulation and power-off last as long as the button is held down; the buttons see the press and the
    // release before their own click handling does.
    const std::array<std::tuple<Gtk::Button*, void (CMainWindow::*)(), void (CMainWindow::*)()>, 2> holds{{
        {&m_key_emulate_button, &CMainWindow::on_emulate_pressed, &CMainWindow::on_emulate_released},
        {&m_power_off_button, &CMainWindow::on_power_off_pressed, &CMainWindow::on_power_off_released},
    }};
    for (const auto& [button, pressed, released] : holds) {
        auto click = Gtk::GestureClick::create();
        click->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
        // Captured by name: clang before 16 cannot capture structured bindings.
        click->signal_pressed().connect(
            [this, on_press = pressed](int, double, double) { (this->*on_press)(); });
        click->signal_released().connect(
            [this, on_release = released](int, double, double) { (this->*on_release)(); });
        click->signal_stopped().connect([this, on_release = released] { (this->*on_release)(); });
        button->add_controller(click);
    }

    m_key_number_entry.signal_changed().connect([this] {
        if (m_programmatic == 0)
            m_key_editor.number_edited = true;
    });
    for (auto [entry, field] : {std::pair{&m_key_number_entry, CKeyEditor::Field::Number},
                                std::pair{&m_key_description_entry, CKeyEditor::Field::Description}}) {
        auto focus = Gtk::EventControllerFocus::create();
        focus->signal_enter().connect([this, focused = field] { m_key_editor.last_focused = focused; });
        entry->add_controller(focus);
    }
    m_key_format_drop_down.property_selected().signal_changed().connect(
        sigc::mem_fun(*this, &CMainWindow::on_key_format_selected));
    g_AppSet->signal_changed().connect([this](const Glib::ustring& key) {
        if (key != "key-format")
            return;
        m_key_editor.format = g_AppSet->get_key_format();
        {
            ProgrammaticChange change(m_programmatic);
            m_key_format_drop_down.set_selected(m_key_editor.format);
        }
        UpdateKeyNumberCtrlData(false);
        for (auto& panel : m_key_panels)
            panel->on_key_format_changed();
    });
    m_lock_spin.signal_value_changed().connect(
        sigc::mem_fun(*this, &CMainWindow::on_locktime_spinbutton_changed));
    m_search_entry.signal_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_key_search_changed));

    for (auto& panel : m_key_panels) {
        panel->signal_selection_changed().connect(sigc::mem_fun(*this, &CMainWindow::UpdateCtrlForSelKey));
        panel->signal_delete_requested().connect(sigc::mem_fun(*this, &CMainWindow::DoDeleteKey));
    }
    m_device_ports.signal_card_inserted().connect(sigc::mem_fun(*this, &CMainWindow::on_card_inserted));
    UpdateKeyCtrlData(false);
}

void CMainWindow::UpdateCtrlForSelKey(int index) {
    if (index != m_active_table)
        return;
    CKeyPanel& panel = *m_key_panels[index];
    const auto keys = panel.selected_keys();
    CKeyEditor& editor = m_key_editor;
    if (keys.size() == 1) {
        editor.attr = keys[0]->attr();
        editor.number = keys[0]->number();
        editor.is_short = keys[0]->is_short();
        editor.description = keys[0]->description();
    } else {
        editor.attr = KA_NORMAL;
        editor.number = CCardUID();
        editor.is_short = false;
        editor.description.clear();
        if (!keys.empty()) {
            editor.attr = keys[0]->attr();
            editor.is_short = keys[0]->is_short();
            editor.description = keys[0]->description();
        }
        for (std::size_t i = 1; i < keys.size(); ++i) {
            if (keys[i]->attr() != editor.attr)
                editor.attr = KA_NONE;
            if (keys[i]->is_short() != editor.is_short)
                editor.is_short = false;
            if (editor.description != CKeyEditor::kMixed &&
                keys[i]->description().raw() != editor.description.raw())
                editor.description = CKeyEditor::kMixed;
        }
    }
    m_key_number_entry.set_sensitive(keys.size() <= 1);
    m_key_add_button.set_sensitive(keys.size() <= 1);
    m_key_apply_button.set_sensitive(!keys.empty());
    update_action_states();
    m_status_bar.set_count(static_cast<unsigned>(keys.size()), panel.shown_count());
    UpdateKeyCtrlData(false);
}

void CMainWindow::UpdateKeyCtrlData(bool read) {
    CKeyEditor& editor = m_key_editor;
    if (read) {
        editor.attr = KA_NONE;
        for (std::size_t i = 0; i < kAttrOrder.size(); ++i) {
            if (m_attr_radios[i].get_active()) {
                editor.attr = kAttrOrder[i];
                break;
            }
        }
        editor.is_short = m_key_short_check.get_active();
        editor.description = m_key_description_entry.get_text();
        UpdateKeyNumberCtrlData(true);
        return;
    }
    ProgrammaticChange change(m_programmatic);
    for (std::size_t i = 0; i < kAttrOrder.size(); ++i)
        m_attr_radios[i].set_active(editor.attr == kAttrOrder[i]);
    m_key_short_check.set_active(editor.is_short);
    m_key_description_entry.set_text(editor.description);
    UpdateKeyNumberCtrlData(false);
}

void CMainWindow::UpdateKeyNumberCtrlData(bool read) {
    CKeyEditor& editor = m_key_editor;
    if (read) {
        if (editor.number_edited)
            try_str_to_key_number(m_key_number_entry.get_text(), editor.number, editor.format);
        return;
    }
    ProgrammaticChange change(m_programmatic);
    m_key_number_entry.set_text(format_key_number(editor.number, editor.format));
    editor.number_edited = false;
}

void CMainWindow::on_key_format_selected() {
    if (m_programmatic != 0)
        return;
    const auto format = static_cast<key_format>(m_key_format_drop_down.get_selected());
    if (format >= kKeyFormatCount || format == m_key_editor.format)
        return;
    // The number typed so far is read in the format it was typed in; the settings change shows it anew.
    UpdateKeyNumberCtrlData(true);
    m_key_editor.format = format;
    g_AppSet->set_key_format(format);
}

void CMainWindow::report_key(const char* format, const CCardUID& number) {
    SetStatusMessage(Glib::ustring::sprintf(format, format_key_number(number, m_key_editor.format)));
}

CardType CMainWindow::key_type_for_new_keys() const {
    return ScanKeyTypeToCardType(g_AppSet->get_scan_key_type());
}

void CMainWindow::on_createkey_button_clicked() {
    UpdateKeyCtrlData(true);
    const CKeyEditor& editor = m_key_editor;
    if (editor.number.empty()) {
        ShowMessage(_("Field must be filled in."), Gtk::MessageType::INFO);
        m_key_number_entry.grab_focus();
        return;
    }
    CKeyDocument& doc = m_docs[m_active_table];
    const auto& store = doc.get_keys();
    const int position = find_key_by_number(store, editor.number, editor.is_short, 0);
    if (position < 0) {
        auto key = doc.add_key(doc.generate_key_id(), key_type_for_new_keys(), editor.number, editor.is_short,
                               editor.attr == KA_NONE ? KA_NORMAL : editor.attr, editor.description);
        m_key_panels[m_active_table]->select_key(key);
        report_key(_("Key %s added"), editor.number);
        return;
    }
    auto key = store->get_item(static_cast<guint>(position));
    // A full number completes a key stored by its short number only.
    if (!is_short_number(editor.number, editor.is_short) && is_short_number(key->number(), key->is_short()))
        key->set_number(editor.number);
    key->set_card_type(key_type_for_new_keys());
    if (editor.attr != KA_NONE)
        key->set_attr(editor.attr);
    key->set_short(editor.is_short);
    key->set_description(editor.description);
    doc.set_modified_flag(true);
    report_key(_("Key %s updated"), editor.number);
}

void CMainWindow::on_findkey_button_clicked() {
    UpdateKeyCtrlData(true);
    const CKeyEditor& editor = m_key_editor;
    CKeyPanel& panel = *m_key_panels[m_active_table];
    std::vector<guint> found;
    if (editor.last_focused == CKeyEditor::Field::Description && !editor.description.empty()) {
        const auto words = description_words(editor.description);
        for (guint i = 0; i < panel.shown_count(); ++i) {
            auto key = panel.shown_key(i);
            const auto key_words = description_words(key->description());
            const std::set<Glib::ustring> have(key_words.begin(), key_words.end());
            if (std::all_of(words.begin(), words.end(), [&](const auto& w) { return have.count(w) != 0; }))
                found.push_back(i);
        }
    } else if (!editor.number.empty()) {
        for (guint i = 0; i < panel.shown_count(); ++i) {
            auto key = panel.shown_key(i);
            if (compare_key_numbers(key->number(), key->is_short(), editor.number, editor.is_short) == 0)
                found.push_back(i);
        }
    } else {
        return;
    }
    panel.select_positions(found);
    if (!found.empty())
        panel.scroll_to(found.front());
}

void CMainWindow::DoApplyKey(bool ask) {
    UpdateKeyCtrlData(true);
    const CKeyEditor editor = m_key_editor;
    CKeyDocument& doc = m_docs[m_active_table];
    const auto keys = m_key_panels[m_active_table]->selected_keys();
    if (keys.empty())
        return;
    const bool one_number = keys.size() == 1 && !editor.number.empty();
    for (const auto& key : keys) {
        const CCardUID before = key->number();
        Glib::ustring changes;
        if (one_number && (!same_number(before, editor.number) || key->is_short() != editor.is_short)) {
            const auto& store = doc.get_keys();
            int other = find_key_by_number(store, editor.number, editor.is_short, 0);
            if (other >= 0 && store->get_item(static_cast<guint>(other)) == key)
                other = find_key_by_number(store, editor.number, editor.is_short,
                                           static_cast<unsigned>(other) + 1);
            if (other >= 0) {
                if (ask) {
                    MessageDialog(Glib::ustring::sprintf(_("Key %s already exists in the database. Replace?"),
                                                         format_key_number(editor.number, editor.format)),
                                  Gtk::MessageType::QUESTION, Gtk::ButtonsType::OK_CANCEL,
                                  [this](int response) {
                                      ReleaseMessageDialog();
                                      if (response == static_cast<int>(Gtk::ResponseType::OK))
                                          DoApplyKey(false);
                                  });
                    return;
                }
                const CCardUID replaced = store->get_item(static_cast<guint>(other))->number();
                doc.delete_key(static_cast<guint>(other));
                SetStatusMessage(Glib::ustring::sprintf(_("Key \"%s\" replaced"),
                                                        format_key_number(replaced, editor.format)));
            }
            key->set_number(editor.number);
            key->set_short(editor.is_short);
            if (key->card_type() == CT_UNKNOWN)
                key->set_card_type(key_type_for_new_keys());
            changes = format_key_number(editor.number, editor.format);
        } else if (!one_number && key->is_short() != editor.is_short) {
            join_change(changes, Glib::ustring::sprintf("(%s) -> (%s)", key->is_short() ? "*" : " ",
                                                        editor.is_short ? "*" : " "));
            key->set_short(editor.is_short);
        }
        if (editor.attr != KA_NONE && editor.attr != key->attr()) {
            join_change(changes, Glib::ustring::sprintf("%s -> %s", key_attr_name(key->attr()),
                                                        key_attr_name(editor.attr)));
            key->set_attr(editor.attr);
        }
        if (editor.description != CKeyEditor::kMixed &&
            editor.description.raw() != key->description().raw()) {
            join_change(changes,
                        Glib::ustring::sprintf("\"%s\" -> \"%s\"", key->description(), editor.description));
            key->set_description(editor.description);
        }
        if (!changes.empty()) {
            doc.set_modified_flag(true);
            SetStatusMessage(Glib::ustring::sprintf(_("Key \"%s\" changed: %s"),
                                                    format_key_number(before, editor.format), changes));
        }
    }
}

void CMainWindow::DoDeleteKey(int index, bool confirmed) {
    const auto keys = m_key_panels[index]->selected_keys();
    if (keys.empty())
        return;
    if (!confirmed && g_AppSet->get_delete_key_confirm()) {
        const Glib::ustring question =
            keys.size() == 1
                ? Glib::ustring::sprintf(_("Delete \"%s\"?"),
                                         format_key_number(keys[0]->number(), m_key_editor.format))
                : Glib::ustring::sprintf(NP_("Delete %u keys?", keys.size()),
                                         static_cast<unsigned>(keys.size()));
        MessageDialog(question, Gtk::MessageType::QUESTION, Gtk::ButtonsType::OK_CANCEL,
                      [this, index](int response) {
                          ReleaseMessageDialog();
                          if (response == static_cast<int>(Gtk::ResponseType::OK))
                              DoDeleteKey(index, true);
                      });
        return;
    }
    for (const auto& key : keys) {
        key->set_deleted(true);
        report_key(_("Key %s removed"), key->number());
    }
    m_docs[index].remove_deleted_keys();
    SetStatusMessage(
        Glib::ustring::sprintf(NP_("%u keys removed", keys.size()), static_cast<unsigned>(keys.size())));
    UpdateCtrlForSelKey(index);
}

void CMainWindow::DeleteKeys() {
    DoDeleteKey(m_active_table, false);
}

void CMainWindow::on_key_search_changed() {
    if (m_programmatic != 0 || m_view_mode == VIEW_DATABASES)
        return;
    m_conn_key_filter_timer.disconnect();
    if (m_search_entry.get_text().empty()) {
        apply_key_filter();
        return;
    }
    // Typing goes on undisturbed; the table follows once the text has rested.
    // A slot of the window itself: the timer goes with the window.
    m_conn_key_filter_timer = Glib::signal_timeout().connect(
        sigc::mem_fun(*this, &CMainWindow::on_key_filter_timeout), kFilterDelayMs);
}

bool CMainWindow::on_key_filter_timeout() {
    apply_key_filter();
    return false;
}

void CMainWindow::apply_key_filter() {
    CKeyPanel& panel = *m_key_panels[m_active_table];
    panel.set_filter_text(m_search_entry.get_text());
    m_status_bar.set_count(panel.selected_count(), panel.shown_count());
}

void CMainWindow::on_locktime_spinbutton_changed() {
    if (m_programmatic != 0)
        return;
    CKeyDocument& doc = m_docs[m_active_table];
    if (doc.is_open())
        doc.set_otc(static_cast<std::uint16_t>(TimeToOtc(m_lock_spin.get_value())));
}

void CMainWindow::on_emulate_pressed() {
    UpdateKeyCtrlData(true);
    std::uint8_t rom[8];
    make_emulation_rom(m_key_editor.number, rom);
    m_adapter_thread.StartEmuDallas(rom);
    UpdateAdapterActionsState();
}

void CMainWindow::on_emulate_released() {
    if (m_adapter_thread.GetCurrentCmd() == CAdapterThread::CMD_EMU_DALLAS)
        m_adapter_thread.BreakCmd();
}

void CMainWindow::on_power_off_pressed() {
    m_adapter_thread.StartPowerOff();
    UpdateAdapterActionsState();
}

void CMainWindow::on_power_off_released() {
    if (m_adapter_thread.GetCurrentCmd() == CAdapterThread::CMD_POWER_OFF)
        m_adapter_thread.BreakCmd();
}
