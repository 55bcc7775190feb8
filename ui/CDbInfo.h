// One database of the database folder as a row of the database list: name, description, key count and
// whether it was cut to the clipboard.
#pragma once

#include <glibmm/object.h>
#include <glibmm/property.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

class CDbInfo : public Glib::Object {
public:
    static Glib::RefPtr<CDbInfo> create(const Glib::ustring& name, const Glib::ustring& description,
                                        int keys);

    Glib::ustring name() const { return m_name.get_value(); }
    Glib::ustring description() const { return m_description.get_value(); }
    int keys() const { return m_keys.get_value(); }
    bool is_cut() const { return m_cut.get_value(); }

    void set_name(const Glib::ustring& name) { m_name.set_value(name); }
    void set_description(const Glib::ustring& description) { m_description.set_value(description); }
    void set_keys(int keys) { m_keys.set_value(keys); }
    void set_cut(bool cut) { m_cut.set_value(cut); }

    Glib::PropertyProxy<Glib::ustring> property_name() { return m_name.get_proxy(); }
    Glib::PropertyProxy<Glib::ustring> property_description() { return m_description.get_proxy(); }
    Glib::PropertyProxy<int> property_keys() { return m_keys.get_proxy(); }
    Glib::PropertyProxy<bool> property_is_cut() { return m_cut.get_proxy(); }

protected:
    CDbInfo(const Glib::ustring& name, const Glib::ustring& description, int keys);

private:
    Glib::Property<Glib::ustring> m_name;
    Glib::Property<Glib::ustring> m_description;
    Glib::Property<int> m_keys;
    Glib::Property<bool> m_cut;
};
