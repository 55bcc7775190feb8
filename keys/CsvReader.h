// Reads rows of text fields from comma-separated text, a piece of the file at a time. Fields are kept as
// bytes, so a multi-byte UTF-8 character cut by a piece boundary is joined again in its field.
#pragma once

#include <cstddef>
#include <ios>
#include <stdexcept>
#include <string>
#include <vector>

#include "keys/CsvDialect.h"

namespace csv {

// The stream failed while the file was read (not the end of the file).
class read_error : public std::runtime_error {
public:
    read_error() : std::runtime_error("CSV read error") {}
};

template <class Delimiter, class Stream>
class CReader {
public:
    static constexpr std::size_t kDefaultPieceSize = 64 * 1024;

    // The stream stays the caller's. piece_size is how many bytes are read at a time (at least 1).
    explicit CReader(Stream& in, std::size_t piece_size = kDefaultPieceSize)
        : m_in(in), m_piece(piece_size ? piece_size : 1) {}

    // Reads the next row into fields (cleared first). False at the end of the text when no field was read.
    // Lines that hold nothing are skipped. Throws read_error when the stream fails.
    bool read_row(std::vector<std::string>& fields) {
        m_count = 0;
        m_field.clear();
        const bool got = scan_row(fields);
        fields.resize(m_count);
        return got;
    }

private:
    // The strings of fields are reused from row to row; m_count says how many this row has.
    bool scan_row(std::vector<std::string>& fields) {
        bool in_quotes = false;
        for (;;) {
            if (m_pos == m_end && !fill()) {
                if (m_count == 0 && m_field.empty())
                    return false;
                finish_field(fields);
                return true;
            }
            const char c = m_piece[m_pos];
            if (c == kQuote) {
                if (m_field.empty() || m_field.front() == kQuote)
                    in_quotes = !in_quotes;
                m_field += c;
                ++m_pos;
            } else if (!in_quotes && c == Delimiter::value) {
                ++m_pos;
                finish_field(fields);
            } else if (!in_quotes && c == kLineFeed) {
                ++m_pos;
                // The carriage return of a CR LF line end belongs to the line end, not to the field (a
                // carriage return that is part of a field is always written between quotes).
                if (!m_field.empty() && m_field.back() == kCarriageReturn)
                    m_field.pop_back();
                if (m_count == 0 && m_field.empty())
                    continue; // an empty line
                finish_field(fields);
                return true;
            } else {
                append_run(in_quotes);
            }
        }
    }

    // Appends the characters up to the next one that means something in the current state.
    void append_run(bool in_quotes) {
        std::size_t end = m_pos + 1;
        while (end < m_end) {
            const char c = m_piece[end];
            if (c == kQuote || (!in_quotes && (c == Delimiter::value || c == kLineFeed)))
                break;
            ++end;
        }
        m_field.append(m_piece.data() + m_pos, end - m_pos);
        m_pos = end;
    }

    void finish_field(std::vector<std::string>& fields) {
        if (m_count == fields.size())
            fields.emplace_back();
        std::string& out = fields[m_count++];
        if (m_field.size() >= 2 && m_field.front() == kQuote && m_field.back() == kQuote) {
            out.clear();
            for (std::size_t i = 1; i + 1 < m_field.size(); ++i) {
                out += m_field[i];
                if (m_field[i] == kQuote && i + 2 < m_field.size() && m_field[i + 1] == kQuote)
                    ++i;
            }
        } else {
            out.assign(m_field);
        }
        m_field.clear();
    }

    bool fill() {
        if (m_eof)
            return false;
        m_in.read(m_piece.data(), static_cast<std::streamsize>(m_piece.size()));
        const std::streamsize got = m_in.gcount();
        if (m_in.bad())
            throw read_error();
        if (got <= 0) {
            m_eof = true;
            return false;
        }
        m_pos = 0;
        m_end = static_cast<std::size_t>(got);
        return true;
    }

    Stream& m_in;
    std::vector<char> m_piece;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
    bool m_eof = false;
    std::string m_field;
    std::size_t m_count = 0;
};

} // namespace csv
