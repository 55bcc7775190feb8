// Fuzzes reading a key list back from a set of Mifare cards: the input is a sequence of cards, each a size
// byte (Mini, 1K, 2K, 4K) followed by the blocks the reader returns, in the order the worker reads them
// (block 1, block 2, then the data blocks of every further sector). Nothing a card holds may read or write
// outside the 8 KB stream, and the decoded keys must lie within the bytes read.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "readers/CMifareThread.h"

namespace {

constexpr unsigned kSizes[] = {320, 1024, 2048, 4096};
constexpr unsigned kBlock = CMifareThread::kBlockSize;

void check(bool ok) {
    if (!ok)
        std::abort();
}

// Hands out the input block by block; missing bytes read as zero.
class CInput {
public:
    CInput(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool empty() const { return m_at >= m_size; }
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    const unsigned char* blocks(unsigned count) {
        m_buffer.assign(count * kBlock, 0);
        const size_t n = std::min<size_t>(m_buffer.size(), m_size - std::min(m_at, m_size));
        std::copy_n(m_data + m_at, n, m_buffer.begin());
        m_at += n;
        return m_buffer.data();
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
    std::vector<unsigned char> m_buffer;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CInput input(data, size);
    // Exactly the stream buffer, so that the sanitizer sees every byte outside it.
    std::vector<unsigned char> stream(CMifareThread::kDataSize);
    unsigned offset = 0, pos = 0, cards = 0;
    uint32_t group = 0;
    bool end = false;
    while (!end && !input.empty() && cards < 64) {
        const unsigned memory_size = kSizes[input.byte() & 3];
        const unsigned char* id = input.blocks(1);
        if (CMifareThread::CheckIdBlock(id, cards, cards == 0, group) != CMifareThread::CardCheck::kOk)
            break;
        if (cards == 0)
            std::copy_n(id, sizeof(group), reinterpret_cast<unsigned char*>(&group));
        end = CMifareThread::AppendStream(stream.data(), offset, pos, input.blocks(1), 1);
        for (unsigned s = 1; !end && s < CMifareThread::MfSectorCount(memory_size) && offset < stream.size();
             ++s) {
            const unsigned count = CMifareThread::MfSectorBlockCount(s) - 1;
            end = CMifareThread::AppendStream(stream.data(), offset, pos, input.blocks(count), count);
        }
        check(offset <= stream.size());
        ++cards;
    }
    std::vector<m6::_db_key> keys;
    unsigned short lock_code = 0;
    CMifareThread::DecodeStream(stream.data(), offset, pos, keys, lock_code);
    check(keys.size() <= offset / 4);
    (void)CMifareThread::KeysBefore(stream.data(), pos);
    return 0;
}
