// One key as a row of the key list models: its properties are installed once on the class and read and
// written from plain members, so a row costs little more than its values.
#include "keys/CKey.h"

#include <type_traits>

namespace {

// The "created" property is a GObject long, the type Glib::Value<std::int64_t> maps to.
static_assert(std::is_same_v<std::int64_t, long>, "creation times must be GObject longs");

// The instance of a key row: the plain object and the key that wraps it (null until the key is made, and
// for an instance made by other code).
struct KeyInstance {
    GObject parent;
    CKey* key;
};

// The installed properties, by property id; filled when the key type is registered.
GParamSpec* g_props[8] = {};

// Byte comparison: the C++20 rewritten forms of Glib::ustring's operator== are ambiguous.
bool same(const Glib::ustring& a, const Glib::ustring& b) {
    return a.raw() == b.raw();
}
template <class T>
bool same(const T& a, const T& b) {
    return a == b;
}

template <class T>
T boxed_or(const GValue* value, T fallback) {
    const auto p = static_cast<const T*>(g_value_get_boxed(value));
    return p ? *p : fallback;
}

} // namespace

void CKey::class_init(void* g_class, void*) {
    static_assert(std::size(g_props) == kPropEnd);
    auto* klass = G_OBJECT_CLASS(g_class);
    klass->get_property = &CKey::get_property_callback;
    klass->set_property = &CKey::set_property_callback;
    // Notifications are sent by hand, only when a value really changes: views redraw on each of them.
    constexpr auto flags =
        static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_EXPLICIT_NOTIFY | G_PARAM_STATIC_STRINGS);
    g_props[kPropType] = g_param_spec_boxed("type", "type", "type", kestrix_card_type_get_type(), flags);
    g_props[kPropAttr] = g_param_spec_boxed("attr", "attr", "attr", kestrix_key_attr_get_type(), flags);
    g_props[kPropNumber] =
        g_param_spec_boxed("number", "number", "number", kestrix_card_uid_get_type(), flags);
    g_props[kPropShort] = g_param_spec_boolean("short", "short", "short", false, flags);
    g_props[kPropCreated] =
        g_param_spec_long("created", "created", "created", G_MINLONG, G_MAXLONG, 0, flags);
    g_props[kPropDescription] =
        g_param_spec_string("key-description", "key-description", "key-description", "", flags);
    g_props[kPropDifferent] =
        g_param_spec_uint("key-different", "key-different", "key-different", 0, G_MAXUINT, 0, flags);
    g_object_class_install_properties(klass, kPropEnd, g_props);
}

void CKey::get_property_callback(GObject* object, guint prop, GValue* value, GParamSpec* pspec) {
    const CKey* key = of_instance(object);
    if (!key)
        return;
    switch (prop) {
    case kPropType:
        g_value_set_boxed(value, &key->m_type);
        break;
    case kPropAttr:
        g_value_set_boxed(value, &key->m_attr);
        break;
    case kPropNumber:
        g_value_set_boxed(value, &key->m_number);
        break;
    case kPropShort:
        g_value_set_boolean(value, key->m_short);
        break;
    case kPropCreated:
        g_value_set_long(value, key->m_created);
        break;
    case kPropDescription:
        g_value_set_string(value, key->m_description.c_str());
        break;
    case kPropDifferent:
        g_value_set_uint(value, key->m_different);
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop, pspec);
    }
}

void CKey::set_property_callback(GObject* object, guint prop, const GValue* value, GParamSpec* pspec) {
    CKey* key = of_instance(object);
    if (!key)
        return;
    switch (prop) {
    case kPropType:
        key->set_card_type(boxed_or(value, CT_UNKNOWN));
        break;
    case kPropAttr:
        key->set_attr(boxed_or(value, KA_NONE));
        break;
    case kPropNumber:
        key->set_number(boxed_or(value, CCardUID()));
        break;
    case kPropShort:
        key->set_short(g_value_get_boolean(value));
        break;
    case kPropCreated:
        key->set_created(g_value_get_long(value));
        break;
    case kPropDescription: {
        const char* text = g_value_get_string(value);
        key->set_description(text ? text : "");
        break;
    }
    case kPropDifferent:
        key->set_key_different(g_value_get_uint(value));
        break;
    default:
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, prop, pspec);
    }
}

Glib::RefPtr<CKey> CKey::make(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
                              bool is_short, std::int64_t created, Glib::ustring&& description) {
    auto* instance = static_cast<GObject*>(g_object_new(object_type(), nullptr));
    CKey* key = nullptr;
    try {
        key = new CKey(instance, id, type, attr, number, is_short, created, std::move(description));
    } catch (...) {
        g_object_unref(instance);
        throw;
    }
    reinterpret_cast<KeyInstance*>(instance)->key = key;
    // The wrapper is deleted with the instance, when the last reference goes.
    return Glib::make_refptr_for_instance<CKey>(key);
}

Glib::RefPtr<CKey> CKey::create(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
                                bool is_short, std::int64_t created, const Glib::ustring& description) {
    return make(id, type, attr, number, is_short, created, Glib::ustring(description));
}

Glib::RefPtr<CKey> CKey::create(const key_info& info) {
    return make(info.id, info.type, info.attr, info.number, info.is_short, info.created,
                Glib::ustring(info.comment));
}

Glib::RefPtr<CKey> CKey::create(key_info&& info) {
    return make(info.id, info.type, info.attr, info.number, info.is_short, info.created,
                std::move(info.comment));
}

CKey::CKey(GObject* instance, std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
           bool is_short, std::int64_t created, Glib::ustring&& description)
    : Glib::Object(instance), m_number(number), m_description(std::move(description)), m_created(created),
      m_id(id), m_type(type), m_attr(attr), m_short(is_short) {}

GType CKey::object_type() {
    static const GType type =
        g_type_register_static_simple(G_TYPE_OBJECT, "KestrixKey", sizeof(GObjectClass), &CKey::class_init,
                                      sizeof(KeyInstance), nullptr, static_cast<GTypeFlags>(0));
    return type;
}

CKey* CKey::of_instance(GObject* object) {
    if (!object || !G_TYPE_CHECK_INSTANCE_TYPE(object, object_type()))
        return nullptr;
    return reinterpret_cast<KeyInstance*>(object)->key;
}

key_info CKey::to_key_info() const {
    key_info info;
    to_key_info(info);
    return info;
}

void CKey::to_key_info(key_info& info) const {
    info.id = m_id;
    info.type = m_type;
    info.attr = m_attr;
    info.number = m_number;
    info.is_short = m_short;
    info.created = m_created;
    info.comment = m_description;
}

void CKey::notify(Prop prop) {
    g_object_notify_by_pspec(gobj(), g_props[prop]);
}

namespace {
template <class T>
bool assign(T& member, const T& value) {
    if (same(member, value))
        return false;
    member = value;
    return true;
}
} // namespace

void CKey::set_card_type(CardType type) {
    if (assign(m_type, type))
        notify(kPropType);
}
void CKey::set_attr(KeyAttr attr) {
    if (assign(m_attr, attr))
        notify(kPropAttr);
}
void CKey::set_number(const CCardUID& number) {
    if (assign(m_number, number))
        notify(kPropNumber);
}
void CKey::set_short(bool is_short) {
    if (assign(m_short, is_short))
        notify(kPropShort);
}
void CKey::set_created(std::int64_t created) {
    if (assign(m_created, created))
        notify(kPropCreated);
}
void CKey::set_description(const Glib::ustring& description) {
    if (assign(m_description, description))
        notify(kPropDescription);
}
void CKey::set_key_different(std::uint32_t mask) {
    if (assign(m_different, mask))
        notify(kPropDifferent);
}
