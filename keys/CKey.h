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

// The properties are installed once, on the class, over plain members: a database holds up to hundreds of
// thousands of keys, and a property object per key and property would cost each key most of a kilobyte.
// The class is a GObject type of its own ("KestrixKey"), registered once, and each key wraps a plain instance
// of it: glibmm's way of deriving types looks the type up by name for every new object, which cost opening a
// large database as much as reading it.
class CKey final : public Glib::Object {
public:
    static Glib::RefPtr<CKey> create(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
                                     bool is_short, std::int64_t created, const Glib::ustring& description);
    // A key made from a stored record, with the record's id; the second form takes the description over.
    static Glib::RefPtr<CKey> create(const key_info& info);
    static Glib::RefPtr<CKey> create(key_info&& info);

    // The GType of key rows, for property expressions of list columns (registered on first use).
    static GType object_type();
    // The key that wraps an instance of object_type(); null for any other object. Reaches the key through
    // the instance itself, without glibmm's wrapper look-up.
    static CKey* of_instance(GObject* object);

    // The stored record of this key: its id and current property values. The second form fills a record
    // in place, reusing its description's storage.
    key_info to_key_info() const;
    void to_key_info(key_info& info) const;

    std::uint32_t id() const { return m_id; }

    CardType card_type() const { return m_type; }
    KeyAttr attr() const { return m_attr; }
    CCardUID number() const { return m_number; }
    bool is_short() const { return m_short; }
    std::int64_t created() const { return m_created; }
    const Glib::ustring& description() const { return m_description; }
    std::uint32_t key_different() const { return m_different; }

    // Each setter, and setting a property through GObject, notifies the property when the value changes,
    // and only then.
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

    Glib::PropertyProxy<CardType> property_type() { return {this, "type"}; }
    Glib::PropertyProxy<KeyAttr> property_attr() { return {this, "attr"}; }
    Glib::PropertyProxy<CCardUID> property_number() { return {this, "number"}; }
    Glib::PropertyProxy<bool> property_short() { return {this, "short"}; }
    Glib::PropertyProxy<std::int64_t> property_created() { return {this, "created"}; }
    Glib::PropertyProxy<Glib::ustring> property_key_description() { return {this, "key-description"}; }
    Glib::PropertyProxy<std::uint32_t> property_key_different() { return {this, "key-different"}; }

    Glib::PropertyProxy_ReadOnly<CardType> property_type() const { return {this, "type"}; }
    Glib::PropertyProxy_ReadOnly<KeyAttr> property_attr() const { return {this, "attr"}; }
    Glib::PropertyProxy_ReadOnly<CCardUID> property_number() const { return {this, "number"}; }
    Glib::PropertyProxy_ReadOnly<bool> property_short() const { return {this, "short"}; }
    Glib::PropertyProxy_ReadOnly<std::int64_t> property_created() const { return {this, "created"}; }
    Glib::PropertyProxy_ReadOnly<Glib::ustring> property_key_description() const {
        return {this, "key-description"};
    }
    Glib::PropertyProxy_ReadOnly<std::uint32_t> property_key_different() const {
        return {this, "key-different"};
    }

private:
    // Wraps a new instance of object_type() and owns its one reference.
    CKey(GObject* instance, std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
         bool is_short, std::int64_t created, Glib::ustring&& description);

private:
    // Property ids, in the order the properties are installed (GObject reserves 0).
    enum Prop : guint {
        kPropType = 1,
        kPropAttr,
        kPropNumber,
        kPropShort,
        kPropCreated,
        kPropDescription,
        kPropDifferent,
        kPropEnd
    };

    static void class_init(void* g_class, void* class_data);
    static Glib::RefPtr<CKey> make(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
                                   bool is_short, std::int64_t created, Glib::ustring&& description);
    static void get_property_callback(GObject* object, guint prop, GValue* value, GParamSpec* pspec);
    static void set_property_callback(GObject* object, guint prop, const GValue* value, GParamSpec* pspec);
    void notify(Prop prop);

    CCardUID m_number;
    Glib::ustring m_description;
    std::int64_t m_created;
    std::uint32_t m_id;
    CardType m_type;
    KeyAttr m_attr;
    std::uint32_t m_different = 0;
    bool m_short;
    bool m_deleted = false;
};
