// One key as a row of the key list models: an object with observable properties that the key tables bind
// to, plus an id and a deletion mark that are not properties.
#pragma once

#include <glibmm/object.h>
#include <glibmm/property.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

#include <cstdint>

#include "keys/CCardUID.h"
#include "keys/KeyTypes.h"

class CKey : public Glib::Object {
public:
    static Glib::RefPtr<CKey> create(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
                                     bool is_short, std::int64_t created, const Glib::ustring& description);
    // A key made from a stored record, with the record's id.
    static Glib::RefPtr<CKey> create(const key_info& info);

    // The GType of key rows, for property expressions of list columns (registered on first use).
    static GType object_type();

    // The stored record of this key: its id and current property values.
    key_info to_key_info() const;

    std::uint32_t id() const { return m_id; }

    CardType card_type() const { return m_type.get_value(); }
    KeyAttr attr() const { return m_attr.get_value(); }
    CCardUID number() const { return m_number.get_value(); }
    bool is_short() const { return m_short.get_value(); }
    std::int64_t created() const { return m_created.get_value(); }
    Glib::ustring description() const { return m_description.get_value(); }
    std::uint32_t key_different() const { return m_different.get_value(); }

    // Each setter notifies its property when the value changes, and only then.
    void set_card_type(CardType type);
    void set_attr(KeyAttr attr);
    void set_number(const CCardUID& number);
    void set_short(bool is_short);
    void set_created(std::int64_t created);
    void set_description(const Glib::ustring& description);
    void set_key_different(std::uint32_t mask);

    // Marks keys that a multi-key operation is about to remove (not a property; never notified).
    bool is_deleted() const { return m_deleted; }
    void set_deleted(bool deleted) { m_deleted = deleted; }

    Glib::PropertyProxy<CardType> property_type() { return m_type.get_proxy(); }
    Glib::PropertyProxy<KeyAttr> property_attr() { return m_attr.get_proxy(); }
    Glib::PropertyProxy<CCardUID> property_number() { return m_number.get_proxy(); }
    Glib::PropertyProxy<bool> property_short() { return m_short.get_proxy(); }
    Glib::PropertyProxy<std::int64_t> property_created() { return m_created.get_proxy(); }
    Glib::PropertyProxy<Glib::ustring> property_key_description() { return m_description.get_proxy(); }
    Glib::PropertyProxy<std::uint32_t> property_key_different() { return m_different.get_proxy(); }

    Glib::PropertyProxy_ReadOnly<CardType> property_type() const { return m_type.get_proxy(); }
    Glib::PropertyProxy_ReadOnly<KeyAttr> property_attr() const { return m_attr.get_proxy(); }
    Glib::PropertyProxy_ReadOnly<CCardUID> property_number() const { return m_number.get_proxy(); }
    Glib::PropertyProxy_ReadOnly<bool> property_short() const { return m_short.get_proxy(); }
    Glib::PropertyProxy_ReadOnly<std::int64_t> property_created() const { return m_created.get_proxy(); }
    Glib::PropertyProxy_ReadOnly<Glib::ustring> property_key_description() const {
        return m_description.get_proxy();
    }
    Glib::PropertyProxy_ReadOnly<std::uint32_t> property_key_different() const {
        return m_different.get_proxy();
    }

protected:
    CKey(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number, bool is_short,
         std::int64_t created, const Glib::ustring& description);

private:
    std::uint32_t m_id;
    bool m_deleted = false;
    // Declared in the order the properties are installed.
    Glib::Property<CardType> m_type;
    Glib::Property<KeyAttr> m_attr;
    Glib::Property<CCardUID> m_number;
    Glib::Property<bool> m_short;
    Glib::Property<std::int64_t> m_created;
    Glib::Property<Glib::ustring> m_description;
    Glib::Property<std::uint32_t> m_different;
};
