// Writes rows of text fields as comma-separated text: a field is quoted only when it has to be.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "keys/CsvDialect.h"

namespace csv {

template <class Delimiter, class Stream>
class CWriter {
public:
    // The stream stays the caller's: it decides how the text reaches its file (and when it is flushed).
    explicit CWriter(Stream& out) : m_out(out) {}

    template <class Field>
    void write_row(const std::vector<Field>& fields) {
        m_row.clear();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0)
                m_row += Delimiter::value;
            append_field(as_view(fields[i]));
        }
        // A row of one empty field would be an empty line, which readers skip: quote it so that it stays.
        if (fields.size() == 1 && m_row.empty())
            m_row += "\"\"";
        m_row += kLineFeed;
        m_out.write(m_row.data(), static_cast<std::streamsize>(m_row.size()));
    }

private:
    template <class Field>
    static std::string_view as_view(const Field& field) {
        if constexpr (requires { field.raw(); })
            return std::string_view(field.raw()); // Glib::ustring
        else
            return std::string_view(field);
    }

    static bool needs_quotes(std::string_view field) {
        for (char c : field)
            if (c == Delimiter::value || c == kLineFeed || c == kCarriageReturn || c == kQuote)
                return true;
        return false;
    }

    void append_field(std::string_view field) {
        if (!needs_quotes(field)) {
            m_row += field;
            return;
        }
        // A carriage return is quoted too, so that a reader dropping the CR of CR LF line ends keeps it.
        m_row += kQuote;
        for (char c : field) {
            if (c == kQuote)
                m_row += kQuote;
            m_row += c;
        }
        m_row += kQuote;
    }

    Stream& m_out;
    std::string m_row;
};

} // namespace csv
