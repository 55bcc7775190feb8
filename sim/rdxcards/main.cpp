// kestrix-cards: looks after the simulated reader world by hand: creates blank Mifare Classic cards, puts
// them on a reader and takes them off again, shows them, adds Mifare readers and shows the Temic tags written
// so far.
#include "sim/rdxworld/CWorld.h"
#include "sim/rdxworld/T57Codec.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using rdxworld::CMifareCard;
using rdxworld::CWorld;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kPortTypeCom = 1;        // USB readers show up as COM ports
constexpr int kDefaultReaderModel = 2; // a desktop Mifare reader
constexpr int kFirstSerial = 10001;
constexpr uint32_t kReaderFirmware = 0x01020300;

const char* const kUsage =
    "usage: kestrix-cards [--world DIR] <command>\n"
    "  blank <1k|4k|2k|mini> [uid-hex]   create a blank card (transport keys FFFFFFFFFFFF)\n"
    "  list                              cards, readers and devices of the world\n"
    "  put <uid> [reader]                put a card on a reader (the first reader when none is named)\n"
    "  take [reader]                     take the card off a reader\n"
    "  show <uid>                        every block of a card, sector by sector\n"
    "  reader add <name> [model]         add a Mifare reader device (model 2 unless given)\n"
    "  temic show                        the Temic tags written through readers\n"
    "DIR defaults to the environment variable RDX_SIM_DIR.\n";

struct usage_error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<uint8_t> random_uid(const CWorld& world) {
    std::random_device rd;
    for (;;) {
        std::vector<uint8_t> uid(4);
        for (auto& b : uid)
            b = static_cast<uint8_t>(rd());
        if (uid[0] == 0x88) // the cascade tag never starts a 4-byte UID
            continue;
        if (!world.load_card(CMifareCard::uid_to_text(uid)))
            return uid;
    }
}

std::string first_reader(const CWorld& world) {
    auto names = world.reader_names();
    if (names.empty())
        throw std::runtime_error("the world has no Mifare reader; add one with: reader add <name>");
    return names.front();
}

std::string where_is(const CWorld& world, const std::string& uid) {
    for (const std::string& r : world.reader_names())
        if (world.card_on_reader(r) == uid)
            return r;
    return {};
}

CMifareCard load_card(const CWorld& world, const std::string& uid_arg) {
    auto uid = CMifareCard::parse_uid_text(uid_arg);
    if (!uid)
        throw usage_error("a UID is 8 or 14 hexadecimal digits: " + uid_arg);
    auto card = world.load_card(CMifareCard::uid_to_text(*uid));
    if (!card)
        throw std::runtime_error("no such card (or its file is damaged): " + uid_arg);
    return *card;
}

void cmd_blank(const CWorld& world, const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        throw usage_error("blank needs a size and optionally a UID");
    auto size = CMifareCard::parse_size(args[0]);
    if (!size)
        throw usage_error("unknown card size: " + args[0]);
    std::vector<uint8_t> uid;
    if (args.size() == 2) {
        auto parsed = CMifareCard::parse_uid_text(args[1]);
        if (!parsed)
            throw usage_error("a UID is 8 or 14 hexadecimal digits: " + args[1]);
        uid = *parsed;
    } else {
        uid = random_uid(world);
    }
    CMifareCard card(*size, uid);
    world.create();
    world.save_card(card);
    std::printf("%s\n", card.uid_text().c_str());
}

void cmd_list(const CWorld& world) {
    std::printf("cards:\n");
    for (const std::string& uid : world.card_uids()) {
        auto card = world.load_card(uid);
        std::string reader = where_is(world, uid);
        std::printf("  %-14s %-4s %s\n", uid.c_str(), card ? CMifareCard::size_name(card->size()) : "bad!",
                    reader.empty() ? "" : ("on " + reader).c_str());
    }
    std::printf("readers:\n");
    for (const std::string& r : world.reader_names()) {
        auto uid = world.card_on_reader(r);
        std::printf("  %-20s %s\n", r.c_str(), uid && !uid->empty() ? uid->c_str() : "(empty)");
    }
    std::printf("devices:\n");
    for (const auto& d : world.load_devices())
        std::printf("  %s\n", rdxworld::format_device_line(d).c_str());
}

void cmd_put(const CWorld& world, const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        throw usage_error("put needs a UID and optionally a reader");
    const CMifareCard card = load_card(world, args[0]);
    const std::string reader = args.size() == 2 ? args[1] : first_reader(world);
    if (!world.card_on_reader(reader))
        throw std::runtime_error("no such reader: " + reader);
    // A card lies on one reader at a time.
    for (const std::string& r : world.reader_names())
        if (r != rdxworld::port_file_name(reader) && world.card_on_reader(r) == card.uid_text())
            world.set_card_on_reader(r, "");
    world.set_card_on_reader(reader, card.uid_text());
    std::printf("%s is on %s\n", card.uid_text().c_str(), reader.c_str());
}

void cmd_take(const CWorld& world, const std::vector<std::string>& args) {
    if (args.size() > 1)
        throw usage_error("take names at most one reader");
    const std::string reader = args.empty() ? first_reader(world) : args[0];
    if (!world.card_on_reader(reader))
        throw std::runtime_error("no such reader: " + reader);
    world.set_card_on_reader(reader, "");
    std::printf("%s is empty\n", reader.c_str());
}

void cmd_show(const CWorld& world, const std::vector<std::string>& args) {
    if (args.size() != 1)
        throw usage_error("show needs a UID");
    const CMifareCard card = load_card(world, args[0]);
    const std::string reader = where_is(world, card.uid_text());
    std::printf("card %s, Mifare Classic %s, %u bytes, %s\n", card.uid_text().c_str(),
                CMifareCard::size_name(card.size()), card.memory_size(),
                reader.empty() ? "on no reader" : ("on " + reader).c_str());
    for (uint32_t s = 0; s < card.sector_count(); ++s) {
        std::printf("sector %u (key A %012llX)\n", s, static_cast<unsigned long long>(card.sector_key(s, 0)));
        for (uint32_t b = CMifareCard::first_block_of_sector(s); b <= CMifareCard::trailer_of_sector(s); ++b)
            std::printf("  %3u  %s\n", b,
                        rdxworld::to_hex(card.block(b).data(), CMifareCard::kBlockSize).c_str());
    }
}

void cmd_reader_add(const CWorld& world, const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        throw usage_error("reader add needs a name and optionally a model");
    rdxworld::world_device d;
    d.port_type = kPortTypeCom;
    d.port_name = args[0];
    d.model = kDefaultReaderModel;
    if (args.size() == 2) {
        char* end = nullptr;
        long model = std::strtol(args[1].c_str(), &end, 10);
        if (*end != '\0' || model < 1 || model > 12)
            throw usage_error("a model is a number from 1 to 12");
        d.model = static_cast<int>(model);
    }
    // The program shows a device as its port name followed by a blank and the model, so names have no blanks.
    if (d.port_name.empty() || d.port_name.size() >= 64 ||
        d.port_name.find_first_of(" \t") != std::string::npos)
        throw usage_error("a reader name has 1-63 characters and no blank");
    const auto devices = world.load_devices();
    for (const auto& existing : devices)
        if (existing.port_type == d.port_type && existing.port_name == d.port_name)
            throw std::runtime_error("the device list has " + d.port_name + " already");
    d.serial = kFirstSerial + static_cast<int>(devices.size());
    d.firmware = kReaderFirmware;
    world.create();
    world.create_reader(d.port_name);
    world.add_device(d);
    std::printf("%s\n", rdxworld::format_device_line(d).c_str());
}

void cmd_temic_show(const CWorld& world) {
    for (const std::string& name : world.temic_names()) {
        const rdxworld::temic_tag tag = world.load_temic(name);
        std::printf("%s: mode %u, %u reset(s)\n", name.c_str(), tag.mode, tag.resets);
        for (size_t i = 0; i < tag.blocks.size(); ++i)
            std::printf("  block %zu  %08X\n", i, tag.blocks[i]);
        if (tag.blocks[0] == rdxworld::kT57EmMarineConfig) {
            if (auto n = rdxworld::T57_DecodeEmMarine(tag.blocks[1], tag.blocks[2]))
                std::printf("  Em-Marine %010llX (%03u,%05u)\n", static_cast<unsigned long long>(*n),
                            static_cast<unsigned>((*n >> 16) & 0xFF), static_cast<unsigned>(*n & 0xFFFF));
        } else if (tag.blocks[0] == rdxworld::kT57HidConfig) {
            if (auto n = rdxworld::T57_DecodeHid(tag.blocks[1], tag.blocks[2], tag.blocks[3]))
                std::printf("  HID 26-bit facility %u card %u\n", *n >> 16, *n & 0xFFFF);
        }
    }
}

int run(const std::string& dir, const std::vector<std::string>& args) {
    const CWorld world(dir);
    const std::string& cmd = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (cmd == "blank")
        cmd_blank(world, rest);
    else if (cmd == "list" && rest.empty())
        cmd_list(world);
    else if (cmd == "put")
        cmd_put(world, rest);
    else if (cmd == "take")
        cmd_take(world, rest);
    else if (cmd == "show")
        cmd_show(world, rest);
    else if (cmd == "reader" && !rest.empty() && rest[0] == "add")
        cmd_reader_add(world, std::vector<std::string>(rest.begin() + 1, rest.end()));
    else if (cmd == "temic" && rest.size() == 1 && rest[0] == "show")
        cmd_temic_show(world);
    else
        throw usage_error("unknown command: " + cmd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string dir;
    if (const char* env = std::getenv("RDX_SIM_DIR"))
        dir = env;
    if (args.size() >= 2 && args[0] == "--world") {
        dir = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? kExitUsage : 0;
    }
    if (dir.empty()) {
        std::fprintf(stderr, "kestrix-cards: no world folder (--world DIR or RDX_SIM_DIR)\n");
        return kExitUsage;
    }
    try {
        return run(dir, args);
    } catch (const usage_error& e) {
        std::fprintf(stderr, "kestrix-cards: %s\n%s", e.what(), kUsage);
        return kExitUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrix-cards: %s\n", e.what());
        return kExitFailure;
    }
}
