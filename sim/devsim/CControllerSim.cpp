// The simulated Q-4T controller's key memory.
#include "sim/devsim/CControllerSim.h"

#include <algorithm>
#include <stdexcept>

namespace devsim {

namespace {
constexpr size_t kDs1996Size = 8192;
constexpr size_t kMinMemSize = 32; // one page
} // namespace

CControllerSim::CControllerSim() {
    set_type(2);
}

void CControllerSim::set_type(int type) {
    if (!mem_type_by_number(type))
        throw std::invalid_argument("memory type must be 1 to 4");
    m_type = type;
    m_memory = Image_Empty(type);
}

void CControllerSim::set_unknown(size_t size, uint8_t code) {
    if (size < kMinMemSize || size > kMaxMemSize)
        throw std::invalid_argument("memory size out of range");
    m_type = 0;
    m_memory.assign(size, 0xFF);
    m_memory[kMemCodeOffset] = code;
}

void CControllerSim::read(uint32_t address, uint8_t* out, size_t n) const {
    const size_t size = m_memory.size();
    for (size_t i = 0; i < n; ++i)
        out[i] = m_memory[(address + i) % size];
}

void CControllerSim::write(uint32_t address, const uint8_t* in, size_t n) {
    const size_t size = m_memory.size();
    for (size_t i = 0; i < n; ++i)
        m_memory[(address + i) % size] = in[i];
}

void CControllerSim::set_memory(std::vector<uint8_t> bytes) {
    if (bytes.size() < kMinMemSize || bytes.size() > kMaxMemSize)
        throw std::invalid_argument("memory size out of range");
    m_memory = std::move(bytes);
    // The memory decides what the controller is: a known code that matches the size, else unknown.
    const MemType* by_code = mem_type_by_code(m_memory[kMemCodeOffset]);
    m_type = by_code && by_code->size == m_memory.size() ? by_code->type : 0;
}

std::vector<SimKey> CControllerSim::keys() const {
    return is_q6(m_type) ? Image_DecodeQ6(m_memory, m_type, m_xor0) : Image_DecodeQ4(m_memory);
}

void CControllerSim::set_keys(const std::vector<SimKey>& keys, uint16_t lock_code) {
    const int type = m_type == 0 ? 2 : m_type;
    std::vector<uint8_t> image(m_memory.size(), 0xFF);
    std::copy_n(m_memory.begin(), 3, image.begin()); // bytes 1-2 belong to the controller
    if (is_q6(type)) {
        Image_BuildQ6(keys, lock_code, image, type, m_xor0);
    } else {
        Image_BuildQ4(keys, lock_code, image, type);
        image[0] = kFormatComplete;
    }
    if (m_type == 0)
        image[kMemCodeOffset] = m_memory[kMemCodeOffset]; // an unknown memory keeps its own code
    m_memory = std::move(image);
}

std::vector<uint8_t> CControllerSim::base_as_q4() const {
    std::vector<uint8_t> q4(kDs1996Size, 0xFF);
    if (!is_q6(m_type)) {
        std::copy_n(m_memory.begin(), std::min(m_memory.size(), q4.size()), q4.begin());
        return q4;
    }
    std::copy_n(m_memory.begin(), 3, q4.begin());
    Image_BuildQ4(keys(), Image_LockCode(m_memory), q4, 2);
    return q4;
}

void CControllerSim::take_base_from_q4(const std::vector<uint8_t>& q4) {
    // A list that does not fit is cut at the capacity, as the controller's own firmware would store it.
    if (is_q6(m_type) || Image_Q4Length(q4) > m_memory.size()) {
        set_keys(Image_DecodeQ4(q4), Image_LockCode(q4));
        return;
    }
    const size_t used = std::min({Image_Q4Length(q4), q4.size(), m_memory.size()});
    std::copy_n(q4.begin(), used, m_memory.begin());
    if (m_type != 0)
        m_memory[kMemCodeOffset] = mem_type_by_number(m_type)->code;
    m_memory[0] = kFormatComplete;
}

} // namespace devsim
