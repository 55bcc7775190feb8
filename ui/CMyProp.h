// The filter texts of the window's lists as properties, so that cells whose text depends on a filter are
// drawn again when it changes: "bases-query" for the database list, "keys-query1" and "keys-query2" for the
// two key tables.
#pragma once

#include <glibmm/object.h>
#include <glibmm/property.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

class CMyProp : public Glib::Object {
public:
    static Glib::RefPtr<CMyProp> create();

    Glib::PropertyProxy<Glib::ustring> property_bases_query() { return m_bases_query.get_proxy(); }
    // The filter of key table 0 or 1.
    Glib::PropertyProxy<Glib::ustring> property_keys_query(int table) {
        return table == 0 ? m_keys_query1.get_proxy() : m_keys_query2.get_proxy();
    }

protected:
    CMyProp();

private:
    Glib::Property<Glib::ustring> m_bases_query;
    Glib::Property<Glib::ustring> m_keys_query1;
    Glib::Property<Glib::ustring> m_keys_query2;
};
