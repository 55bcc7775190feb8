// Whole files read and written by tests, as text or as bytes.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace test {

inline std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_text(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Replaces the whole file at once, as a program watching it from another process expects.
inline void replace_text(const std::filesystem::path& path, const std::string& text) {
    const auto tmp = path.string() + ".tmp.test";
    write_text(tmp, text);
    std::filesystem::rename(tmp, path);
}

inline std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path) {
    const std::string text = read_text(path);
    return {text.begin(), text.end()};
}

inline void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    write_text(path, std::string(bytes.begin(), bytes.end()));
}

// A fresh temporary folder named by RDX_SIM_DIR while it exists: the world of the stand-in reader library.
class CSimWorldDir {
public:
    CSimWorldDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrix-world-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_dir = pattern;
        if (const char* old = std::getenv("RDX_SIM_DIR"))
            m_old = old;
        setenv("RDX_SIM_DIR", m_dir.c_str(), 1);
    }
    ~CSimWorldDir() {
        if (m_old)
            setenv("RDX_SIM_DIR", m_old->c_str(), 1);
        else
            unsetenv("RDX_SIM_DIR");
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    CSimWorldDir(const CSimWorldDir&) = delete;
    CSimWorldDir& operator=(const CSimWorldDir&) = delete;

    const std::filesystem::path& path() const { return m_dir; }
    std::filesystem::path operator/(const std::string& name) const { return m_dir / name; }

private:
    std::filesystem::path m_dir;
    std::optional<std::string> m_old;
};

} // namespace test
