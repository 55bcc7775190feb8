// The simulated reader world on disk.
#include "sim/rdxworld/CWorld.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <memory>
#include <stdexcept>

namespace rdxworld {

namespace {

constexpr const char* kReadersDir = "readers";
constexpr const char* kCardsDir = "cards";
constexpr const char* kTemicDir = "temic";
constexpr const char* kFaultsDir = "faults";
constexpr const char* kNoCard = "-";

struct dir_closer {
    void operator()(DIR* d) const { ::closedir(d); }
};

bool parse_u32(const std::string& text, int base, uint32_t& out) {
    if (text.empty())
        return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, base);
    if (*end != '\0' || v > 0xFFFFFFFFull)
        return false;
    out = static_cast<uint32_t>(v);
    return true;
}

} // namespace

CWorld::CWorld(std::string dir) : m_dir(std::move(dir)) {
    while (m_dir.size() > 1 && m_dir.back() == '/')
        m_dir.pop_back();
}

std::string CWorld::reader_path(const std::string& port_name) const {
    return m_dir + "/" + kReadersDir + "/" + port_file_name(port_name);
}

std::string CWorld::card_path(const std::string& uid_text) const {
    return m_dir + "/" + kCardsDir + "/" + port_file_name(uid_text);
}

std::string CWorld::temic_path(const std::string& port_name) const {
    return m_dir + "/" + kTemicDir + "/" + port_file_name(port_name);
}

std::string CWorld::faults_path(const std::string& port_name) const {
    return m_dir + "/" + kFaultsDir + "/" + port_file_name(port_name);
}

void CWorld::create() const {
    for (const std::string& d : {m_dir, m_dir + "/" + kReadersDir, m_dir + "/" + kCardsDir,
                                 m_dir + "/" + kTemicDir, m_dir + "/" + kFaultsDir})
        if (!make_dir(d))
            throw std::runtime_error("cannot create the folder " + d);
}

std::vector<world_device> CWorld::load_devices() const {
    auto text = read_text_file(devices_path());
    return text ? parse_devices(*text) : std::vector<world_device>{};
}

void CWorld::add_device(const world_device& device) const {
    create();
    append_line_locked(devices_path(), format_device_line(device));
}

std::vector<std::string> CWorld::list_dir(const std::string& sub) const {
    std::vector<std::string> names;
    std::unique_ptr<DIR, dir_closer> d(::opendir((m_dir + "/" + sub).c_str()));
    if (!d)
        return names;
    while (dirent* e = ::readdir(d.get())) {
        std::string name = e->d_name;
        if (name.empty() || name[0] == '.' || name.find(".tmp.") != std::string::npos)
            continue;
        names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> CWorld::reader_names() const {
    return list_dir(kReadersDir);
}

void CWorld::create_reader(const std::string& port_name) const {
    create();
    write_text_file_atomic(reader_path(port_name), std::string("card ") + kNoCard + "\n");
}

std::optional<std::string> CWorld::card_on_reader(const std::string& port_name) const {
    auto text = read_text_file(reader_path(port_name));
    if (!text)
        return std::nullopt;
    for (const std::string& line : split_lines(*text)) {
        std::vector<std::string> w = split_words(line);
        if (w.size() == 2 && w[0] == "card")
            return w[1] == kNoCard ? std::string() : w[1];
    }
    return std::string();
}

void CWorld::set_card_on_reader(const std::string& port_name, const std::string& uid_text) const {
    write_text_file_atomic(reader_path(port_name),
                           std::string("card ") + (uid_text.empty() ? kNoCard : uid_text.c_str()) + "\n");
}

std::vector<std::string> CWorld::card_uids() const {
    return list_dir(kCardsDir);
}

std::optional<CMifareCard> CWorld::load_card(const std::string& uid_text) const {
    auto text = read_text_file(card_path(uid_text));
    if (!text)
        return std::nullopt;
    return CMifareCard::parse(*text);
}

void CWorld::save_card(const CMifareCard& card) const {
    create();
    write_text_file_atomic(card_path(card.uid_text()), card.to_text());
}

std::vector<reader_fault> CWorld::load_faults(const std::string& port_name) const {
    std::vector<reader_fault> faults;
    auto text = read_text_file(faults_path(port_name));
    if (!text)
        return faults;
    for (const std::string& line : split_lines(*text)) {
        std::vector<std::string> w = split_words(line);
        reader_fault fault;
        if (w.empty() || w[0][0] == '#' || w.size() > 2)
            continue;
        fault.kind = w[0];
        if (w.size() == 2 && !parse_u32(w[1], 10, fault.after))
            continue;
        faults.push_back(fault);
    }
    return faults;
}

void CWorld::save_faults(const std::string& port_name, const std::vector<reader_fault>& faults) const {
    create();
    std::string text;
    for (const reader_fault& f : faults)
        text += f.kind + " " + std::to_string(f.after) + "\n";
    write_text_file_atomic(faults_path(port_name), text);
}

std::vector<std::string> CWorld::temic_names() const {
    return list_dir(kTemicDir);
}

temic_tag CWorld::load_temic(const std::string& port_name) const {
    temic_tag tag;
    auto text = read_text_file(temic_path(port_name));
    if (!text)
        return tag;
    for (const std::string& line : split_lines(*text)) {
        std::vector<std::string> w = split_words(line);
        uint32_t index = 0, value = 0;
        if (w.size() == 3 && w[0] == "block" && parse_u32(w[1], 10, index) && index < temic_tag::kBlocks &&
            parse_u32(w[2], 16, value))
            tag.blocks[index] = value;
        else if (w.size() == 2 && w[0] == "mode")
            parse_u32(w[1], 10, tag.mode);
        else if (w.size() == 2 && w[0] == "resets")
            parse_u32(w[1], 10, tag.resets);
    }
    return tag;
}

void CWorld::save_temic(const std::string& port_name, const temic_tag& tag) const {
    create();
    std::string text = "# T5557 tag on the reader; block values as the tag sends them, first bit first\n";
    char line[48];
    for (size_t i = 0; i < tag.blocks.size(); ++i) {
        std::snprintf(line, sizeof line, "block %zu %08X\n", i, tag.blocks[i]);
        text += line;
    }
    text += "mode " + std::to_string(tag.mode) + "\nresets " + std::to_string(tag.resets) + "\n";
    write_text_file_atomic(temic_path(port_name), text);
}

} // namespace rdxworld
