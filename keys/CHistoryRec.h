// One line of the status history: when it was shown and its text, as a row of the history list.
#pragma once

#include <glibmm/object.h>
#include <glibmm/property.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

#include <cstdint>

class CHistoryRec : public Glib::Object {
public:
    static Glib::RefPtr<CHistoryRec> create(std::int64_t time, const Glib::ustring& text);

    // The GType of history rows, for property expressions of list columns (registered on first use).
    static GType object_type();

    std::int64_t time() const { return m_time.get_value(); }
    Glib::ustring text() const { return m_text.get_value(); }

    // Read-only for views: properties "time" (seconds since the epoch) and "text".
    Glib::PropertyProxy_ReadOnly<std::int64_t> property_time() const { return m_time.get_proxy(); }
    Glib::PropertyProxy_ReadOnly<Glib::ustring> property_text() const { return m_text.get_proxy(); }

protected:
    CHistoryRec(std::int64_t time, const Glib::ustring& text);

private:
    Glib::Property_ReadOnly<std::int64_t> m_time;
    Glib::Property_ReadOnly<Glib::ustring> m_text;
};
