// Per-user folders, file-name validation and tolerant number parsing.
#include "app/Paths.h"

#include <cstdlib>
#include <ostream>
#include <stdexcept>
#include <system_error>

#include <glib.h>

namespace {
constexpr Glib::ustring::size_type kMaxFilenameChars = 255;
constexpr const char* kForbiddenFilenameChars = "\\/:*?\"<>|";
} // namespace

std::filesystem::path get_resources_path() {
    return "/usr/share";
}

std::filesystem::path get_user_home_dir() {
    const char* home = g_get_home_dir();
    if (home == nullptr || *home == '\0')
        throw std::runtime_error("Cannot get HOME path.");
    return home;
}

std::filesystem::path get_user_data_dir() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config != '\0')
        return config;
    return get_user_home_dir() / ".config";
}

std::filesystem::path get_app_dir() {
    return get_user_data_dir() / "kestrix";
}

bool create_app_folder(const std::filesystem::path& dir, std::ostream& err) {
    std::error_code ec;
    // Whatever already exists there is used as it is.
    if (std::filesystem::exists(std::filesystem::symlink_status(dir, ec)))
        return true;
    if (std::filesystem::create_directory(dir, ec))
        return true;
    // The start-up message is not translated: the text domain may be what is broken.
    err << "Failed to create folder " << dir << '\n';
    return false;
}

bool is_valid_filename(const Glib::ustring& name) {
    if (name.empty() || name.length() > kMaxFilenameChars)
        return false;
    if (name == "." || name == "..")
        return false;
    return name.raw().find_first_of(kForbiddenFilenameChars) == std::string::npos;
}

namespace {
template <typename T, typename Convert>
bool try_convert(const char* text, T& out, int base, Convert convert) {
    if (text == nullptr)
        return false;
    char* end = nullptr;
    const auto value = convert(text, &end, base);
    if (value == 0 && end == text)
        return false;
    out = static_cast<T>(value);
    return true;
}
} // namespace

bool try_str_to_uint(const char* text, uint32_t& out, int base) {
    return try_convert(text, out, base, std::strtoul);
}

bool try_str_to_uint(const char* text, uint64_t& out, int base) {
    return try_convert(text, out, base, std::strtoull);
}
