// One line of the status history as a row of the history list.
#include "keys/CHistoryRec.h"

Glib::RefPtr<CHistoryRec> CHistoryRec::create(std::int64_t time, const Glib::ustring& text) {
    return Glib::make_refptr_for_instance<CHistoryRec>(new CHistoryRec(time, text));
}

CHistoryRec::CHistoryRec(std::int64_t time, const Glib::ustring& text)
    : Glib::ObjectBase(typeid(CHistoryRec)), m_time(*this, "time", time), m_text(*this, "text", text) {}

GType CHistoryRec::object_type() {
    // glibmm registers a derived type when its first instance is made.
    static const GType type = G_OBJECT_TYPE(create(0, {})->gobj());
    return type;
}
