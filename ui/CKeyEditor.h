// The key editor's state ("Key" frame of the main window): what the widgets hold once read, and what is
// written back to them. The window reads and writes it (UpdateKeyCtrlData).
#pragma once

#include <glibmm/ustring.h>

#include <cstdint>

#include "keys/CCardUID.h"
#include "keys/KeyTypes.h"

struct CKeyEditor {
    // The field the user worked in last, which decides what "Find" looks for.
    enum class Field { Number, Description };
    // The description of a selection whose keys differ in it.
    static constexpr const char* kMixed = "*";

    KeyAttr attr = KA_NORMAL; // KA_NONE: a selection of keys with different attributes
    CCardUID number;          // length 0: no number
    bool number_edited = false;
    bool is_short = false;
    Field last_focused = Field::Number;
    Glib::ustring description;
    key_format format = KF_HEX;
};

// The key type of new keys from the "Key type" selection: Dallas, Em-Marine, KF-300 (unknown otherwise).
constexpr CardType ScanKeyTypeToCardType(int scan_key_type) {
    switch (scan_key_type) {
    case 0:
        return CT_DALLAS;
    case 1:
        return CT_EM_MARINE;
    case 2:
        return CT_COD433;
    default:
        return CT_UNKNOWN;
    }
}

// The 8-byte Dallas ROM code that emulates a key number: family 0x01, the number's first six bytes (missing
// bytes zero), then the checksum of those seven bytes.
void make_emulation_rom(const CCardUID& number, std::uint8_t rom[8]);
