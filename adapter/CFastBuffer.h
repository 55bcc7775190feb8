// Receive buffer of the ports: a byte vector with a read offset, so that consuming bytes at the front does
// not move the rest each time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CFastBuffer {
public:
    // The consumed prefix is dropped once it exceeds this or half of the stored bytes.
    static constexpr size_t kCompactThreshold = 0x100000;

    CFastBuffer() = default;
    explicit CFastBuffer(size_t reserve) { m_data.reserve(reserve); }

    // Number of unread bytes.
    size_t size() const { return m_data.size() - m_offset; }
    bool empty() const { return size() == 0; }
    // The unread bytes (valid until the next change of the buffer).
    const uint8_t* data() const { return m_data.data() + m_offset; }
    size_t capacity() const { return m_data.capacity(); }

    void append(const uint8_t* data, size_t n);
    // Advances the read offset by n (at most to the end).
    void consume(size_t n);
    // Offset 0, storage emptied, capacity kept.
    void clear();
    // Moves the unread bytes to the front.
    void shrink();

    // Makes the storage at least offset + n bytes long (new bytes zero) and returns the address at the read
    // offset; release_buffer then sets the storage length to offset + n. To append after unread data, ask for
    // size() + extra and write at the returned address + size().
    uint8_t* get_buffer(size_t n);
    void release_buffer(size_t n);

    // Index (from the read offset) of the first unread byte equal to b, or -1.
    ptrdiff_t find(uint8_t b) const;
    // The first unread byte, or 0 when empty.
    uint8_t front() const { return empty() ? 0 : m_data[m_offset]; }
    // Unread byte i; throws std::out_of_range at or beyond size().
    uint8_t at(size_t i) const;

    std::string get_as_string() const;
    std::string get_as_string(size_t n) const;

    void swap(CFastBuffer& other) noexcept;

private:
    std::vector<uint8_t> m_data;
    size_t m_offset = 0; // bytes at the front already consumed
};
