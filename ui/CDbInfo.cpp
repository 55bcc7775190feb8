// Database list rows.
#include "ui/CDbInfo.h"

Glib::RefPtr<CDbInfo> CDbInfo::create(const Glib::ustring& name, const Glib::ustring& description, int keys) {
    return Glib::make_refptr_for_instance<CDbInfo>(new CDbInfo(name, description, keys));
}

CDbInfo::CDbInfo(const Glib::ustring& name, const Glib::ustring& description, int keys)
    : Glib::ObjectBase("CDbInfo"), m_name(*this, "name", name),
      m_description(*this, "description", description), m_keys(*this, "keys", keys),
      m_cut(*this, "is-cut", false) {}
