// Filter-text properties of the window's lists.
#include "ui/CMyProp.h"

Glib::RefPtr<CMyProp> CMyProp::create() {
    return Glib::make_refptr_for_instance<CMyProp>(new CMyProp());
}

CMyProp::CMyProp()
    : Glib::ObjectBase("CMyProp"), m_bases_query(*this, "bases-query", ""),
      m_keys_query1(*this, "keys-query1", ""), m_keys_query2(*this, "keys-query2", "") {}
