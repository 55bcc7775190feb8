// Paced output queue of a simulated serial line.
#include "sim/devsim/COutQueue.h"

#include <algorithm>

#include "sim/devsim/LineGarble.h"

namespace devsim {

std::chrono::nanoseconds byte_time(const LineSettings& line) {
    if (line.baud == 0)
        return std::chrono::nanoseconds(0);
    return std::chrono::nanoseconds(1'000'000'000ULL * line.bits_per_byte() / line.baud);
}

void COutQueue::push(TimePoint at, const uint8_t* data, size_t n, std::chrono::nanoseconds byte_time,
                     uint32_t baud) {
    m_byte_time = byte_time;
    for (size_t i = 0; i < n; ++i) {
        TimePoint due = at;
        if (byte_time.count() > 0) {
            due = std::max(at, m_line_free) + byte_time;
            m_line_free = due;
        }
        m_bytes.push_back({due, data[i], baud});
    }
}

void COutQueue::take_due(TimePoint now, std::vector<uint8_t>& out, uint32_t read_baud) {
    // Runs of bytes sent at one rate; a run at a rate the receiver is not set to comes out garbled.
    while (!m_bytes.empty() && m_bytes.front().due <= now) {
        const uint32_t baud = m_bytes.front().baud;
        std::vector<uint8_t> run;
        while (!m_bytes.empty() && m_bytes.front().due <= now && m_bytes.front().baud == baud) {
            run.push_back(m_bytes.front().value);
            m_bytes.pop_front();
        }
        if (read_baud != 0 && !same_rate(baud, read_baud))
            run = resample_bytes(run.data(), run.size(), baud, read_baud);
        out.insert(out.end(), run.begin(), run.end());
    }
}

std::optional<TimePoint> COutQueue::next_due() const {
    if (m_bytes.empty())
        return std::nullopt;
    // The end of the first burst: the program cannot tell when the bytes before the last one of a
    // back-to-back run arrived, so they go out together with it, one wake-up per answer instead of one per
    // byte.
    TimePoint last = m_bytes.front().due;
    for (auto it = m_bytes.begin() + 1; it != m_bytes.end() && it->due - last <= m_byte_time; ++it)
        last = it->due;
    return last;
}

void COutQueue::clear() {
    m_bytes.clear();
    m_line_free = {};
}

} // namespace devsim
