// Texts and construction of the DBF engine's exception.
#include "keys/CDbfException.h"

#include "app/i18n.h"

const char* CDbfException::code_text(int code) noexcept {
    switch (code) {
    case kStreamError:
        return N_("Stream Error");
    case kBadValue:
        return N_("Bad Value");
    default:
        return N_("Unknown Error");
    }
}

CDbfException::CDbfException(int code, const std::string& file_name)
    : m_code(code), m_file_name(file_name), m_message(_(code_text(code))) {
    if (!m_file_name.empty())
        m_message += " (" + m_file_name + ")";
}

void ThrowDbfException(int code, const std::string& file_name) {
    throw CDbfException(code, file_name);
}
