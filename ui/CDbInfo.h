// One database of the database folder as a row of the database list: name, description, key count, whether
// it was cut to the clipboard, and why it could not be read (empty for a readable database).
#pragma once

#include <filesystem>

#include <glibmm/object.h>
#include <glibmm/property.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

class CDbInfo : public Glib::Object {
public:
    static Glib::RefPtr<CDbInfo> create(const Glib::ustring& name, const Glib::ustring& description,
                                        int keys);
    // The row for the database file at path (its name is the file name without ".dbf"). A file that cannot
    // be read still makes a row: its error says why, so that one bad file never hides the others.
    static Glib::RefPtr<CDbInfo> read(const std::filesystem::path& path);

    Glib::ustring name() const { return m_name.get_value(); }
    Glib::ustring description() const { return m_description.get_value(); }
    int keys() const { return m_keys.get_value(); }
    bool is_cut() const { return m_cut.get_value(); }
    Glib::ustring error() const { return m_error.get_value(); }

    void set_name(const Glib::ustring& name) { m_name.set_value(name); }
    void set_description(const Glib::ustring& description) { m_description.set_value(description); }
    void set_keys(int keys) { m_keys.set_value(keys); }
    void set_cut(bool cut) { m_cut.set_value(cut); }
    // Takes description, key count and error from the file again.
    void reread(const std::filesystem::path& path);

    Glib::PropertyProxy<Glib::ustring> property_name() { return m_name.get_proxy(); }
    Glib::PropertyProxy<Glib::ustring> property_description() { return m_description.get_proxy(); }
    Glib::PropertyProxy<int> property_keys() { return m_keys.get_proxy(); }
    Glib::PropertyProxy<bool> property_is_cut() { return m_cut.get_proxy(); }
    Glib::PropertyProxy<Glib::ustring> property_error() { return m_error.get_proxy(); }

protected:
    CDbInfo(const Glib::ustring& name, const Glib::ustring& description, int keys);

private:
    Glib::Property<Glib::ustring> m_name;
    Glib::Property<Glib::ustring> m_description;
    Glib::Property<int> m_keys;
    Glib::Property<bool> m_cut;
    Glib::Property<Glib::ustring> m_error;
};

// Why the database file at path cannot be listed, or an empty text when its header is sound. The list reads
// files with CKeyDb::GetKeyDbInfo, whose false answer does not tell an empty description from a bad file.
Glib::ustring db_file_problem(const std::filesystem::path& path);
