// The settings dialog's port drop-downs. Each lists "<Auto>" (with the device the automatic choice would
// take), "<None>", the discovered devices (only adapters for the adapter port) and "Custom...", which shows
// a port-type drop-down and a port-name entry for a port the search does not find.
#include "ui/CSettingsDialog.h"

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "readers/DeviceDiscovery.h"
#include "readers/RdxWrapper.h"

namespace {
constexpr guint kRowAuto = 0;
constexpr guint kRowNone = 1;
constexpr guint kFirstDeviceRow = 2;
} // namespace

Glib::ustring CSettingsDialog::_ReaderInfoToStr(const CReaderInfo& info) {
    Glib::ustring text = info.port_name();
    if (info.model() != RDX_MODEL_NONE)
        text += Glib::ustring(" ") + rdx::ReaderModelName(info.model());
    if (info.serial_number() != -1)
        text += Glib::ustring::sprintf(" s/n: %d", info.serial_number());
    if (info.firmware_version() != 0)
        text += " fw: " + version_to_str(info.firmware_version());
    return text;
}

// ---- shared work of both frames ----

bool CSettingsDialog::is_custom_row(const PortControls& pc, guint row) const {
    return row + 1 == pc.rows->get_n_items();
}

int CSettingsDialog::port_to_idx(const PortControls& pc, rdx_port_type type,
                                 const Glib::ustring& name) const {
    if (is_port_auto(type, name))
        return kRowAuto;
    if (is_port_none(type, name))
        return kRowNone;
    for (size_t i = 0; i < pc.row_ports.size(); ++i)
        if (pc.row_ports[i] == name)
            return static_cast<int>(kFirstDeviceRow + i);
    return static_cast<int>(pc.rows->get_n_items()) - 1;
}

void CSettingsDialog::idx_to_port(const PortControls& pc, guint row, rdx_port_type& type,
                                  Glib::ustring& name) const {
    type = RDX_PORT_NONE;
    if (row == GTK_INVALID_LIST_POSITION)
        name.clear();
    else if (row == kRowAuto)
        name = kPortAuto;
    else if (row == kRowNone)
        name = kPortNone;
    else if (is_custom_row(pc, row))
        return; // the name stays for the custom entry
    else if (row - kFirstDeviceRow < pc.row_ports.size()) {
        name = pc.row_ports[row - kFirstDeviceRow];
        const int index = find_reader_info_by_portname(m_devices, name);
        if (index >= 0)
            type = m_devices->get_item(index)->port_type();
    }
}

void CSettingsDialog::refill_port_rows(PortControls& pc, bool adapters_only) {
    std::vector<Glib::ustring> texts;
    pc.row_ports.clear();
    for (guint i = 0; i < m_devices->get_n_items(); ++i) {
        const auto info = m_devices->get_item(i);
        if (adapters_only && !is_adapter_model(info->model()))
            continue;
        texts.push_back(_ReaderInfoToStr(*info));
        pc.row_ports.push_back(info->port_name());
    }
    texts.push_back(_("Custom..."));
    pc.rows->splice(kFirstDeviceRow, pc.rows->get_n_items() - kFirstDeviceRow, texts);
}

void CSettingsDialog::select_port_row(PortControls& pc, guint shown_row) {
    if (pc.port_name.empty()) {
        // An empty name shows as "<Auto>", except that a "<None>" the user chose stays in sight when the
        // device list changes under it.
        pc.port.set_selected(shown_row == kRowNone && is_port_none(pc.port_type, pc.port_name) ? kRowNone
                                                                                               : kRowAuto);
    } else {
        const guint row = static_cast<guint>(port_to_idx(pc, pc.port_type, pc.port_name));
        pc.port.set_selected(row);
        if (is_custom_row(pc, row)) {
            if (pc.port_type != RDX_PORT_NONE)
                pc.type.set_selected(static_cast<guint>(pc.port_type) - 1);
            pc.entry.set_text(pc.port_name);
        }
    }
    show_custom_controls(pc);
}

void CSettingsDialog::set_auto_row(PortControls& pc, int device_index) {
    Glib::ustring text = _("<Auto>");
    if (device_index >= 0) {
        const auto info = m_devices->get_item(device_index);
        pc.auto_type = info->port_type();
        pc.auto_name = info->port_name();
        text += " " + _ReaderInfoToStr(*info);
    } else {
        pc.auto_type = RDX_PORT_NONE;
        pc.auto_name.clear();
    }
    if (pc.rows->get_string(kRowAuto) == text)
        return;
    // Replacing the row drops the drop-down's selection of it: put it back without reporting a choice.
    ++m_update;
    const guint selected = pc.port.get_selected();
    pc.rows->splice(kRowAuto, 1, {text});
    pc.port.set_selected(selected);
    --m_update;
}

void CSettingsDialog::show_custom_controls(PortControls& pc) {
    const guint row = pc.port.get_selected();
    const bool custom = row != GTK_INVALID_LIST_POSITION && is_custom_row(pc, row);
    pc.type.set_visible(custom);
    pc.entry.set_visible(custom);
}

void CSettingsDialog::on_custom_row_chosen(PortControls& pc, int auto_index) {
    ++m_update;
    if (pc.port_type == RDX_PORT_NONE) {
        if (is_port_auto(pc.port_type, pc.port_name) && auto_index >= 0) {
            const auto info = m_devices->get_item(auto_index);
            pc.port_type = info->port_type();
            pc.port_name = info->port_name();
        }
        if (pc.port_type == RDX_PORT_NONE) {
            pc.port_type = RDX_PORT_COM;
            pc.port_name.clear();
        }
    }
    pc.type.set_selected(static_cast<guint>(pc.port_type) - 1);
    pc.entry.set_text(pc.port_name);
    pc.entry.grab_focus();
    --m_update;
}

// ---- adapter ----

int CSettingsDialog::APortDropDownPortToIdx(rdx_port_type type, const Glib::ustring& name) const {
    return port_to_idx(m_aport, type, name);
}

void CSettingsDialog::APortDropDownIdxToPort(guint row, rdx_port_type& type, Glib::ustring& name) const {
    idx_to_port(m_aport, row, type, name);
}

void CSettingsDialog::UpdateAPortDropDown() {
    ++m_update;
    const guint shown_row = m_aport.port.get_selected();
    refill_port_rows(m_aport, true);
    UpdateAutoAPort();
    select_port_row(m_aport, shown_row);
    --m_update;
}

void CSettingsDialog::UpdateAutoAPort() {
    set_auto_row(m_aport, find_adapter_auto_port(m_devices, m_rport.port_type, m_rport.port_name));
}

void CSettingsDialog::on_aport_dropdown_selected() {
    const guint row = m_aport.port.get_selected();
    if (m_update != 0 || row == GTK_INVALID_LIST_POSITION)
        return;
    APortDropDownIdxToPort(row, m_aport.port_type, m_aport.port_name);
    UpdateAutoRPort();
    show_custom_controls(m_aport);
    if (is_custom_row(m_aport, row))
        on_custom_row_chosen(m_aport,
                             find_reader_info_by_portname(m_devices, m_aport.auto_type, m_aport.auto_name));
}

void CSettingsDialog::on_dropdown_aporttype_selected_changed() {
    const guint row = m_aport.type.get_selected();
    if (m_update == 0 && row != GTK_INVALID_LIST_POSITION)
        m_aport.port_type = static_cast<rdx_port_type>(row + 1);
}

void CSettingsDialog::on_entry_aport_changed() {
    if (m_update == 0)
        m_aport.port_name = m_aport.entry.get_text();
}

// ---- reader ----

int CSettingsDialog::RPortDropDownPortToIdx(rdx_port_type type, const Glib::ustring& name) const {
    return port_to_idx(m_rport, type, name);
}

void CSettingsDialog::RPortDropDownIdxToPort(guint row, rdx_port_type& type, Glib::ustring& name) const {
    idx_to_port(m_rport, row, type, name);
}

void CSettingsDialog::UpdateRPortDropDown() {
    ++m_update;
    const guint shown_row = m_rport.port.get_selected();
    refill_port_rows(m_rport, false);
    UpdateAutoRPort();
    select_port_row(m_rport, shown_row);
    --m_update;
}

void CSettingsDialog::UpdateAutoRPort() {
    set_auto_row(m_rport, find_reader_auto_port(m_devices, m_aport.auto_type, m_aport.auto_name));
}

void CSettingsDialog::on_rport_dropdown_selected() {
    const guint row = m_rport.port.get_selected();
    if (m_update != 0 || row == GTK_INVALID_LIST_POSITION)
        return;
    RPortDropDownIdxToPort(row, m_rport.port_type, m_rport.port_name);
    UpdateAutoAPort();
    show_custom_controls(m_rport);
    if (is_custom_row(m_rport, row))
        on_custom_row_chosen(m_rport, find_reader_auto_port(m_devices, m_aport.auto_type, m_aport.auto_name));
}

void CSettingsDialog::on_dropdown_rporttype_selected_changed() {
    const guint row = m_rport.type.get_selected();
    if (m_update == 0 && row != GTK_INVALID_LIST_POSITION)
        m_rport.port_type = static_cast<rdx_port_type>(row + 1);
}

void CSettingsDialog::on_entry_rport_changed() {
    if (m_update == 0)
        m_rport.port_name = m_rport.entry.get_text();
}
