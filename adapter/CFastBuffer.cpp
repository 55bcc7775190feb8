// Receive buffer of the ports.
#include "adapter/CFastBuffer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

void CFastBuffer::append(const uint8_t* data, size_t n) {
    if (n == 0)
        return;
    m_data.insert(m_data.end(), data, data + n);
}

void CFastBuffer::consume(size_t n) {
    m_offset += std::min(n, size());
    // Moving the unread bytes only now and then keeps consume cheap for frame-by-frame parsing.
    if (m_offset > kCompactThreshold || m_offset > m_data.size() / 2)
        shrink();
}

void CFastBuffer::clear() {
    m_data.clear();
    m_offset = 0;
}

void CFastBuffer::shrink() {
    if (m_offset == 0)
        return;
    m_data.erase(m_data.begin(), m_data.begin() + static_cast<ptrdiff_t>(m_offset));
    m_offset = 0;
}

uint8_t* CFastBuffer::get_buffer(size_t n) {
    if (m_data.size() < m_offset + n)
        m_data.resize(m_offset + n, 0);
    return m_data.data() + m_offset;
}

void CFastBuffer::release_buffer(size_t n) {
    m_data.resize(m_offset + n, 0);
}

ptrdiff_t CFastBuffer::find(uint8_t b) const {
    const uint8_t* begin = data();
    const void* hit = std::memchr(begin, b, size());
    return hit ? static_cast<const uint8_t*>(hit) - begin : -1;
}

uint8_t CFastBuffer::at(size_t i) const {
    if (i >= size())
        throw std::out_of_range("CRingBuffer::at() : index is out of range");
    return m_data[m_offset + i];
}

std::string CFastBuffer::get_as_string() const {
    return std::string(reinterpret_cast<const char*>(data()), size());
}

std::string CFastBuffer::get_as_string(size_t n) const {
    return std::string(reinterpret_cast<const char*>(data()), std::min(n, size()));
}

void CFastBuffer::swap(CFastBuffer& other) noexcept {
    m_data.swap(other.m_data);
    std::swap(m_offset, other.m_offset);
}
