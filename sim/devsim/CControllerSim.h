// The Q-4T controller wired to the simulated adapter: a serial key memory whose addresses wrap at its size
// (so that the program's size probe finds it), the memory-type code it keeps at byte 5 of page 0, and
// whether it is connected at all.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/devsim/KeyImage.h"

namespace devsim {

class CControllerSim {
public:
    CControllerSim();

    // A freshly cleared controller of memory type 1..4 (empty list, its code at byte 5).
    void set_type(int type);
    // A memory of `size` bytes whose byte 5 holds a code outside the table (all other bytes 0xFF).
    void set_unknown(size_t size, uint8_t code);
    void set_present(bool present) { m_present = present; }
    bool present() const { return m_present; }
    // 1..4, or 0 for a memory with an unknown code.
    int type() const { return m_type; }
    size_t size() const { return m_memory.size(); }

    // Byte access with the address taken modulo the memory size, as the memory chip decodes it.
    void read(uint32_t address, uint8_t* out, size_t n) const;
    void write(uint32_t address, const uint8_t* in, size_t n);

    const std::vector<uint8_t>& memory() const { return m_memory; }
    // Replaces the raw memory; its length is the new memory size, and the type is the one the code at byte 5
    // names when its size matches, else unknown (0).
    void set_memory(std::vector<uint8_t> bytes);

    // A controller with the Xor0 firmware keeps its Q6 index bytes as the XOR of the number bytes.
    void set_xor0(bool on) { m_xor0 = on; }
    bool xor0() const { return m_xor0; }
    // The key list and lock code the controller holds, decoded from its memory.
    std::vector<SimKey> keys() const;
    void set_keys(const std::vector<SimKey>& keys, uint16_t lock_code);
    // The base in the Q4 layout of a DS1996L (what the controller writes onto a prepared key).
    std::vector<uint8_t> base_as_q4() const;
    // Takes a base read from a DS1996L (Q4 layout) into memory in the controller's own layout.
    void take_base_from_q4(const std::vector<uint8_t>& q4);

private:
    std::vector<uint8_t> m_memory;
    int m_type = 2;
    bool m_present = true;
    bool m_xor0 = false;
};

} // namespace devsim
