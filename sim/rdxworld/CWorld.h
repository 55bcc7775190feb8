// The simulated reader world on disk: devices the search finds, Mifare readers with the card lying on each,
// the cards themselves, and Temic tags written through readers. Every change is one atomic file replacement,
// so several processes (the reader library, kestrix-cards, the device simulator) can share one world.
#pragma once
#include "sim/rdxworld/CMifareCard.h"
#include "sim/rdxworld/WorldFiles.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace rdxworld {

// A T5557 tag: block values as the tag sends them (first bit in bit 31), the last write mode and the number
// of resets it has seen.
struct temic_tag {
    static constexpr size_t kBlocks = 8;
    std::array<uint32_t, kBlocks> blocks{};
    uint32_t mode = 0;
    uint32_t resets = 0;
};

// A fault armed on one reader: after `after` more operations of its kind go through, the next one fails.
// Kinds: "auth-fail", "read-fail", "garble-read", "write-fail", "take-card" (counts blocks written),
// "lose-device" (counts card calls).
struct reader_fault {
    std::string kind;
    uint32_t after = 0;
    bool operator==(const reader_fault&) const = default;
};

class CWorld {
public:
    explicit CWorld(std::string dir);

    const std::string& dir() const { return m_dir; }
    std::string devices_path() const { return m_dir + "/devices"; }
    std::string reader_path(const std::string& port_name) const;
    std::string card_path(const std::string& uid_text) const;
    std::string temic_path(const std::string& port_name) const;
    std::string faults_path(const std::string& port_name) const;

    // Creates the folder and its sub-folders; throws std::runtime_error when it cannot.
    void create() const;

    std::vector<world_device> load_devices() const;
    void add_device(const world_device& device) const;

    // Names of the reader state files (port names made file names), sorted.
    std::vector<std::string> reader_names() const;
    void create_reader(const std::string& port_name) const;
    // The UID text of the card on the reader: "" when it is empty, nothing when the port is no Mifare reader.
    std::optional<std::string> card_on_reader(const std::string& port_name) const;
    void set_card_on_reader(const std::string& port_name, const std::string& uid_text) const;

    std::vector<std::string> card_uids() const;
    std::optional<CMifareCard> load_card(const std::string& uid_text) const;
    void save_card(const CMifareCard& card) const;

    // The faults armed on a reader, in file order (malformed lines skipped).
    std::vector<reader_fault> load_faults(const std::string& port_name) const;
    void save_faults(const std::string& port_name, const std::vector<reader_fault>& faults) const;

    std::vector<std::string> temic_names() const;
    temic_tag load_temic(const std::string& port_name) const;
    void save_temic(const std::string& port_name, const temic_tag& tag) const;

private:
    std::vector<std::string> list_dir(const std::string& sub) const;

    std::string m_dir;
};

} // namespace rdxworld
