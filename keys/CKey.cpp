// One key as a row of the key list models, with observable properties.
#include "keys/CKey.h"

Glib::RefPtr<CKey> CKey::create(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number,
                                bool is_short, std::int64_t created, const Glib::ustring& description) {
    return Glib::make_refptr_for_instance<CKey>(
        new CKey(id, type, attr, number, is_short, created, description));
}

Glib::RefPtr<CKey> CKey::create(const key_info& info) {
    return create(info.id, info.type, info.attr, info.number, info.is_short, info.created, info.comment);
}

CKey::CKey(std::uint32_t id, CardType type, KeyAttr attr, const CCardUID& number, bool is_short,
           std::int64_t created, const Glib::ustring& description)
    : Glib::ObjectBase(typeid(CKey)), m_id(id), m_type(*this, "type", type), m_attr(*this, "attr", attr),
      m_number(*this, "number", number), m_short(*this, "short", is_short),
      m_created(*this, "created", created), m_description(*this, "key-description", description),
      m_different(*this, "key-different", 0u) {}

GType CKey::object_type() {
    // glibmm registers a derived type when its first instance is made.
    static const GType type = G_OBJECT_TYPE(create(0, CT_UNKNOWN, KA_NONE, CCardUID(), false, 0, {})->gobj());
    return type;
}

key_info CKey::to_key_info() const {
    key_info info;
    info.id = m_id;
    info.type = card_type();
    info.attr = attr();
    info.number = number();
    info.is_short = is_short();
    info.created = created();
    info.comment = description();
    return info;
}

namespace {

template <class T>
bool same(const T& a, const T& b) {
    return a == b;
}
// Byte comparison: the C++20 rewritten forms of Glib::ustring's operator== are ambiguous.
bool same(const Glib::ustring& a, const Glib::ustring& b) {
    return a.raw() == b.raw();
}

// Assigning a Glib::Property notifies; views redraw on every notification, so only real changes notify.
template <class T>
void set_if_changed(Glib::Property<T>& property, const T& value) {
    if (!same(property.get_value(), value))
        property = value;
}

} // namespace

void CKey::set_card_type(CardType type) {
    set_if_changed(m_type, type);
}
void CKey::set_attr(KeyAttr attr) {
    set_if_changed(m_attr, attr);
}
void CKey::set_number(const CCardUID& number) {
    set_if_changed(m_number, number);
}
void CKey::set_short(bool is_short) {
    set_if_changed(m_short, is_short);
}
void CKey::set_created(std::int64_t created) {
    set_if_changed(m_created, created);
}
void CKey::set_description(const Glib::ustring& description) {
    set_if_changed(m_description, description);
}
void CKey::set_key_different(std::uint32_t mask) {
    set_if_changed(m_different, mask);
}
